#include "crawler/CrawlRun.h"

#include <cstdio>
#include <optional>

#include "net/Internet.h"
#include "store/Text.h"

namespace tvx {

std::string KilobytesRead(std::uint64_t bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.02fk read", static_cast<double>(bytes) / 1024.0);
  return text;
}

void RunErrors::Add(const std::string& reason) {
  any_ = true;
  if (reason_.empty()) reason_ = reason;
}

std::string RunErrors::Shown() const {
  return reason_.empty() ? std::string("Some errors occurred") : reason_;
}

std::string ProgramNameText(const std::string& shownPath) {
  return shownPath + " is not saved: a desktop would run a file of that name";
}

bool IsReasonToShow(std::string_view failure) {
  return Contains(LowerCopy(failure), "certificate") || net::IsRefusedRedirect(failure);
}

void ShowCrawlStopped(EngineState& engine, ItemRef project) {
  Reporter& ui = engine.Ui();
  if (!engine.lists.requestedSites.UpdateOf(project.id,
                                            [](SiteProject& p) { SetText(p.status, "Stopped"); }))
    return;
  ui.ItemStatus(project, "Stopped");
  ui.ItemProgress(project, 0, 0);
  ui.ItemStatusText(project, StatusField::Status, "Download Stopped");
}

void EndCrawlRun(EngineState& engine, ItemRef project, const std::string& name, bool errors,
                 const std::string& errorStatus, const std::string& doneStatus,
                 const std::string& notes) {
  Reporter& ui = engine.Ui();
  Lists& lists = engine.lists;
  std::optional<SiteProject> record = lists.requestedSites.CopyOf(project.id);
  if (!record) return;  // deleted while it ran: nothing of it is left to update
  if (errors) {
    const std::string shown = notes.empty() ? errorStatus : errorStatus + ", " + notes;
    ui.ItemStatus(project, shown);
    ui.ItemProgress(project, 0, 0);
    ui.ItemStatusText(project, StatusField::LastAction, "Download completed");
    ui.ItemStatusText(project, StatusField::Status, shown);
    lists.requestedSites.UpdateOf(
        project.id, [](SiteProject& p) { SetText(p.status, "Some errors occurred"); });
    return;
  }
  ui.ItemStatusText(project, StatusField::LastAction, "Download completed");
  ui.ItemStatusText(project, StatusField::Status, doneStatus);
  ui.ItemRemoved(project);
  SetText(record->status, "Success");
  const ItemRef moved{kListDownloadedSites, project.id};
  lists.downloadedSites.Add(*record, moved.id);
  ui.ItemAdded(moved, name, notes.empty() ? std::string("Success") : "Success, " + notes);
  lists.requestedSites.Remove(project.id);
}

}  // namespace tvx
