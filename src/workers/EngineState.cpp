#include "workers/EngineState.h"

namespace tvx {

EngineState::EngineState() { SetThreadRuleDispatcher(&dispatcher_); }

EngineState::~EngineState() {
  // No worker may outlive what it works on: whoever owns the engine stops
  // them first; this only makes sure.
  SetUi(nullptr, nullptr);
  workers.RequestStopAll();
  workers.WaitUntilIdle(std::chrono::seconds(60));
  ClearThreadRuleDispatcher(&dispatcher_);
}

void EngineState::SetUi(Reporter* reporter, UiDispatcher* dispatcher) {
  reporter_.target.store(reporter);
  dispatcher_.target.store(dispatcher);
}

void EngineState::CloseUi() {
  TVX_ASSERT_UI_THREAD();
  // First the reports: work that runs on a worker's thread from now on must
  // not touch the window.
  reporter_.target.store(nullptr);
  dispatcher_.Close();
}

bool EngineState::DispatcherLink::IsUiThread() const {
  const UiDispatcher* d = target.load();
  return d ? d->IsUiThread() : serial_.IsUiThread();
}

Reporter& EngineState::ReporterLink::To() {
  Reporter* r = target.load();
  return r ? *r : none_;
}

const Reporter& EngineState::ReporterLink::To() const {
  const Reporter* r = target.load();
  return r ? *r : none_;
}
bool EngineState::ReporterLink::MayShowList(int list) const { return To().MayShowList(list); }
bool EngineState::ReporterLink::MayShowStatusOf(ItemRef item) const {
  return To().MayShowStatusOf(item);
}

bool EngineState::ReporterLink::ItemAdded(ItemRef item, const std::string& text,
                                          const std::string& status) {
  return To().ItemAdded(item, text, status);
}
void EngineState::ReporterLink::ItemRemoved(ItemRef item) { To().ItemRemoved(item); }
void EngineState::ReporterLink::AllItemsRemoved() { To().AllItemsRemoved(); }
void EngineState::ReporterLink::ItemStatus(ItemRef item, const std::string& text) {
  To().ItemStatus(item, text);
}
void EngineState::ReporterLink::ItemText(ItemRef item, const std::string& text) {
  To().ItemText(item, text);
}
void EngineState::ReporterLink::ItemProgress(ItemRef item, std::uint64_t done,
                                             std::uint64_t total) {
  To().ItemProgress(item, done, total);
}
void EngineState::ReporterLink::FollowItem(ItemRef item) { To().FollowItem(item); }
bool EngineState::ReporterLink::ItemStatusText(ItemRef item, StatusField field,
                                               const std::string& text, WhenFollowed when) {
  return To().ItemStatusText(item, field, text, when);
}
void EngineState::ReporterLink::SetStatusText(StatusField field, const std::string& text) {
  To().SetStatusText(field, text);
}
void EngineState::ReporterLink::StartBusy() { To().StartBusy(); }
void EngineState::ReporterLink::StopBusy() { To().StopBusy(); }
ProjectNode EngineState::ReporterLink::FindOrAddProject(const std::string& name) {
  return To().FindOrAddProject(name);
}
void EngineState::ReporterLink::AddFile(ProjectNode project, const std::string& path) {
  To().AddFile(project, path);
}
void EngineState::ReporterLink::ShowMessage(const std::string& text) { To().ShowMessage(text); }

}  // namespace tvx
