#include "workers/WorkerControl.h"

#include <openssl/crypto.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "store/Lists.h"
#include "workers/EngineState.h"

namespace tvx {

// How much nicer a worker thread is than the thread that started it (the
// window's thread).
constexpr int kWorkerNice = 10;

thread_local ItemRef t_workerItem{};

struct WorkerThread {
  Workers& workers;
  std::shared_ptr<WorkerHandle> handle;
  WorkerKind kind;
  EngineState& engine;
  std::function<void(WorkerEnv&)> body;

  static void* Main(void* arg) {
    std::unique_ptr<WorkerThread> start(static_cast<WorkerThread*>(arg));
    start->Run();
    return nullptr;
  }

  void Run() {
    // Workers yield to the user-interface thread: fifty of them busy at full
    // speed would otherwise leave the window waiting for a turn for tens of
    // milliseconds at a time. On Linux the nice value belongs to the thread.
    const auto self = static_cast<id_t>(::gettid());
    setpriority(PRIO_PROCESS, self, std::min(19, getpriority(PRIO_PROCESS, self) + kWorkerNice));
    WorkerEnv env{*handle, engine, engine.Ui(), engine.Dispatcher()};
    t_workerItem = handle->Item();
    try {
      body(env);
    } catch (const std::exception& e) {
      std::cerr << "Tavrinox: worker for " << handle->Text() << " failed: " << e.what() << '\n';
    } catch (...) {
      std::cerr << "Tavrinox: worker for " << handle->Text() << " failed\n";
    }
    // Whatever the outcome, the entry must not outlive the thread.
    workers.Registry(kind).Remove(handle.get());
    handle->MarkFinished();
    // Whatever the body holds goes while the engine is still there.
    body = nullptr;
    // The TLS library keeps an error queue for each thread that used it (every
    // transfer does), freed when the thread ends. Once no worker is counted
    // the process may end at once, before this thread has ended: it gives the
    // queue back now rather than leave it in no one's hands.
    OPENSSL_thread_stop();
    // Notified under the lock: a waiter that sees no worker left may destroy
    // the engine, condition variable included, as soon as it has the lock, so
    // this thread must be done with it by then.
    std::lock_guard lock(workers.idleMutex_);
    workers.live_.fetch_sub(1);
    workers.idle_.notify_all();
  }
};

ItemRef WorkerItemOfThisThread() { return t_workerItem; }

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

void PauseGate::Pause() {
  std::lock_guard lock(mutex_);
  paused_.store(true);
}

void PauseGate::Resume() {
  {
    std::lock_guard lock(mutex_);
    paused_.store(false);
  }
  resumed_.notify_all();
}

void PauseGate::Pass() {
  if (!paused_.load()) return;
  std::unique_lock lock(mutex_);
  resumed_.wait(lock, [this] { return !paused_.load(); });
}

void WorkerRegistry::Add(std::shared_ptr<WorkerHandle> handle) {
  std::lock_guard lock(mutex_);
  entries_.push_back(std::move(handle));
}

bool WorkerRegistry::Remove(const WorkerHandle* handle) {
  std::lock_guard lock(mutex_);
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [handle](const auto& e) { return e.get() == handle; });
  if (it == entries_.end()) return false;
  entries_.erase(it);
  return true;
}

std::shared_ptr<WorkerHandle> WorkerRegistry::Find(ItemId id) const {
  std::lock_guard lock(mutex_);
  for (const auto& e : entries_)
    if (e->Item().id == id) return e;
  return nullptr;
}

std::vector<std::shared_ptr<WorkerHandle>> WorkerRegistry::Snapshot() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

int WorkerRegistry::Count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(entries_.size());
}

std::shared_ptr<WorkerHandle> Workers::Find(WorkerKind kind, ItemId id) const {
  return registries_[static_cast<int>(kind)].Find(id);
}

void WorkerEnv::EnsureBusy() const {
  std::atomic<bool>& busy = engine.workers.busyAnimation;
  if (busy.load()) return;
  OnUi([&] {
    if (!busy.load()) {
      reporter.StartBusy();
      busy.store(true);
    }
  });
}

void WorkerEnv::EndBusy() const {
  std::atomic<bool>& busy = engine.workers.busyAnimation;
  if (!busy.load()) return;
  OnUi([&] {
    if (busy.load()) {
      reporter.StopBusy();
      busy.store(false);
    }
  });
}

std::shared_ptr<WorkerHandle> Workers::Launch(EngineState& engine, WorkerKind kind, ItemRef item,
                                              const std::string& text, std::size_t stackSize,
                                              std::function<void(WorkerEnv&)> body) {
  TVX_ASSERT_UI_THREAD();
  auto handle = std::make_shared<WorkerHandle>(item, text);
  auto* start = new WorkerThread{*this, handle, kind, engine, std::move(body)};
  // The entry is made before the thread runs, so a worker that ends at once
  // still finds (and removes) its own entry.
  Registry(kind).Add(handle);
  live_.fetch_add(1);
  busyAnimation.store(false);

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, std::max(stackSize, kMinWorkerStack));
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  int rc = pthread_create(&thread, &attr, WorkerThread::Main, start);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    Registry(kind).Remove(handle.get());
    {
      std::lock_guard lock(idleMutex_);
      live_.fetch_sub(1);
      idle_.notify_all();
    }
    delete start;
    return nullptr;
  }
  return handle;
}

void Workers::RequestStopAll() {
  for (auto& registry : registries_)
    for (const auto& worker : registry.Snapshot()) worker->RequestStop();
}

bool Workers::WaitUntilIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(idleMutex_);
  return idle_.wait_for(lock, timeout, [this] { return live_.load() == 0; });
}

}  // namespace tvx
