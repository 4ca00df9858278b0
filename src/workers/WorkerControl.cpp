#include "workers/WorkerControl.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "store/Text.h"

namespace tvx {
namespace {

// How much nicer a worker thread is than the thread that started it (the
// window's thread).
constexpr int kWorkerNice = 10;

std::atomic<Reporter*> g_reporter{nullptr};
std::atomic<UiDispatcher*> g_dispatcher{nullptr};
std::atomic<int> g_liveWorkers{0};

WorkerRegistry g_registries[3];
StopFlags g_stopFlags[3];

// Used when no window is connected (a worker must never dereference null).
class NullReporter final : public Reporter {
 public:
  void SetRowStatus(int, const std::string&) override { TVX_ASSERT_UI_THREAD(); }
  void DeleteRow(int) override { TVX_ASSERT_UI_THREAD(); }
  void InsertTopRow(const std::string&) override { TVX_ASSERT_UI_THREAD(); }
  void DeleteAllRows() override { TVX_ASSERT_UI_THREAD(); }
  void SetRowProgress(int, std::uint64_t, std::uint64_t) override { TVX_ASSERT_UI_THREAD(); }
  void SetStatusText(StatusField, const std::string&) override { TVX_ASSERT_UI_THREAD(); }
  void StartBusy() override { TVX_ASSERT_UI_THREAD(); }
  void StopBusy() override { TVX_ASSERT_UI_THREAD(); }
  ProjectNode FindOrAddProject(const std::string&) override {
    TVX_ASSERT_UI_THREAD();
    return 0;
  }
  void AddFile(ProjectNode, const std::string&) override { TVX_ASSERT_UI_THREAD(); }
  void ShowMessage(const std::string& text) override {
    TVX_ASSERT_UI_THREAD();
    std::cerr << "Tavrinox: " << text << '\n';
  }
};

NullReporter g_nullReporter;
SerialDispatcher g_serialDispatcher;

struct ThreadStart {
  std::shared_ptr<WorkerHandle> handle;
  WorkerKind kind;
  Reporter* reporter;
  UiDispatcher* dispatcher;
  std::function<void(WorkerEnv&)> body;
};

void* ThreadMain(void* arg) {
  std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(arg));
  // Workers yield to the user-interface thread: fifty of them busy at full
  // speed would otherwise leave the window waiting for a turn for tens of
  // milliseconds at a time. On Linux the nice value belongs to the thread.
  const auto self = static_cast<id_t>(::gettid());
  setpriority(PRIO_PROCESS, self, std::min(19, getpriority(PRIO_PROCESS, self) + kWorkerNice));
  WorkerEnv env{*start->handle, *start->reporter, *start->dispatcher};
  try {
    start->body(env);
  } catch (const std::exception& e) {
    std::cerr << "Tavrinox: worker for " << start->handle->Text() << " failed: " << e.what()
              << '\n';
  } catch (...) {
    std::cerr << "Tavrinox: worker for " << start->handle->Text() << " failed\n";
  }
  // Whatever the outcome, the entry must not outlive the thread.
  Registry(start->kind).Remove(start->handle.get());
  start->handle->MarkFinished();
  g_liveWorkers.fetch_sub(1);
  return nullptr;
}

}  // namespace

bool Reporter::AddTopRow(const std::string& itemText, const std::string& status) {
  InsertTopRow(itemText);
  SetRowStatus(0, status);
  return true;
}

void Reporter::SetRowText(int, const std::string&) { TVX_ASSERT_UI_THREAD(); }

void SerialDispatcher::Run(const std::function<void()>& work) {
  std::lock_guard lock(mutex_);
  // Run may be entered again from inside work on the same thread.
  const std::thread::id outer = running_.exchange(std::this_thread::get_id());
  struct Restore {
    std::atomic<std::thread::id>& running;
    std::thread::id outer;
    ~Restore() { running.store(outer); }
  } restore{running_, outer};
  work();
}

bool SerialDispatcher::IsUiThread() const {
  const std::thread::id self = std::this_thread::get_id();
  return self == owner_ || self == running_.load();
}

bool OnUiThread() { return CurrentDispatcher()->IsUiThread(); }

void ThreadRuleBroken(const char* rule, const char* function) {
  std::cerr << "Tavrinox: thread rule broken: " << function << " " << rule << '\n';
  std::abort();
}

std::atomic<int> CurrentRow{0};
std::atomic<bool> BusyAnimation{false};

void SetUi(Reporter* reporter, UiDispatcher* dispatcher) {
  g_reporter.store(reporter);
  g_dispatcher.store(dispatcher);
}

Reporter* CurrentReporter() {
  Reporter* r = g_reporter.load();
  return r ? r : &g_nullReporter;
}

UiDispatcher* CurrentDispatcher() {
  UiDispatcher* d = g_dispatcher.load();
  return d ? d : &g_serialDispatcher;
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

void WorkerRegistry::RemoveAt(int index) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  entries_.erase(entries_.begin() + index);
}

bool WorkerRegistry::Remove(const WorkerHandle* handle) {
  std::lock_guard lock(mutex_);
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [handle](const auto& e) { return e.get() == handle; });
  if (it == entries_.end()) return false;
  entries_.erase(it);
  return true;
}

int WorkerRegistry::Find(const std::string& text) const {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (EqualsIgnoreCase(entries_[i]->Text(), text)) return static_cast<int>(i);
  return -1;
}

std::shared_ptr<WorkerHandle> WorkerRegistry::At(int index) const {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(entries_.size())) return nullptr;
  return entries_[index];
}

std::shared_ptr<WorkerHandle> WorkerRegistry::FindHandle(const std::string& text) const {
  std::lock_guard lock(mutex_);
  for (const auto& e : entries_)
    if (EqualsIgnoreCase(e->Text(), text)) return e;
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

void WorkerRegistry::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

int StopFlags::Get(int row) const {
  if (row < 0 || row >= kRows) return 0;
  return flags_[row].load();
}

void StopFlags::Set(int row, int value) {
  if (row < 0 || row >= kRows) return;
  flags_[row].store(value);
}

void StopFlags::ClearAll() {
  for (auto& f : flags_) f.store(0);
}

WorkerRegistry& Registry(WorkerKind kind) { return g_registries[static_cast<int>(kind)]; }
StopFlags& Stops(WorkerKind kind) { return g_stopFlags[static_cast<int>(kind)]; }

void WorkerEnv::EnsureBusy() const {
  if (BusyAnimation.load()) return;
  OnUi([this] {
    if (!BusyAnimation.load()) {
      reporter.StartBusy();
      BusyAnimation.store(true);
    }
  });
}

void WorkerEnv::EndBusy() const {
  if (!BusyAnimation.load()) return;
  OnUi([this] {
    if (BusyAnimation.load()) {
      reporter.StopBusy();
      BusyAnimation.store(false);
    }
  });
}

std::shared_ptr<WorkerHandle> LaunchWorker(WorkerKind kind, const std::string& text,
                                           std::size_t stackSize,
                                           std::function<void(WorkerEnv&)> body) {
  TVX_ASSERT_UI_THREAD();
  auto handle = std::make_shared<WorkerHandle>(text);
  auto* start =
      new ThreadStart{handle, kind, CurrentReporter(), CurrentDispatcher(), std::move(body)};
  // The entry is made before the thread runs, so a worker that ends at once
  // still finds (and removes) its own entry.
  Registry(kind).Add(handle);
  g_liveWorkers.fetch_add(1);
  BusyAnimation.store(false);

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, std::max(stackSize, kMinWorkerStack));
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  int rc = pthread_create(&thread, &attr, ThreadMain, start);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    Registry(kind).Remove(handle.get());
    g_liveWorkers.fetch_sub(1);
    delete start;
    return nullptr;
  }
  return handle;
}

void PauseWorker(WorkerKind kind, int index) {
  if (auto h = Registry(kind).At(index)) h->Gate().Pause();
}

void ResumeWorker(WorkerKind kind, int index) {
  if (auto h = Registry(kind).At(index)) h->Gate().Resume();
}

int LiveWorkerCount() { return g_liveWorkers.load(); }

}  // namespace tvx
