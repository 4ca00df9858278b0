#include "ui/views/ProgressDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QPointF>
#include <QTextDocument>
#include <QToolTip>
#include <QTreeWidgetItem>
#include <algorithm>

namespace tvx::ui {
namespace {

double Fraction(const QVariant& value) {
  if (!value.isValid()) return -1;
  const QPointF p = value.toPointF();  // (done, total)
  if (p.y() <= 0) return -1;
  return std::clamp(p.x() / p.y(), 0.0, 1.0);
}

}  // namespace

void SetItemProgress(QTreeWidgetItem* item, int column, std::uint64_t done, std::uint64_t total) {
  if (!item) return;
  if (total == 0) {
    item->setData(column, kProgressRole, QVariant());
    return;
  }
  item->setData(column, kProgressRole,
                QPointF(static_cast<double>(done), static_cast<double>(total)));
}

double ItemProgress(const QTreeWidgetItem* item, int column) {
  return item ? Fraction(item->data(column, kProgressRole)) : -1;
}

void CProgressDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const double fraction = Fraction(index.data(kProgressRole));
  if (fraction < 0) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  QStyleOptionViewItem opt(option);
  initStyleOption(&opt, index);
  const QWidget* widget = opt.widget;
  QStyle* style = widget ? widget->style() : QApplication::style();

  // The cell's own background and selection, then the bar, then the text on
  // top of both, unchanged.
  style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
  const QRect frame = opt.rect.adjusted(2, 2, -3, -3);
  const int filled = static_cast<int>(frame.width() * fraction + 0.5);
  // On a selected row the cell is already in the selection colour: the bar
  // is a darker shade of it there, and a light wash of it elsewhere.
  const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                     : opt.state & QStyle::State_Active   ? QPalette::Active
                                                                          : QPalette::Inactive;
  QColor bar = opt.palette.color(group, QPalette::Highlight);
  if (opt.state & QStyle::State_Selected)
    bar = bar.darker(150);
  else
    bar.setAlpha(70);
  painter->save();
  painter->setPen(Qt::NoPen);
  painter->fillRect(QRect(frame.left(), frame.top(), filled, frame.height()), bar);
  QColor edge = opt.palette.color(QPalette::Mid);
  painter->setPen(edge);
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(frame);
  painter->restore();

  const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
  const QString text = opt.fontMetrics.elidedText(opt.text, opt.textElideMode, textRect.width());
  const QPalette::ColorRole role =
      opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text;
  painter->save();
  painter->setFont(opt.font);
  style->drawItemText(painter, textRect, static_cast<int>(opt.displayAlignment), opt.palette,
                      opt.state & QStyle::State_Enabled, text, role);
  painter->restore();
}

}  // namespace tvx::ui

namespace tvx::ui {

bool CProgressDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                  const QStyleOptionViewItem& option, const QModelIndex& index) {
  // A tooltip of the row's own goes first; otherwise the cell's whole text,
  // which the column may be too narrow to show.
  if (!event || event->type() != QEvent::ToolTip || !view || !index.isValid() ||
      !index.data(Qt::ToolTipRole).toString().isEmpty())
    return QStyledItemDelegate::helpEvent(event, view, option, index);
  const QString text = index.data(Qt::DisplayRole).toString();
  if (text.isEmpty()) {
    QToolTip::hideText();
    return false;
  }
  // Shown as written, even where it looks like markup.
  const QString shown = Qt::mightBeRichText(text) ? QStringLiteral("<qt>") + text.toHtmlEscaped() +
                                                        QStringLiteral("</qt>")
                                                  : text;
  QToolTip::showText(event->globalPos(), shown, view->viewport(), option.rect);
  return true;
}

}  // namespace tvx::ui
