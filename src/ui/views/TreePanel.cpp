#include "ui/views/TreePanel.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "store/Lists.h"
#include "ui/model/ShownList.h"
#include "ui/views/ListPanel.h"
#include "ui/views/ListRows.h"
#include "ui/views/StatusView.h"
#include "ui/views/TreeLines.h"
#include "workers/EngineState.h"

namespace tvx::ui {

namespace {

struct ListItem {
  const char* text;
  int kind;
  const char* lastAction;
  const char* statusFormat;  // %1 is the list's count
};

constexpr ListItem kListItems[] = {
    {"Files", kListRequestedFiles, "Requested Files List Selected", " %1 files ready for download"},
    {"Web Sites", kListRequestedSites, "Requested Web Sites List Selected",
     " %1 projects ready for download"},
    {"Search Projects", kListSearchProjects, "Required Search Projects List Selected",
     " %1 search projects ready for download"},
    {"Downloaded Files", kListDownloadedFiles, "Downloaded Files List Selected",
     " %1 files downloaded"},
    {"Downloaded Sites", kListDownloadedSites, "Downloaded Web Sites List Selected",
     " %1 projects downloaded"},
    {"Search Results", kListSearchResults, "Search Results List Selected",
     " %1 search projects completed"},
};

const ListItem* ItemOfKind(int kind) {
  for (const ListItem& item : kListItems)
    if (item.kind == kind) return &item;
  return nullptr;
}

}  // namespace

CTreePanel::CTreePanel(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(true);
  setMinimumSize(40, 40);
}

void CTreePanel::OnInitialUpdate() {
  if (topLevelItemCount() > 0) return;
  auto* requested = new QTreeWidgetItem(QStringList{QStringLiteral("Requested Items")});
  addTopLevelItem(requested);
  for (const char* text : {"Files", "Web Sites", "Search Projects"})
    requested->addChild(new QTreeWidgetItem(QStringList{QString::fromLatin1(text)}));
  auto* downloaded = new QTreeWidgetItem(QStringList{QStringLiteral("Downloaded Items")});
  addTopLevelItem(downloaded);
  for (const char* text : {"Downloaded Files", "Downloaded Sites", "Search Results"})
    downloaded->addChild(new QTreeWidgetItem(QStringList{QString::fromLatin1(text)}));
  requested->setExpanded(true);
  // Selecting here does not switch: the list panel shows the requested files
  // by itself at start.
  setCurrentItem(requested->child(0));
}

int CTreePanel::KindOfItem(const QString& text) {
  for (const ListItem& item : kListItems)
    if (text == QLatin1String(item.text)) return item.kind;
  return 0;
}

QTreeWidgetItem* CTreePanel::FindItem(const QString& text) const {
  const auto found = findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
  return found.isEmpty() ? nullptr : found.first();
}

void CTreePanel::SwitchTo(const QString& itemText) {
  const int kind = KindOfItem(itemText);
  if (kind == 0 || !shown_ || kind == shown_->Shown()) return;
  shown_->Show(kind);
  if (listPanel_) listPanel_->DeleteAllRows();
  const ListItem* item = ItemOfKind(kind);
  if (statusView_ && item) {
    statusView_->SetCurrentProject(QStringLiteral("None"));
    statusView_->SetLastAction(QString::fromLatin1(item->lastAction));
    statusView_->SetStatus(QString::fromLatin1(item->statusFormat)
                               .arg(engine_ ? CountOfList(engine_->lists, kind) : 0));
  }
  if (listPanel_) listPanel_->RefillRows();
}

void CTreePanel::SwitchToSelected() {
  if (QTreeWidgetItem* item = currentItem()) SwitchTo(item->text(0));
}

void CTreePanel::mousePressEvent(QMouseEvent* event) {
  QTreeWidget::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) SwitchToSelected();
}

void CTreePanel::keyReleaseEvent(QKeyEvent* event) {
  SwitchToSelected();
  QTreeWidget::keyReleaseEvent(event);
}

void CTreePanel::drawBranches(QPainter* painter, const QRect& rect,
                              const QModelIndex& index) const {
  DrawTreeBranches(*this, painter, rect, index);
}

}  // namespace tvx::ui
