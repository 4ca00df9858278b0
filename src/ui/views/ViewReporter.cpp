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

namespace {

// One piece of work on its way to the user-interface thread: whoever takes it
// first (that thread, or the caller once the dispatcher is closed) runs it.
struct Passage {
  enum State { kWaiting, kTakenByUi, kTakenByCaller, kDone };
  std::atomic<int> state{kWaiting};
};

}  // namespace

void CQtUiDispatcher::Run(const std::function<void()>& work) {
  if (QThread::currentThread() == context_->thread()) {
    work();
    return;
  }
  {
    std::lock_guard lock(mutex_);
    if (closed_) {
      closedRun_.Run(work);
      return;
    }
  }
  auto passage = std::make_shared<Passage>();
  QMetaObject::invokeMethod(
      context_,
      [this, passage, &work] {
        int waiting = Passage::kWaiting;
        if (!passage->state.compare_exchange_strong(waiting, Passage::kTakenByUi)) return;
        work();
        {
          std::lock_guard lock(mutex_);
          passage->state.store(Passage::kDone);
        }
        changed_.notify_all();
      },
      Qt::QueuedConnection);
  // The worker waits here until the user-interface thread has run the work,
  // or the dispatcher closes before that thread took it.
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] {
    return passage->state.load() == Passage::kDone ||
           (closed_ && passage->state.load() == Passage::kWaiting);
  });
  if (passage->state.load() == Passage::kDone) return;
  int waiting = Passage::kWaiting;
  if (passage->state.compare_exchange_strong(waiting, Passage::kTakenByCaller)) {
    lock.unlock();
    closedRun_.Run(work);
    return;
  }
  // The user-interface thread took it a moment before: it finishes it.
  changed_.wait(lock, [&] { return passage->state.load() == Passage::kDone; });
}

void CQtUiDispatcher::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

}  // namespace tvx::ui
