#include "ui/views/ViewReporter.h"

#include <QThread>

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

void CViewReporter::InsertTopRow(const std::string& itemText) {
  TVX_ASSERT_UI_THREAD();
  if (list_) list_->InsertTopRow(ToQt(itemText), QString());
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

bool CQtUiDispatcher::IsUiThread() const { return QThread::currentThread() == context_->thread(); }

void CQtUiDispatcher::Run(const std::function<void()>& work) {
  if (IsUiThread()) {
    work();
    return;
  }
  // The worker waits here until the user-interface thread has run the work.
  QMetaObject::invokeMethod(
      context_, [&work] { work(); }, Qt::BlockingQueuedConnection);
}

}  // namespace tvx::ui
