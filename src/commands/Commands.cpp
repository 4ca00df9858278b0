#include "commands/Commands.h"

#include <ctime>

#include "crawler/CrawlWorker.h"
#include "search/SearchRunner.h"
#include "workers/FileWorkers.h"

namespace tvx {
namespace {

// The workers of the requested list; false for the other lists.
bool KindOfList(int list, WorkerKind& kind) {
  switch (list) {
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

// The text of the item: a file's url, a project's name; empty if it is gone.
std::string ItemText(EngineState& engine, WorkerKind kind, ItemId id) {
  return WithList(engine.lists, ListOfKind(kind), [id](const auto& list) {
    auto record = list.CopyOf(id);
    return record ? std::string(KeyOf(*record)) : std::string();
  });
}

void SetRecordStatus(EngineState& engine, WorkerKind kind, ItemId id, const char* status) {
  WithList(engine.lists, ListOfKind(kind), [&](auto& list) {
    list.UpdateOf(id, [status](auto& r) { SetText(r.status, status); });
  });
}

// Lets a registered (normally paused) worker go on, with the resume texts.
void ResumeRegistered(EngineState& engine, WorkerHandle& worker, const std::string& text) {
  Reporter& ui = engine.Ui();
  const ItemRef item = worker.Item();
  worker.Gate().Resume();
  ui.ItemStatus(item, "Downloading...");
  ui.SetStatusText(StatusField::CurrentProject, "None");
  ui.SetStatusText(StatusField::LastAction, text);
  ui.SetStatusText(StatusField::Status, "No errors");
  ui.FollowItem(item);
  ui.StartBusy();
  engine.workers.busyAnimation.store(true);
}

void StartSite(EngineState& engine, ItemId id, std::size_t stack) {
  auto project = engine.lists.requestedSites.CopyOf(id);
  if (!project) return;
  if (!StartCrawlWorker(engine, id, *project, stack)) return;
  Reporter& ui = engine.Ui();
  const ItemRef item{kListRequestedSites, id};
  SetRecordStatus(engine, WorkerKind::Site, id, "Downloading...");
  ui.ItemStatus(item, "Downloading...");
  ui.SetStatusText(StatusField::CurrentProject, std::string(TextOf(project->name)));
  ui.SetStatusText(StatusField::LastAction, "Finding Web Site...");
  ui.SetStatusText(StatusField::Status, "No errors");
  ui.FollowItem(item);
}

void StartSearch(EngineState& engine, ItemId id, std::size_t stack) {
  auto project = engine.lists.searchProjects.CopyOf(id);
  if (!project) return;
  if (!StartSearchWorker(engine, id, *project, stack)) return;
  engine.Ui().FollowItem({kListSearchProjects, id});
}

void StartFile(EngineState& engine, ItemId id) {
  auto record = engine.lists.requestedFiles.CopyOf(id);
  if (!record) return;
  if (!StartFileWorker(engine, id, *record, kFileStack)) return;
  Reporter& ui = engine.Ui();
  const ItemRef item{kListRequestedFiles, id};
  ui.ItemStatus(item, "Downloading...");
  ui.SetStatusText(StatusField::CurrentProject, "None");
  ui.SetStatusText(StatusField::LastAction, std::string(TextOf(record->url)));
  ui.SetStatusText(StatusField::Status, "No errors");
  ui.FollowItem(item);
}

// Pauses a registered worker as the Stop command and the schedule do.
void PauseRegistered(EngineState& engine, WorkerKind kind, WorkerHandle& worker) {
  Reporter& ui = engine.Ui();
  worker.Gate().Pause();
  ui.StopBusy();
  SetRecordStatus(engine, kind, worker.Item().id, "Stopped");
  ui.ItemStatus(worker.Item(), "Stopped");
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
bool StartPass(EngineState& engine, RecordList<T>& list, WorkerKind kind, TimeOfDay now,
               StartFn start) {
  for (int index = 0; index < list.GetCount(); ++index) {
    auto p = list.CopyAt(index);
    const ItemId id = list.IdAt(index);
    if (!p || !StartsNow(p->runWhenRequested, p->startHour, p->startMinute, now)) continue;
    if (auto worker = engine.workers.Find(kind, id)) {
      ResumeRegistered(engine, *worker, std::string(TextOf(p->name)));
      return true;
    }
    start(id);
  }
  return false;
}

template <class T>
void StopPass(EngineState& engine, RecordList<T>& list, WorkerKind kind, TimeOfDay now) {
  for (int index = 0; index < list.GetCount(); ++index) {
    auto p = list.CopyAt(index);
    if (!p || p->stopWhenRequested != 0 || p->stopHour != now.hour || p->stopMinute != now.minute)
      continue;
    auto worker = engine.workers.Find(kind, list.IdAt(index));
    if (!worker) continue;
    PauseRegistered(engine, kind, *worker);
    engine.workers.busyAnimation.store(false);
  }
}

}  // namespace

void DownloadItems(EngineState& engine, int list, const std::vector<ItemId>& items) {
  TVX_ASSERT_UI_THREAD();
  engine.AsOneStep([&] {
    WorkerKind kind;
    if (!KindOfList(list, kind)) return;
    for (ItemId id : items) {
      std::string text = ItemText(engine, kind, id);
      if (text.empty()) continue;
      if (auto worker = engine.workers.Find(kind, id)) {
        ResumeRegistered(engine, *worker, text);
        return;  // the items after a resumed one wait for another command
      }
      switch (kind) {
        case WorkerKind::File:
          StartFile(engine, id);
          break;
        case WorkerKind::Site:
          StartSite(engine, id, kSiteStackCommand);
          break;
        case WorkerKind::Search:
          StartSearch(engine, id, kSearchStack);
          break;
      }
    }
  });
}

void StopItems(EngineState& engine, int list, const std::vector<ItemId>& items) {
  TVX_ASSERT_UI_THREAD();
  engine.AsOneStep([&] {
    WorkerKind kind;
    if (!KindOfList(list, kind)) return;
    for (ItemId id : items) {
      if (ItemText(engine, kind, id).empty()) continue;
      auto worker = engine.workers.Find(kind, id);
      if (!worker) continue;
      PauseRegistered(engine, kind, *worker);
    }
    engine.workers.busyAnimation.store(false);
  });
}

void SendToRequestedFiles(EngineState& engine, const std::vector<std::string>& selectedLinks) {
  TVX_ASSERT_UI_THREAD();
  engine.AsOneStep([&] {
    for (const std::string& link : selectedLinks) {
      // A link ending in '/' names a page, not a file: the command ends
      // there, and the links after it are not sent either.
      if (!link.empty() && link.back() == '/') return;
      const FileRecord record = MakeFileRecord(link, kSentFileStatus);
      const ItemId id = engine.lists.requestedFiles.Add(record);
      engine.Ui().ItemAdded({kListRequestedFiles, id}, std::string(TextOf(record.url)),
                            kSentFileStatus);
    }
  });
}

void DeleteAllLists(EngineState& engine) {
  TVX_ASSERT_UI_THREAD();
  engine.AsOneStep([&] {
    // The lists go in the order of their kinds, each from its last record down.
    for (int kind = kListRequestedFiles; kind <= kListSearchResults; ++kind)
      WithList(engine.lists, kind, [](auto& list) { EmptyList(list); });
    engine.siteOptions.ForgetAll();
    engine.searchOptions.ForgetAll();
    engine.credits.ForgetAll();
    engine.archive.ForgetAll();
    engine.Ui().AllItemsRemoved();
  });
}

TimeOfDay LocalTimeOfDay() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return {local.tm_hour, local.tm_min};
}

void ScheduleTick(EngineState& engine, TimeOfDay now) {
  TVX_ASSERT_UI_THREAD();
  engine.AsOneStep([&] {
    Lists& lists = engine.lists;
    bool ended = StartPass(engine, lists.requestedSites, WorkerKind::Site, now,
                           [&](ItemId id) { StartSite(engine, id, kSiteStackSchedule); });
    if (ended) return;
    ended = StartPass(engine, lists.searchProjects, WorkerKind::Search, now,
                      [&](ItemId id) { StartSearch(engine, id, kSearchStack); });
    if (ended) return;
    StopPass(engine, lists.requestedSites, WorkerKind::Site, now);
    StopPass(engine, lists.searchProjects, WorkerKind::Search, now);
  });
}

}  // namespace tvx
