#include "workers/Reporting.h"

#include <cstdlib>
#include <iostream>

namespace tvx {
namespace {

std::atomic<const UiDispatcher*> g_checked{nullptr};

}  // namespace

bool Reporter::MayShowList(int) const { return true; }
bool Reporter::MayShowStatusOf(ItemRef) const { return true; }

bool NullReporter::ItemAdded(ItemRef, const std::string&, const std::string&) {
  TVX_ASSERT_UI_THREAD();
  return true;
}
void NullReporter::ItemRemoved(ItemRef) { TVX_ASSERT_UI_THREAD(); }
void NullReporter::AllItemsRemoved() { TVX_ASSERT_UI_THREAD(); }
void NullReporter::ItemStatus(ItemRef, const std::string&) { TVX_ASSERT_UI_THREAD(); }
void NullReporter::ItemText(ItemRef, const std::string&) { TVX_ASSERT_UI_THREAD(); }
void NullReporter::ItemProgress(ItemRef, std::uint64_t, std::uint64_t) { TVX_ASSERT_UI_THREAD(); }
void NullReporter::FollowItem(ItemRef) { TVX_ASSERT_UI_THREAD(); }
bool NullReporter::ItemStatusText(ItemRef, StatusField, const std::string&, WhenFollowed) {
  TVX_ASSERT_UI_THREAD();
  return false;
}
void NullReporter::SetStatusText(StatusField, const std::string&) { TVX_ASSERT_UI_THREAD(); }
void NullReporter::StartBusy() { TVX_ASSERT_UI_THREAD(); }
void NullReporter::StopBusy() { TVX_ASSERT_UI_THREAD(); }
ProjectNode NullReporter::FindOrAddProject(const std::string&) {
  TVX_ASSERT_UI_THREAD();
  return 0;
}
void NullReporter::AddFile(ProjectNode, const std::string&) { TVX_ASSERT_UI_THREAD(); }
void NullReporter::ShowMessage(const std::string& text) {
  TVX_ASSERT_UI_THREAD();
  std::cerr << "Tavrinox: " << text << '\n';
}

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

void SetThreadRuleDispatcher(const UiDispatcher* dispatcher) { g_checked.store(dispatcher); }

void ClearThreadRuleDispatcher(const UiDispatcher* dispatcher) {
  g_checked.compare_exchange_strong(dispatcher, nullptr);
}

bool OnUiThread() {
  if (const UiDispatcher* d = g_checked.load()) return d->IsUiThread();
  static const SerialDispatcher fallback;
  return fallback.IsUiThread();
}

void ThreadRuleBroken(const char* rule, const char* function) {
  std::cerr << "Tavrinox: thread rule broken: " << function << " " << rule << '\n';
  std::abort();
}

}  // namespace tvx
