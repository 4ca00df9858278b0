#pragma once
// Worker threads: kinds, registries, the pause gate and the stop request of
// each worker, the busy animation flag, and starting a worker. Every worker
// works for one item, named by its list and id.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "workers/Reporting.h"

namespace tvx {

class EngineState;

enum class WorkerKind : int { File = 0, Site = 1, Search = 2 };

// The requested list whose items workers of kind work on.
int ListOfKind(WorkerKind kind);

// Stack sizes the commands ask for. Threads get at least kMinWorkerStack,
// since the Internet client needs far more than a kilobyte.
inline constexpr std::size_t kFileStack = 1024;
inline constexpr std::size_t kSiteStackCommand = 8192;
inline constexpr std::size_t kSiteStackSchedule = 1024;
inline constexpr std::size_t kSearchStack = 2048;
inline constexpr std::size_t kMinWorkerStack = 1024 * 1024;

// A pause request the worker honours between two steps. A paused worker keeps
// its connection, file and counters and holds no lock while it waits.
class PauseGate {
 public:
  void Pause();
  void Resume();
  bool IsPaused() const { return paused_.load(); }
  // Returns at once unless paused; then waits until resumed.
  void Pass();

 private:
  std::atomic<bool> paused_{false};
  std::mutex mutex_;
  std::condition_variable resumed_;
};

// One running (or paused) worker.
class WorkerHandle {
 public:
  WorkerHandle(ItemRef item, std::string text) : item_(item), text_(std::move(text)) {}
  // The item it works for, and that item's text when it started.
  ItemRef Item() const { return item_; }
  const std::string& Text() const { return text_; }
  PauseGate& Gate() { return gate_; }
  bool Finished() const { return finished_.load(); }
  void MarkFinished() { finished_.store(true); }
  // Asks the worker to end at its next step, closing what it has open (the
  // program is ending). A paused worker goes on to see it.
  void RequestStop() {
    stop_.store(true);
    gate_.Resume();
  }
  bool StopRequested() const { return stop_.load(); }

 private:
  ItemRef item_;
  std::string text_;
  PauseGate gate_;
  std::atomic<bool> finished_{false};
  std::atomic<bool> stop_{false};
};

// The workers of one kind, in start order. Thread-safe.
class WorkerRegistry {
 public:
  void Add(std::shared_ptr<WorkerHandle> handle);
  // Removes this very entry; false if absent.
  bool Remove(const WorkerHandle* handle);
  // The worker of the item of that id, or null.
  std::shared_ptr<WorkerHandle> Find(ItemId id) const;
  // Every entry, in start order.
  std::vector<std::shared_ptr<WorkerHandle>> Snapshot() const;
  int Count() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<WorkerHandle>> entries_;
};

// What a worker body gets: its own handle, the engine, and the window.
struct WorkerEnv {
  WorkerHandle& self;
  EngineState& engine;
  Reporter& reporter;
  UiDispatcher& ui;
  // The item the worker works for.
  ItemRef Item() const { return self.Item(); }
  // Runs work on the user-interface thread and waits for it.
  void OnUi(const std::function<void()>& work) const { ui.Run(work); }
  // Honours a pause request; call between two steps, never inside OnUi:
  // a paused worker there would hold the user-interface thread.
  void Checkpoint() const {
#ifndef NDEBUG
    if (ui.IsUiThread()) ThreadRuleBroken("never runs on the user-interface thread", __func__);
#endif
    self.Gate().Pass();
  }
  // Whether the worker must end now (see WorkerHandle::RequestStop).
  bool StopRequested() const { return self.StopRequested(); }
  // Starts the busy animation if it is not playing (from the worker).
  void EnsureBusy() const;
  // Stops the busy animation if it is playing (from the worker).
  void EndBusy() const;
};

// The item the calling thread's worker works for; a zero ItemRef on a thread
// that is no worker's. Lets a report that names no item (a message) be told
// apart by the worker it came from, where reports run on the workers' own
// threads (without a window).
ItemRef WorkerItemOfThisThread();

// The worker threads of one engine: a registry per kind, and the count of
// threads still running.
class Workers {
 public:
  Workers() = default;
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  WorkerRegistry& Registry(WorkerKind kind) { return registries_[static_cast<int>(kind)]; }
  // The worker of an item, or null.
  std::shared_ptr<WorkerHandle> Find(WorkerKind kind, ItemId id) const;

  // Registers a worker for item in kind's registry and starts body on a
  // thread of its own. When body returns (or throws) the worker's entry is
  // removed. Returns the handle, or null when the thread could not be created
  // (then no entry is left behind). Workers are started on the
  // user-interface thread.
  std::shared_ptr<WorkerHandle> Launch(EngineState& engine, WorkerKind kind, ItemRef item,
                                       const std::string& text, std::size_t stackSize,
                                       std::function<void(WorkerEnv&)> body);

  // Number of worker threads still running.
  int Live() const { return live_.load(); }
  // Asks every worker to end (RequestStop); paused ones go on to see it.
  void RequestStopAll();
  // Waits until no worker runs or the time is up; gives whether none runs.
  bool WaitUntilIdle(std::chrono::milliseconds timeout);

  // True while the status view's busy animation plays.
  std::atomic<bool> busyAnimation{false};

 private:
  friend struct WorkerThread;
  WorkerRegistry registries_[3];
  std::atomic<int> live_{0};
  std::mutex idleMutex_;
  std::condition_variable idle_;
};

}  // namespace tvx
