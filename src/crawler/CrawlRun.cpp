#include "crawler/CrawlRun.h"

#include <cstdio>
#include <optional>

namespace tvx {

std::string KilobytesRead(std::uint64_t bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.02fk read", static_cast<double>(bytes) / 1024.0);
  return text;
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
                 const std::string& errorStatus) {
  Reporter& ui = engine.Ui();
  Lists& lists = engine.lists;
  std::optional<SiteProject> record = lists.requestedSites.CopyOf(project.id);
  if (!record) return;  // deleted while it ran: nothing of it is left to update
  if (errors) {
    ui.ItemStatus(project, "Some errors occurred");
    ui.ItemProgress(project, 0, 0);
    ui.ItemStatusText(project, StatusField::LastAction, "Download completed");
    ui.ItemStatusText(project, StatusField::Status, errorStatus);
    lists.requestedSites.UpdateOf(
        project.id, [](SiteProject& p) { SetText(p.status, "Some errors occurred"); });
    return;
  }
  ui.ItemStatusText(project, StatusField::LastAction, "Download completed");
  ui.ItemStatusText(project, StatusField::Status, "Success");
  ui.ItemRemoved(project);
  SetText(record->status, "Success");
  const ItemRef moved{kListDownloadedSites, project.id};
  lists.downloadedSites.Add(*record, moved.id);
  ui.ItemAdded(moved, name, "Success");
  lists.requestedSites.Remove(project.id);
}

}  // namespace tvx
