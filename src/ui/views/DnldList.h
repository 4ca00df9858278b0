// The lower-left tree of the files saved by web-site projects during this run,
// one top-level item per project.
#pragma once

#include <QTreeWidget>
#include <map>

#include "workers/Reporting.h"

namespace tvx::ui {

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

 protected:
  // Connecting lines, also at the root, and boxed "+" and "-" buttons.
  void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QTreeWidgetItem* placeholder_ = nullptr;
  std::map<ProjectNode, QTreeWidgetItem*> projects_;
  ProjectNode nextId_ = 1;
};

}  // namespace tvx::ui
