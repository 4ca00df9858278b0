#include "ui/views/DnldList.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QToolTip>

#include "ui/MessageBox.h"
#include "ui/views/PictureDecode.h"
#include "ui/views/ShellOpen.h"
#include "ui/views/Thumbnails.h"
#include "ui/views/TreeLines.h"

namespace tvx::ui {

CDnldList::CDnldList(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(true);
  setMinimumSize(40, 40);
  thumbnails_ = new CThumbnailer(this);
  connect(thumbnails_, &CThumbnailer::Ready, this, &CDnldList::OnThumbnailReady);
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

QString CDnldList::FileOfItem(const QTreeWidgetItem* item) const {
  if (!item || !item->parent()) return {};
  // Saved paths are relative to the working directory, with '\' or '/'
  // between folders.
  QString path = item->text(0);
  path.replace(QLatin1Char('\\'), QLatin1Char('/'));
  return QDir::current().absoluteFilePath(path);
}

QString CDnldList::ToolTipFor(const QTreeWidgetItem* item) {
  const QString file = FileOfItem(item);
  if (file.isEmpty()) return {};
  const QFileInfo info(file);
  if (!info.isFile()) return {};
  const QString bytes = FormatByteSize(static_cast<double>(info.size()));
  const ThumbInfo* thumb = thumbnails_->Known(file, info.lastModified().toSecsSinceEpoch());
  if (!thumb) {
    thumbnails_->Request(file);
    return bytes;
  }
  const QString pixels = thumb->pixels.isValid() ? QStringLiteral("%1 \u00d7 %2 pixels<br>")
                                                       .arg(thumb->pixels.width())
                                                       .arg(thumb->pixels.height())
                                                 : QString();
  if (thumb->failed)
    return thumb->tooLarge ? TooLargeText() + QStringLiteral("<br>") + pixels + bytes : bytes;
  QString text;
  if (!thumb->thumbFile.isEmpty())
    text += QStringLiteral("<img src=\"%1\"><br>")
                .arg(QUrl::fromLocalFile(thumb->thumbFile).toString().toHtmlEscaped());
  return text + pixels + bytes;
}

bool CDnldList::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QTreeWidget::viewportEvent(event);
  auto* help = static_cast<QHelpEvent*>(event);
  QTreeWidgetItem* item = itemAt(help->pos());
  const QString text = ToolTipFor(item);
  tipFile_ = FileOfItem(item);
  tipPos_ = help->globalPos();
  if (text.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(tipPos_, text, viewport(), visualItemRect(item));
  }
  return true;
}

void CDnldList::contextMenuEvent(QContextMenuEvent* event) {
  if (!previewAction_) return QTreeWidget::contextMenuEvent(event);
  QMenu menu(this);
  menu.addAction(previewAction_);
  menu.exec(event->globalPos());
}

void CDnldList::OnThumbnailReady(const QString& file) {
  if (file != tipFile_ || !QToolTip::isVisible()) return;
  QTreeWidgetItem* item = itemAt(viewport()->mapFromGlobal(tipPos_));
  if (FileOfItem(item) != file) return;
  QToolTip::showText(tipPos_, ToolTipFor(item), viewport(), visualItemRect(item));
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
