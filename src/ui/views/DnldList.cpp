#include "ui/views/DnldList.h"

#include <QDir>
#include <QMouseEvent>
#include <QPointer>

#include "ui/MessageBox.h"
#include "ui/views/ShellOpen.h"
#include "ui/views/TreeLines.h"

namespace tvx::ui {

CDnldList::CDnldList(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(true);
  setMinimumSize(40, 40);
}

void CDnldList::OnInitialUpdate() {
  if (placeholder_) return;
  placeholder_ = new QTreeWidgetItem(QStringList{QStringLiteral("No files downloaded")});
  addTopLevelItem(placeholder_);
}

ProjectNode CDnldList::FindOrAddProject(const QString& name) {
  // Only the placeholder itself is cleared away; a project whose name happens
  // to contain "No files" keeps its files in the tree.
  if (placeholder_ && topLevelItemCount() > 0 && topLevelItem(0) == placeholder_) {
    clear();
    projects_.clear();
    placeholder_ = nullptr;
  }
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = topLevelItem(i);
    if (!item->text(0).contains(name, Qt::CaseSensitive)) continue;
    for (const auto& [id, known] : projects_)
      if (known == item) return id;
    const ProjectNode id = nextId_++;
    projects_[id] = item;
    return id;
  }
  auto* item = new QTreeWidgetItem(QStringList{name});
  addTopLevelItem(item);
  const ProjectNode id = nextId_++;
  projects_[id] = item;
  return id;
}

QTreeWidgetItem* CDnldList::ItemOf(ProjectNode project) const {
  auto it = projects_.find(project);
  return it == projects_.end() ? nullptr : it->second;
}

void CDnldList::AddFile(ProjectNode project, const QString& path) {
  QTreeWidgetItem* parent = ItemOf(project);
  if (!parent) return;
  // The engine names saved files with '\' between folders; here they are
  // shown as this system writes paths.
  QString shown = path;
  shown.replace(QLatin1Char('\\'), QLatin1Char('/'));
  parent->addChild(new QTreeWidgetItem(QStringList{shown}));
  parent->setExpanded(true);
}

void CDnldList::OpenFileItem(QTreeWidgetItem* item) {
  if (!item || !item->parent()) return;
  // Saved paths are relative to the working directory.
  const QString shown = item->text(0);
  OpenFileWithShell(QDir::current().absoluteFilePath(shown),
                    [self = QPointer<CDnldList>(this), shown] {
                      if (self)
                        ShowMessageBox(self, QStringLiteral("No program can open ") + shown);
                    });
}

void CDnldList::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeWidget::mouseDoubleClickEvent(event);
  if (event->button() != Qt::LeftButton) return;
  OpenFileItem(currentItem());
}

void CDnldList::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const {
  DrawTreeBranches(*this, painter, rect, index);
}

}  // namespace tvx::ui
