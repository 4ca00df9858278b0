// The lower-left tree of the files saved by web-site projects during this run,
// one top-level item per project.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QTreeWidget>
#include <map>

#include "workers/Reporting.h"

namespace tvx::ui {

class CThumbnailer;

class CDnldList : public QTreeWidget {
  Q_OBJECT

 public:
  explicit CDnldList(QWidget* parent = nullptr);

  // Adds the placeholder item "No files downloaded".
  void OnInitialUpdate();

  // The project item whose text contains name (case-sensitive), added at the
  // end when there is none. The first call removes the placeholder.
  ProjectNode FindOrAddProject(const QString& name);
  // Appends a saved file under its project; ignored for an unknown id.
  void AddFile(ProjectNode project, const QString& path);

  // The item an id stands for, or null when it is gone.
  QTreeWidgetItem* ItemOf(ProjectNode project) const;

  // Opens the saved file shown by item, when it is a file item.
  void OpenFileItem(QTreeWidgetItem* item);

  // The saved file a file item shows, as an absolute path; empty for the
  // placeholder and project items.
  QString FileOfItem(const QTreeWidgetItem* item) const;
  // The tooltip of a file item: its thumbnail with its pixel size and byte
  // size, or the byte size alone while the thumbnail is being made or when
  // the picture cannot be decoded; empty when there is nothing to show.
  QString ToolTipFor(const QTreeWidgetItem* item);
  CThumbnailer& Thumbnails() { return *thumbnails_; }
  // The entry that shows and hides the Preview pane, offered by this tree's
  // context menu.
  void SetPreviewAction(QAction* action) { previewAction_ = action; }

 protected:
  // Connecting lines, also at the root, and boxed "+" and "-" buttons.
  void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void OnThumbnailReady(const QString& file);

  CThumbnailer* thumbnails_ = nullptr;
  QPointer<QAction> previewAction_;
  // The file whose tooltip shows, and where, so a thumbnail that arrives
  // while the pointer still rests on it can join it.
  QString tipFile_;
  QPoint tipPos_;
  QTreeWidgetItem* placeholder_ = nullptr;
  std::map<ProjectNode, QTreeWidgetItem*> projects_;
  ProjectNode nextId_ = 1;
};

}  // namespace tvx::ui
