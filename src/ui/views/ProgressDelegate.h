// Draws a row's progress as a bar behind the text of its Status cell, and
// shows the cell's whole text as its tooltip.
#pragma once

#include <QStyledItemDelegate>
#include <cstdint>

class QTreeWidgetItem;

namespace tvx::ui {

// The item data role holding a row's progress (done, total), kept with the
// row's item so it moves with the row as rows are inserted and deleted.
inline constexpr int kProgressRole = Qt::UserRole + 1;

// Sets or (total 0) takes away an item's progress in `column`.
void SetItemProgress(QTreeWidgetItem* item, int column, std::uint64_t done, std::uint64_t total);
// The item's progress as a fraction from 0 to 1; negative when it has none.
double ItemProgress(const QTreeWidgetItem* item, int column);

class CProgressDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override;
};

}  // namespace tvx::ui
