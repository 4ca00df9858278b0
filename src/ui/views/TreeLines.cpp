#include "ui/views/TreeLines.h"

#include <QAbstractItemModel>
#include <QPainter>
#include <QTreeView>
#include <vector>

namespace tvx::ui {
namespace {

constexpr int kBoxSize = 9;

bool HasNextSibling(const QModelIndex& index) {
  return index.sibling(index.row() + 1, 0).isValid();
}

// Dotted lines: every other pixel, on even coordinates so that the pieces of
// neighbouring rows join up.
void DottedVertical(QPainter* painter, int x, int top, int bottom) {
  for (int y = top + (top & 1); y <= bottom; y += 2) painter->drawPoint(x, y);
}

void DottedHorizontal(QPainter* painter, int y, int left, int right) {
  for (int x = left + (left & 1); x <= right; x += 2) painter->drawPoint(x, y);
}

}  // namespace

void DrawTreeBranches(const QTreeView& view, QPainter* painter, const QRect& rect,
                      const QModelIndex& index) {
  const int indent = view.indentation();
  if (indent <= 0 || !index.isValid()) return;
  // The item and its ancestors, outermost first: one column of the branch
  // area each.
  std::vector<QModelIndex> chain;
  for (QModelIndex i = index; i.isValid(); i = i.parent()) chain.insert(chain.begin(), i);

  const QPalette& palette = view.palette();
  painter->save();
  painter->setPen(palette.color(QPalette::Dark));
  const int top = rect.top();
  const int bottom = rect.bottom();
  const int middle = rect.center().y();
  const int depth = static_cast<int>(chain.size()) - 1;
  for (int level = 0; level <= depth; ++level) {
    const int left = rect.left() + level * indent;
    const int x = left + indent / 2;
    const QModelIndex& item = chain[static_cast<std::size_t>(level)];
    if (level < depth) {
      // An ancestor's line runs on past this row to its next sibling.
      if (HasNextSibling(item)) DottedVertical(painter, x, top, bottom);
      continue;
    }
    const bool firstOfAll = level == 0 && item.row() == 0;
    if (!firstOfAll) DottedVertical(painter, x, top, middle);
    if (HasNextSibling(item)) DottedVertical(painter, x, middle, bottom);
    DottedHorizontal(painter, middle, x, left + indent - 2);

    if (view.model()->hasChildren(item)) {
      const QRect box(x - kBoxSize / 2, middle - kBoxSize / 2, kBoxSize - 1, kBoxSize - 1);
      painter->fillRect(box, palette.color(QPalette::Base));
      painter->drawRect(box);
      painter->setPen(palette.color(QPalette::Text));
      painter->drawLine(box.left() + 2, middle, box.right() - 2, middle);
      if (!view.isExpanded(item)) painter->drawLine(x, box.top() + 2, x, box.bottom() - 2);
      painter->setPen(palette.color(QPalette::Dark));
    }
  }
  painter->restore();
}

}  // namespace tvx::ui
