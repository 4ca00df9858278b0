#pragma once
// The commands that add, delete and edit items: Add File(s), Add Web Site,
// Add Search Project, Delete Entry, Properties and Send To > Requested Web
// Sites. The window asks the user (dialogs, confirmations) and hands over what
// it got; these change the lists and the list panel's rows of the list
// ListKind selects, and show their messages through the current Reporter.
// They run on the user-interface thread.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/Records.h"
#include "store/SiteOptions.h"

namespace tvx {

// A selected list-panel row as the window read it: its place, and the text of
// its first column (a file's url, a project's name).
struct RowRef {
  int row = -1;
  std::string text;
};

// Add File(s) with the URL as typed: "http://" goes in front of a URL without
// "//"; an empty URL adds nothing.
void AddFiles(std::string_view typedUrl);

// The project Add Web Site opens its sheet on: run and stop when requested.
SiteProject NewWebSiteProject();
// Add Web Site with the project the sheet made, its times as the boxes hold
// them, and its options. An empty name ends the command silently; a name
// already in the requested web sites (ignoring case) is refused with a message.
void AddWebSite(SiteProject project, const SiteOptions& options = {});

// Add Search Project with the project the dialog made.
void AddSearchProject(SearchProject project);

// Why a web-site project cannot have this name, as a message for the user;
// empty when it can. The name names the project's folder below Pictures.
// While adding, an empty name passes here: Add Web Site ends silently on it.
enum class SiteNameUse { Adding, Editing };
std::string SiteNameProblem(std::string_view name, SiteNameUse use);

// Delete Entry, in two steps around the user's answer. First what to do for
// this many selected rows: a refusal to show (nothing is deleted), or the
// Yes/No question to ask; neither when nothing is selected.
struct DeleteCheck {
  std::string refusal;
  std::string question;
};
DeleteCheck CheckDeleteEntries(std::size_t selectedRows);
// After Yes, with the rows selected then: removes each row and the record it
// shows. A row whose record is not the one it names is left alone.
void DeleteEntries(const std::vector<RowRef>& selected);

// A web-site project as its sheet shows it: the record and the options kept
// beside the lists.
struct SiteEdit {
  SiteProject project{};
  SiteOptions options;
};

// The window's dialog for one project: the project as the user confirmed it,
// or nullopt for Cancel.
using EditSite = std::function<std::optional<SiteEdit>(const SiteEdit&)>;
using EditSearch = std::function<std::optional<SearchProject>(const SearchProject&)>;

// Properties: each selected web-site or search project (as ListKind says),
// one after another, goes through its dialog; what comes back is written into
// the record the row shows, found again after the dialog, and the row takes
// the new name; a web-site project's options follow it to its new name. Rows
// of other lists, and Cancel, change nothing.
void EditProjects(const std::vector<RowRef>& selected, const EditSite& editSite,
                  const EditSearch& editSearch);

// Send To > Requested Web Sites: a web-site project from each selected search
// result, started at the result's URL and named after the search project that
// found it, run and stopped when requested. From the frame the values chosen
// in the sheet carry over to the next Send To of the run; from the list panel
// each project starts afresh. Nothing unless the search results are shown.
struct SearchResultRow {
  std::string url;         // first column
  std::string searchName;  // second column
};
enum class SendToOrigin { Frame, ListPanel };
void SendToRequestedSites(const std::vector<SearchResultRow>& selected, SendToOrigin origin,
                          const EditSite& edit);

// The project the frame's Send To starts from: it lives for the whole run.
SiteProject& SendToDraft();

// Loads the six list files (the list panel's first update).
void LoadListsAtStart();

}  // namespace tvx
