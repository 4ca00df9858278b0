// The branch area of the two trees as a classic tree control draws it:
// dotted lines joining each item to its parent and siblings, also between the
// top-level items, and a boxed "+" or "-" on items that have children.
#pragma once

class QModelIndex;
class QPainter;
class QRect;
class QTreeView;

namespace tvx::ui {

// For a tree view's drawBranches: draws the lines and the box of one row.
void DrawTreeBranches(const QTreeView& view, QPainter* painter, const QRect& rect,
                      const QModelIndex& index);

}  // namespace tvx::ui
