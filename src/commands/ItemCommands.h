#pragma once
// The commands that add, delete and edit items: Add File(s), Add Web Site,
// Add Search Project, Delete Entry, Properties and Send To > Requested Web
// Sites. The window asks the user (dialogs, confirmations) and hands over what
// it got; these change the lists, tell the window through the engine's
// Reporter, and show their messages there. They run on the user-interface
// thread.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/Records.h"
#include "store/SearchOptions.h"
#include "store/SiteOptions.h"
#include "workers/EngineState.h"

namespace tvx {

// Add File(s) with the URL as typed: "http://" goes in front of a URL without
// "//"; an empty URL adds nothing.
void AddFiles(EngineState& engine, std::string_view typedUrl);

// The project Add Web Site opens its sheet on: run and stop when requested.
SiteProject NewWebSiteProject();
// Add Web Site with the project the sheet made, its times as the boxes hold
// them, and its options. An empty name ends the command silently; a name
// already in the requested web sites (ignoring case) is refused with a message.
void AddWebSite(EngineState& engine, SiteProject project, const SiteOptions& options = {});

// Add Search Project with the project the dialog made and the engines of
// today it asks. Gives the new project's id (0 when the window could not show
// it, and it was not added).
ItemId AddSearchProject(EngineState& engine, SearchProject project, const TodayEngines& today = {});

// Why a web-site project cannot have this name, as a message for the user;
// empty when it can. The name names the project's folder below Pictures.
// While adding, an empty name passes here: Add Web Site ends silently on it.
enum class SiteNameUse { Adding, Editing };
std::string SiteNameProblem(std::string_view name, SiteNameUse use);

// Delete Entry, in two steps around the user's answer. First what to do for
// this many selected items of the list: a refusal to show (nothing is
// deleted), or the Yes/No question to ask; neither when nothing is selected.
struct DeleteCheck {
  std::string refusal;
  std::string question;
};
DeleteCheck CheckDeleteEntries(int list, std::size_t selectedItems);
// After Yes, with the items selected then: removes each item that is still in
// its list (a project takes its options along, a web-site project its
// archive too).
void DeleteEntries(EngineState& engine, int list, const std::vector<ItemId>& selected);

// A web-site project as its sheet shows it: the record and the options kept
// beside the lists.
struct SiteEdit {
  SiteProject project{};
  SiteOptions options;
};

// A search project as its dialog shows it: the record and the engines of
// today kept beside the lists.
struct SearchEdit {
  SearchProject project{};
  TodayEngines today;
};

// The window's dialog for one project: the project as the user confirmed it,
// or nullopt for Cancel.
using EditSite = std::function<std::optional<SiteEdit>(const SiteEdit&)>;
using EditSearch = std::function<std::optional<SearchEdit>(const SearchEdit&)>;

// Properties: each selected web-site or search project of the list, one
// after another, goes through its dialog; what comes back is written into
// the record, found again after the dialog, and its row takes the new name; a
// project's options follow it to its new name, a web-site project's archive
// too. Items of other lists, and Cancel, change nothing.
void EditProjects(EngineState& engine, int list, const std::vector<ItemId>& selected,
                  const EditSite& editSite, const EditSearch& editSearch);

// Send To > Requested Web Sites: a web-site project from each selected search
// result, started at the result's URL and named after the search project that
// found it, run and stopped when requested. From the frame the values chosen
// in the sheet carry over to the next Send To of the run; from the list panel
// each project starts afresh.
struct SearchResultRow {
  std::string url;         // first column
  std::string searchName;  // second column
};
enum class SendToOrigin { Frame, ListPanel };
void SendToRequestedSites(EngineState& engine, const std::vector<SearchResultRow>& selected,
                          SendToOrigin origin, const EditSite& edit);

// Send To > Requested Web Sites from the downloaded web sites: each selected
// project goes back to the requested web sites, ready to run again with its
// options and its archive (so a run fetches only what is new). A project
// whose name is requested already stays where it is, with the message Add
// Web Site shows.
void SendDownloadedSitesToRequested(EngineState& engine, const std::vector<ItemId>& selected);

}  // namespace tvx
