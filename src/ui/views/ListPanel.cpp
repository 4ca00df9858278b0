#include "ui/views/ListPanel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include "commands/CommandIds.h"
#include "commands/ItemCommands.h"
#include "store/Lists.h"
#include "ui/MessageBox.h"
#include "ui/frame/AskCommands.h"
#include "ui/model/ShownList.h"
#include "ui/views/CreditTips.h"
#include "ui/views/ListRows.h"
#include "ui/views/ProgressDelegate.h"
#include "ui/views/StatusView.h"
#include "workers/EngineState.h"

namespace tvx::ui {

CListPanel::CListPanel(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(2);
  setHeaderLabels({QStringLiteral("Project"), QStringLiteral("Status")});
  header()->setDefaultAlignment(Qt::AlignCenter);
  // The Status column takes what the Project column leaves of the pane.
  header()->setStretchLastSection(true);
  setColumnWidth(0, 250);
  setColumnWidth(1, 300);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The right-button press shows the menu itself; no second menu from the
  // context-menu event.
  setContextMenuPolicy(Qt::PreventContextMenu);
  setMinimumSize(40, 40);
  setItemDelegateForColumn(1, new CProgressDelegate(this));
  new CreditTips(this);
}

void CListPanel::OnInitialUpdate() {
  // The program starts on the requested files.
  if (shown_) shown_->Show(kListRequestedFiles);
  DeleteAllRows();
  FillRows(kListRequestedFiles);
}

int CListPanel::Shown() const { return shown_ ? shown_->Shown() : 0; }

std::vector<ItemId> CListPanel::SelectedItems() const {
  return shown_ ? shown_->IdsOfRows(SelectedRows()) : std::vector<ItemId>{};
}

ItemId CListPanel::ItemAtRow(int row) const { return shown_ ? shown_->IdAtRow(row) : 0; }

std::vector<int> CListPanel::SelectedRows() const {
  std::vector<int> rows;
  for (int i = 0; i < topLevelItemCount(); ++i)
    if (topLevelItem(i)->isSelected()) rows.push_back(i);
  return rows;
}

bool CListPanel::IsRowSelected(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item && item->isSelected();
}

void CListPanel::SetRowSelected(int row, bool selected) {
  if (QTreeWidgetItem* item = topLevelItem(row)) item->setSelected(selected);
}

QString CListPanel::RowText(int row, int column) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  if (!item || column < 0 || column > 1) return {};
  return item->text(column);
}

void CListPanel::SetRowText(int row, int column, const QString& text) {
  QTreeWidgetItem* item = topLevelItem(row);
  if (!item || column < 0 || column > 1) return;
  item->setText(column, text);
}

void CListPanel::SetRowProgress(int row, std::uint64_t done, std::uint64_t total) {
  SetItemProgress(topLevelItem(row), 1, done, total);
}

double CListPanel::RowProgress(int row) const { return ItemProgress(topLevelItem(row), 1); }

bool CListPanel::InsertTopRow(const QString& text, const QString& status) {
  if (rowLimitForTest_ >= 0 && topLevelItemCount() >= rowLimitForTest_) return false;
  auto* item = new QTreeWidgetItem(QStringList{text, status});
  item->setTextAlignment(1, Qt::AlignCenter);
  insertTopLevelItem(0, item);
  return true;
}

void CListPanel::DeleteRow(int row) {
  if (row < 0 || row >= topLevelItemCount()) return;
  delete takeTopLevelItem(row);
}

void CListPanel::DeleteAllRows() { clear(); }

int CListPanel::RowCount() const { return topLevelItemCount(); }

void CListPanel::RefillRows() {
  DeleteAllRows();
  FillRows(Shown());
}

void CListPanel::FillRows(int kind) {
  // Inserting each record at the top leaves the newest (last appended) in row 0.
  if (!engine_) return;
  for (const ListRow& row : RecordsOfList(engine_->lists, kind)) {
    if (!InsertTopRow(row.text, row.status)) {
      ShowMessageBox(this, QStringLiteral("Error updating list"));
      return;
    }
  }
}

void CListPanel::ReportSelection() {
  if (!statusView_) return;
  for (int row : SelectedRows()) {
    const QString project = RowText(row, 0);
    statusView_->SetLastAction(project + QStringLiteral(" selected"));
    statusView_->SetStatus(RowText(row, 1));
    if (shown_) shown_->FollowRow(row);
    const int kind = Shown();
    if (kind == kListRequestedFiles)
      statusView_->SetCurrentProject(QStringLiteral("None"));
    else if (kind == kListRequestedSites)
      statusView_->SetCurrentProject(project);
  }
}

void CListPanel::mousePressEvent(QMouseEvent* event) {
  const QTreeWidgetItem* pressed = itemAt(event->position().toPoint());
  reportOnRelease_ = event->button() == Qt::LeftButton && pressed && pressed->isSelected();
  QTreeWidget::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) {
    if (!reportOnRelease_) ReportSelection();
  } else if (event->button() == Qt::RightButton) {
    sendToEnabled_ = Shown() == kListSearchResults || Shown() == kListDownloadedSites;
    if (SelectedRows().empty()) return;
    QMenu* menu = CreateContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPosition().toPoint());
  }
}

void CListPanel::mouseReleaseEvent(QMouseEvent* event) {
  QTreeWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && reportOnRelease_) {
    reportOnRelease_ = false;
    ReportSelection();
  }
}

void CListPanel::keyReleaseEvent(QKeyEvent* event) {
  ReportSelection();
  QTreeWidget::keyReleaseEvent(event);
}

QMenu* CListPanel::CreateContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  auto add = [this](QMenu* m, const QString& label, int id) {
    QAction* action = m->addAction(label);
    action->setData(id);
    if (auto enabled = IsCommandEnabled(id)) action->setEnabled(*enabled);
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    return action;
  };
  add(menu, QStringLiteral("Delete\tDel"), kCmdDeleteEntry);
  menu->addSeparator();
  QMenu* sendTo = menu->addMenu(QStringLiteral("Send To"));
  add(sendTo, QStringLiteral("&Requested Files List"), kCmdSendToRequestedFiles);
  add(sendTo, QStringLiteral("Requested &Web Sites"), kCmdSendToRequestedSites);
  menu->addSeparator();
  add(menu, QStringLiteral("Properties..."), kCmdProperties);
  return menu;
}

bool CListPanel::OnCommand(int id) {
  switch (id) {
    case kCmdDeleteEntry:
      AskDeleteEntries(this, *this);
      return true;
    case kCmdSendToRequestedFiles:
      SendSelectedToRequestedFiles(*this);
      return true;
    case kCmdSendToRequestedSites:
      AskSendToRequestedSites(this, *this, SendToOrigin::ListPanel);
      return true;
    case kCmdProperties:
      AskEditProjects(this, *this);
      return true;
  }
  return false;
}

std::optional<bool> CListPanel::IsCommandEnabled(int id) const {
  switch (id) {
    case kCmdSendToRequestedFiles:
    case kCmdSendToRequestedSites:
      return sendToEnabled_;
    case kCmdDeleteEntry:
    case kCmdProperties:
      return true;
  }
  return std::nullopt;
}

}  // namespace tvx::ui
