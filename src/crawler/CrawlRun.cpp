#include "crawler/CrawlRun.h"

#include <cstdio>

#include "store/Lists.h"
#include "store/Text.h"
#include "workers/RowReport.h"

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
  return Contains(LowerCopy(failure), "certificate");
}

void ShowCrawlStopped(Reporter& ui, std::optional<int> row) {
  const RowReport report(ui, kListRequestedSites, row);
  if (row) {
    RequestedSites.Update(IndexOfRow(RequestedSites.GetCount(), *row),
                          [](SiteProject& p) { SetText(p.status, "Stopped"); });
    report.Cell("Stopped");
    report.Progress(0, 0);
  }
  report.Text(StatusField::Status, "Download Stopped");
}

void EndCrawlRun(Reporter& ui, const std::string& name, std::optional<int> row, bool errors,
                 const std::string& errorStatus, const std::string& doneStatus) {
  if (!row) return;  // deleted while it ran: nothing of it is left to update
  const RowReport report(ui, kListRequestedSites, row);
  const int index = IndexOfRow(RequestedSites.GetCount(), *row);
  if (errors) {
    report.Cell(errorStatus);
    report.Progress(0, 0);
    report.Text(StatusField::LastAction, "Download completed");
    report.Text(StatusField::Status, errorStatus);
    RequestedSites.Update(index, [](SiteProject& p) { SetText(p.status, "Some errors occurred"); });
    return;
  }
  report.Text(StatusField::LastAction, "Download completed");
  report.Text(StatusField::Status, doneStatus);
  report.Delete();
  RequestedSites.Update(index, [](SiteProject& p) { SetText(p.status, "Success"); });
  DownloadedSites.Add(*RequestedSites.CopyAt(index));
  if (ListKind.load() == kListDownloadedSites) {
    ui.InsertTopRow(name);
    ui.SetRowStatus(0, "Success");
  }
  RequestedSites.RemoveAt(index);
  CurrentRow.fetch_sub(1);
}

}  // namespace tvx
