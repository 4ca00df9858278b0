#include "ui/views/ViewReporter.h"

#include <QThread>
#include <atomic>
#include <memory>

#include "ui/MessageBox.h"
#include "ui/views/DnldList.h"
#include "ui/views/ListPanel.h"
#include "ui/views/StatusView.h"

namespace tvx::ui {
namespace {

QString ToQt(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CViewReporter::CViewReporter(CListPanel* list, CStatusView* status, CDnldList* tree,
                             QWidget* messageParent)
    : list_(list), status_(status), tree_(tree), messageParent_(messageParent) {}

void CViewReporter::SetRowStatus(int row, const std::string& text) {
  TVX_ASSERT_UI_THREAD();
  if (list_) list_->SetRowText(row, 1, ToQt(text));
}

void CViewReporter::DeleteRow(int row) {
  TVX_ASSERT_UI_THREAD();
  if (list_) list_->DeleteRow(row);
}

void CViewReporter::DeleteAllRows() {
  TVX_ASSERT_UI_THREAD();
  if (list_) list_->DeleteAllRows();
}

void CViewReporter::SetRowProgress(int row, std::uint64_t done, std::uint64_t total) {
  TVX_ASSERT_UI_THREAD();
  if (list_) list_->SetRowProgress(row, done, total);
}

bool CViewReporter::AddTopRow(const std::string& itemText, const std::string& status) {
  TVX_ASSERT_UI_THREAD();
  return list_ && list_->InsertTopRow(ToQt(itemText), ToQt(status));
}

void CViewReporter::SetRowText(int row, const std::string& itemText) {
  TVX_ASSERT_UI_THREAD();
  if (list_) list_->SetRowText(row, 0, ToQt(itemText));
}

void CViewReporter::SetStatusText(StatusField field, const std::string& text) {
  TVX_ASSERT_UI_THREAD();
  if (status_) status_->SetText(field, ToQt(text));
}

void CViewReporter::StartBusy() {
  TVX_ASSERT_UI_THREAD();
  if (status_) status_->PlayBusy();
}

void CViewReporter::StopBusy() {
  TVX_ASSERT_UI_THREAD();
  if (status_) status_->StopBusy();
}

ProjectNode CViewReporter::FindOrAddProject(const std::string& name) {
  TVX_ASSERT_UI_THREAD();
  return tree_ ? tree_->FindOrAddProject(ToQt(name)) : 0;
}

void CViewReporter::AddFile(ProjectNode project, const std::string& path) {
  TVX_ASSERT_UI_THREAD();
  if (tree_) tree_->AddFile(project, ToQt(path));
}

void CViewReporter::ShowMessage(const std::string& text) {
  TVX_ASSERT_UI_THREAD();
  ShowMessageBox(messageParent_.data(), ToQt(text));
}

CQtUiDispatcher::CQtUiDispatcher() : context_(new QObject) {}

CQtUiDispatcher::~CQtUiDispatcher() { delete context_; }

bool CQtUiDispatcher::IsUiThread() const {
  return QThread::currentThread() == context_->thread() || closedRun_.IsUiThread();
}

// One piece of work on its way to the user-interface thread: whoever takes it
// first (that thread, or the caller once the dispatcher is closed) runs it.
// Its waiting worker sleeps on its state alone.
struct CQtUiDispatcher::Passage {
  enum State { kWaiting, kTakenByUi, kHandedBack, kDone };
  std::atomic<int> state{kWaiting};
};

void CQtUiDispatcher::Run(const std::function<void()>& work) {
  if (QThread::currentThread() == context_->thread()) {
    work();
    return;
  }
  auto passage = std::make_shared<Passage>();
  bool closed = false;
  {
    std::lock_guard lock(mutex_);
    closed = closed_;
    if (!closed) waiting_.push_back(passage);
  }
  if (closed) {
    closedRun_.Run(work);
    return;
  }
  // The posted call holds the passage, not the dispatcher; `work` lives
  // until this call returns, which is after the posted call is done with it.
  QMetaObject::invokeMethod(
      context_,
      [passage, &work] {
        int waiting = Passage::kWaiting;
        if (!passage->state.compare_exchange_strong(waiting, Passage::kTakenByUi)) return;
        work();
        passage->state.store(Passage::kDone);
        passage->state.notify_one();
      },
      Qt::QueuedConnection);
  // The worker waits here until the user-interface thread has run the work,
  // or the dispatcher closed and handed it back before that thread took it.
  int state = passage->state.load();
  while (state == Passage::kWaiting || state == Passage::kTakenByUi) {
    passage->state.wait(state);
    state = passage->state.load();
  }
  {
    std::lock_guard lock(mutex_);
    std::erase(waiting_, passage);
  }
  if (state == Passage::kHandedBack) closedRun_.Run(work);
}

void CQtUiDispatcher::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  // Work the user-interface thread took already is finished there (this runs
  // on that thread); the rest goes back to the workers that wait for it.
  for (const std::shared_ptr<Passage>& passage : waiting_) {
    int waiting = Passage::kWaiting;
    if (passage->state.compare_exchange_strong(waiting, Passage::kHandedBack))
      passage->state.notify_one();
  }
}

}  // namespace tvx::ui
