#pragma once
// Worker threads: kinds, registries, stop flags, the pause gate, the current
// row and the busy animation flag, and starting a worker.
#include <array>
#include <atomic>
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

enum class WorkerKind : int { File = 0, Site = 1, Search = 2 };

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
  explicit WorkerHandle(std::string text) : text_(std::move(text)) {}
  const std::string& Text() const { return text_; }
  PauseGate& Gate() { return gate_; }
  bool Finished() const { return finished_.load(); }
  void MarkFinished() { finished_.store(true); }

 private:
  std::string text_;
  PauseGate gate_;
  std::atomic<bool> finished_{false};
};

// The workers of one kind, in start order. Thread-safe.
class WorkerRegistry {
 public:
  void Add(std::shared_ptr<WorkerHandle> handle);
  void RemoveAt(int index);
  // Removes this very entry (not another of the same text); false if absent.
  bool Remove(const WorkerHandle* handle);
  // Index of the first entry whose text equals text ignoring case, or -1.
  int Find(const std::string& text) const;
  std::shared_ptr<WorkerHandle> At(int index) const;
  // The first entry whose text equals text ignoring case, or null. Hold on to
  // the handle rather than an index: entries move as other workers end.
  std::shared_ptr<WorkerHandle> FindHandle(const std::string& text) const;
  // Every entry, in start order.
  std::vector<std::shared_ptr<WorkerHandle>> Snapshot() const;
  int Count() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<WorkerHandle>> entries_;
};

// One flag per list-panel row 0..199. Rows outside read as clear and are
// never written.
class StopFlags {
 public:
  static constexpr int kRows = 200;
  int Get(int row) const;
  void Set(int row, int value);
  void ClearAll();

 private:
  std::array<std::atomic<int>, kRows> flags_{};
};

WorkerRegistry& Registry(WorkerKind kind);
StopFlags& Stops(WorkerKind kind);

// The list-panel row whose progress the status view follows.
extern std::atomic<int> CurrentRow;
// True while the status view's busy animation plays.
extern std::atomic<bool> BusyAnimation;

// What a worker body gets: its own handle and the user interface.
struct WorkerEnv {
  WorkerHandle& self;
  Reporter& reporter;
  UiDispatcher& ui;
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
  // Starts the busy animation if it is not playing (from the worker).
  void EnsureBusy() const;
  // Stops the busy animation if it is playing (from the worker).
  void EndBusy() const;
};

// Runs work under one lock on the calling thread: the dispatcher when no
// window is connected, and the one engine tests use. The thread that made it
// counts as the user-interface thread, and so does a thread while it runs
// work here (it then holds the lock every other such sequence needs).
class SerialDispatcher final : public UiDispatcher {
 public:
  void Run(const std::function<void()>& work) override;
  bool IsUiThread() const override;

 private:
  std::recursive_mutex mutex_;
  const std::thread::id owner_ = std::this_thread::get_id();
  std::atomic<std::thread::id> running_{};
};

// Registers a worker for text in kind's registry and starts body on a thread
// of its own. When body returns (or throws) the worker's entry is removed.
// Returns the handle, or null when the thread could not be created (then no
// entry is left behind). Workers are started on the user-interface thread.
std::shared_ptr<WorkerHandle> LaunchWorker(WorkerKind kind, const std::string& text,
                                           std::size_t stackSize,
                                           std::function<void(WorkerEnv&)> body);

// Pausing and resuming the registered worker at index (nothing if absent).
void PauseWorker(WorkerKind kind, int index);
void ResumeWorker(WorkerKind kind, int index);

// Number of worker threads still running (for tests and the stress run).
int LiveWorkerCount();

}  // namespace tvx
