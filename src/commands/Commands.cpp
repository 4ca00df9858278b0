#include "commands/Commands.h"

#include <algorithm>
#include <ctime>

#include "commands/OneStep.h"
#include "crawler/CrawlWorker.h"
#include "search/SearchRunner.h"
#include "store/Lists.h"
#include "store/SiteOptions.h"
#include "workers/FileWorkers.h"
#include "workers/WorkerControl.h"

namespace tvx {
namespace {

std::vector<int> Ascending(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

// The workers of the requested list kind; false for the other lists.
bool KindOfList(int listKind, WorkerKind& kind) {
  switch (listKind) {
    case kListRequestedFiles:
      kind = WorkerKind::File;
      return true;
    case kListRequestedSites:
      kind = WorkerKind::Site;
      return true;
    case kListSearchProjects:
      kind = WorkerKind::Search;
      return true;
    default:
      return false;
  }
}

// The requested list whose items workers of kind work on.
int ListOfKind(WorkerKind kind) {
  switch (kind) {
    case WorkerKind::File:
      return kListRequestedFiles;
    case WorkerKind::Site:
      return kListRequestedSites;
    case WorkerKind::Search:
      return kListSearchProjects;
  }
  return 0;
}

int CountOf(WorkerKind kind) {
  return WithList(ListOfKind(kind), [](const auto& list) { return list.GetCount(); });
}

// The text of the record shown in row of the list of kind; empty if none.
std::string ItemTextAtRow(WorkerKind kind, int row) {
  return WithList(ListOfKind(kind), [row](const auto& list) {
    auto rec = list.CopyAt(IndexOfRow(list.GetCount(), row));
    return rec ? std::string(KeyOf(*rec)) : std::string();
  });
}

void SetRecordStatus(WorkerKind kind, int index, const char* status) {
  WithList(ListOfKind(kind), [&](auto& list) {
    list.Update(index, [status](auto& r) { SetText(r.status, status); });
  });
}

// Lets a registered (normally paused) worker go on, with the resume texts.
void ResumeRegistered(Reporter& ui, WorkerKind kind, WorkerHandle& worker, int row,
                      const std::string& text, bool writeRow) {
  worker.Gate().Resume();
  if (writeRow) ui.SetRowStatus(row, "Downloading...");
  ui.SetStatusText(StatusField::CurrentProject, "None");
  ui.SetStatusText(StatusField::LastAction, text);
  ui.SetStatusText(StatusField::Status, "No errors");
  CurrentRow.store(row);
  Stops(kind).Set(row, 0);
  ui.StartBusy();
  BusyAnimation.store(true);
}

void StartSite(Reporter& ui, int index, int row, std::size_t stack, bool writeRow) {
  auto project = RequestedSites.CopyAt(index);
  if (!project) return;
  Stops(WorkerKind::Site).Set(row, 0);
  if (!StartCrawlWorker(*project, stack)) return;
  SetRecordStatus(WorkerKind::Site, index, "Downloading...");
  if (writeRow) ui.SetRowStatus(row, "Downloading...");
  ui.SetStatusText(StatusField::CurrentProject, std::string(TextOf(project->name)));
  ui.SetStatusText(StatusField::LastAction, "Finding Web Site...");
  ui.SetStatusText(StatusField::Status, "No errors");
  CurrentRow.store(row);
  Stops(WorkerKind::Site).Set(row, 0);
}

void StartSearch(int index, int row, std::size_t stack) {
  auto project = SearchProjects.CopyAt(index);
  if (!project) return;
  Stops(WorkerKind::Search).Set(row, 0);
  if (!StartSearchWorker(*project, stack)) return;
  CurrentRow.store(row);
  Stops(WorkerKind::Search).Set(row, 0);
}

void StartFile(Reporter& ui, int index, int row) {
  auto record = RequestedFiles.CopyAt(index);
  if (!record) return;
  Stops(WorkerKind::File).Set(row, 0);
  if (!StartFileWorker(*record, kFileStack)) return;
  ui.SetRowStatus(row, "Downloading...");
  ui.SetStatusText(StatusField::CurrentProject, "None");
  ui.SetStatusText(StatusField::LastAction, std::string(TextOf(record->url)));
  ui.SetStatusText(StatusField::Status, "No errors");
  CurrentRow.store(row);
  Stops(WorkerKind::File).Set(row, 0);
}

// Pauses a registered worker as the Stop command and the schedule do.
void PauseRegistered(Reporter& ui, WorkerKind kind, WorkerHandle& worker, int index, int row,
                     bool writeRow) {
  worker.Gate().Pause();
  ui.StopBusy();
  SetRecordStatus(kind, index, "Stopped");
  if (writeRow) ui.SetRowStatus(row, "Stopped");
  ui.SetStatusText(StatusField::Status, "Download Stopped");
}

template <class T>
void EmptyList(RecordList<T>& list) {
  for (int i = list.GetCount() - 1; i >= 0; --i) list.RemoveAt(i);
}

bool StartsNow(int runWhenRequested, int hour, int minute, TimeOfDay now) {
  return runWhenRequested == 0 && hour == now.hour && minute == now.minute;
}

// One pass of scheduled starts over list; true when the tick must end (a
// registered project was resumed).
template <class T, class StartFn>
bool StartPass(Reporter& ui, RecordList<T>& list, WorkerKind kind, int shownKind, TimeOfDay now,
               StartFn start) {
  for (int index = 0; index < list.GetCount(); ++index) {
    auto p = list.CopyAt(index);
    if (!p || !StartsNow(p->runWhenRequested, p->startHour, p->startMinute, now)) continue;
    int row = RowOfIndex(list.GetCount(), index);
    std::string name(TextOf(p->name));
    if (auto worker = Registry(kind).FindHandle(name)) {
      ResumeRegistered(ui, kind, *worker, row, name, ListKind.load() == shownKind);
      return true;
    }
    start(index, row);
  }
  return false;
}

template <class T>
void StopPass(Reporter& ui, RecordList<T>& list, WorkerKind kind, int shownKind, TimeOfDay now) {
  for (int index = 0; index < list.GetCount(); ++index) {
    auto p = list.CopyAt(index);
    if (!p || p->stopWhenRequested != 0 || p->stopHour != now.hour || p->stopMinute != now.minute)
      continue;
    auto worker = Registry(kind).FindHandle(std::string(TextOf(p->name)));
    if (!worker) continue;
    int row = RowOfIndex(list.GetCount(), index);
    PauseRegistered(ui, kind, *worker, index, row, ListKind.load() == shownKind);
    BusyAnimation.store(false);
  }
}

}  // namespace

void DownloadSelected(const std::vector<int>& selectedRows) {
  TVX_ASSERT_UI_THREAD();
  AsOneStep([&] {
    WorkerKind kind;
    if (!KindOfList(ListKind.load(), kind)) return;
    Reporter& ui = *CurrentReporter();
    for (int row : Ascending(selectedRows)) {
      std::string text = ItemTextAtRow(kind, row);
      if (text.empty()) continue;
      if (auto worker = Registry(kind).FindHandle(text)) {
        ResumeRegistered(ui, kind, *worker, row, text, true);
        return;  // the rows after a resumed one wait for another command
      }
      int index = IndexOfRow(CountOf(kind), row);
      switch (kind) {
        case WorkerKind::File:
          StartFile(ui, index, row);
          break;
        case WorkerKind::Site:
          StartSite(ui, index, row, kSiteStackCommand, true);
          break;
        case WorkerKind::Search:
          StartSearch(index, row, kSearchStack);
          break;
      }
    }
  });
}

void StopSelected(const std::vector<int>& selectedRows) {
  TVX_ASSERT_UI_THREAD();
  AsOneStep([&] {
    WorkerKind kind;
    if (!KindOfList(ListKind.load(), kind)) return;
    Reporter& ui = *CurrentReporter();
    for (int row : Ascending(selectedRows)) {
      std::string text = ItemTextAtRow(kind, row);
      if (text.empty()) continue;
      auto worker = Registry(kind).FindHandle(text);
      if (!worker) continue;
      PauseRegistered(ui, kind, *worker, IndexOfRow(CountOf(kind), row), row, true);
    }
    BusyAnimation.store(false);
  });
}

void SendToRequestedFiles(const std::vector<std::string>& selectedLinks) {
  TVX_ASSERT_UI_THREAD();
  AsOneStep([&] {
    if (ListKind.load() != kListSearchResults) return;
    for (const std::string& link : selectedLinks) {
      // A link ending in '/' names a page, not a file: the command ends
      // there, and the links after it are not sent either.
      if (!link.empty() && link.back() == '/') return;
      RequestedFiles.Add(MakeFileRecord(link, kSentFileStatus));
    }
  });
}

void DeleteAllLists() {
  TVX_ASSERT_UI_THREAD();
  AsOneStep([] {
    // The lists go in the order of their kinds, each from its last record down.
    for (int kind = kListRequestedFiles; kind <= kListSearchResults; ++kind)
      WithList(kind, [](auto& list) { EmptyList(list); });
    ForgetAllSiteOptions();
    CurrentReporter()->DeleteAllRows();
  });
}

TimeOfDay LocalTimeOfDay() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return {local.tm_hour, local.tm_min};
}

void ScheduleTick(TimeOfDay now) {
  TVX_ASSERT_UI_THREAD();
  AsOneStep([now] {
    Reporter& ui = *CurrentReporter();
    bool ended = StartPass(
        ui, RequestedSites, WorkerKind::Site, kListRequestedSites, now, [&](int index, int row) {
          StartSite(ui, index, row, kSiteStackSchedule, ListKind.load() == kListRequestedSites);
        });
    if (ended) return;
    ended = StartPass(ui, SearchProjects, WorkerKind::Search, kListSearchProjects, now,
                      [&](int index, int row) { StartSearch(index, row, kSearchStack); });
    if (ended) return;
    StopPass(ui, RequestedSites, WorkerKind::Site, kListRequestedSites, now);
    StopPass(ui, SearchProjects, WorkerKind::Search, kListSearchProjects, now);
  });
}

}  // namespace tvx
