#include "ui/toolbar/ToolBarEx.h"

#include <QActionEvent>
#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QToolButton>
#include <QToolTip>

#include "ui/toolbar/Pictures.h"

namespace tvx::ui {
namespace {

constexpr int kGripperExtent = 10;  // room for the two gripper bars
constexpr int kSeparatorExtent = 8;
constexpr int kMaxDrawnSeparator = 8;  // wider separators are only gaps
constexpr int kLabelTopOffset = 3;     // image top when the button has a label
constexpr int kWhiteGray = 0xf0;       // this light or lighter is white in a picture

// A 1-pixel frame: top and left in one colour, right and bottom in the other.
void Draw3dRect(QPainter& p, const QRect& r, const QColor& top_left, const QColor& bottom_right) {
  if (r.width() <= 0 || r.height() <= 0) return;
  p.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), top_left);
  p.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), top_left);
  p.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottom_right);
  p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottom_right);
}

// The image's shape in one colour: the pixels that are neither transparent
// nor face or highlight coloured, as a disabled button shows it. The white
// of our pictures counts as highlight even where the palette's is darker, so
// a dark palette still shows the inner lines.
QImage ShapeOf(const QImage& image, const CToolBarEx::Colours& c, const QColor& paint) {
  QImage src = image.convertToFormat(QImage::Format_ARGB32);
  QImage shape(src.size(), QImage::Format_ARGB32);
  shape.setDevicePixelRatio(image.devicePixelRatio());
  shape.fill(Qt::transparent);
  const QRgb face = c.face.rgb() & RGB_MASK;
  const QRgb highlight = c.highlight.rgb() & RGB_MASK;
  for (int y = 0; y < src.height(); ++y) {
    const QRgb* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
    QRgb* out = reinterpret_cast<QRgb*>(shape.scanLine(y));
    for (int x = 0; x < src.width(); ++x) {
      if (qAlpha(in[x]) < 128) continue;
      const QRgb rgb = in[x] & RGB_MASK;
      if (rgb == face || rgb == highlight || qGray(rgb) >= kWhiteGray) continue;
      out[x] = paint.rgb();
    }
  }
  return shape;
}

const CToolBarEx* FlatBarOf(const QWidget* w) {
  for (int up = 0; w && up < 2; ++up, w = w->parentWidget()) {
    if (auto* bar = qobject_cast<const CToolBarEx*>(w)) return bar->IsFlat() ? bar : nullptr;
  }
  return nullptr;
}

// Draws the bar, its separators, its gripper and its buttons flat. One
// instance serves every flat bar of the application; the colours come from
// the bar being painted.
class FlatBarStyle : public QProxyStyle {
 public:
  explicit FlatBarStyle(QStyle* base) : QProxyStyle(base) {}

  static FlatBarStyle* Instance() {
    static QPointer<FlatBarStyle> instance;
    if (!instance) {
      QStyle* base = QStyleFactory::create(QApplication::style()->name());
      instance = new FlatBarStyle(base);
      instance->setParent(qApp);  // lives as long as the widgets that use it
    }
    return instance;
  }

  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    if (FlatBarOf(widget)) {
      if (metric == PM_ToolBarHandleExtent) return kGripperExtent;
      if (metric == PM_ToolBarSeparatorExtent) return kSeparatorExtent;
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
  }

  void drawControl(ControlElement element, const QStyleOption* option, QPainter* p,
                   const QWidget* widget) const override {
    const CToolBarEx* bar = element == CE_ToolBar ? FlatBarOf(widget) : nullptr;
    if (!bar) return QProxyStyle::drawControl(element, option, p, widget);
    const CToolBarEx::Colours& c = bar->colours();
    const QRect r = option->rect;
    p->fillRect(r, c.face);
    if (bar->isWindow()) return;  // a floating bar gets the standard frame around it
    // Flat 1-pixel borders: lit towards the menu, shaded towards the panes.
    if (bar->orientation() == Qt::Horizontal) {
      p->fillRect(QRect(r.left(), r.top(), r.width(), 1), c.highlight);
      p->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), c.shadow);
    } else {
      p->fillRect(QRect(r.left(), r.top(), 1, r.height()), c.highlight);
      p->fillRect(QRect(r.right(), r.top(), 1, r.height()), c.shadow);
    }
  }

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* p,
                     const QWidget* widget) const override {
    const CToolBarEx* bar = nullptr;
    if (element == PE_IndicatorToolBarHandle || element == PE_IndicatorToolBarSeparator)
      bar = FlatBarOf(widget);
    if (!bar) return QProxyStyle::drawPrimitive(element, option, p, widget);
    if (element == PE_IndicatorToolBarHandle)
      DrawGripper(*bar, option, p);
    else
      DrawSeparator(*bar, option, p);
  }

  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* p,
                          const QWidget* widget) const override {
    const CToolBarEx* bar = control == CC_ToolButton ? FlatBarOf(widget) : nullptr;
    const auto* button = qstyleoption_cast<const QStyleOptionToolButton*>(option);
    const auto* tool = qobject_cast<const QToolButton*>(widget);
    const bool with_menu =
        button &&
        (button->features & (QStyleOptionToolButton::Menu | QStyleOptionToolButton::HasMenu));
    if (!bar || !button || !tool || with_menu || !bar->IsButton(tool))
      return QProxyStyle::drawComplexControl(control, option, p, widget);
    DrawButton(*bar, *button, p, bar->IsHot(widget), widget);
  }

 private:
  static void DrawGripper(const CToolBarEx& bar, const QStyleOption* option, QPainter* p) {
    if (bar.isFloating()) return;  // a floating bar has no gripper
    const CToolBarEx::Colours& c = bar.colours();
    const QRect r = option->rect;
    if (option->state & State_Horizontal) {
      const int x = r.left() + (r.width() - 6) / 2;
      const QRect first(x, r.top() + 3, 3, r.height() - 6);
      Draw3dRect(*p, first, c.highlight, c.shadow);
      Draw3dRect(*p, first.translated(3, 0), c.highlight, c.shadow);
    } else {
      const int y = r.top() + (r.height() - 6) / 2;
      const QRect first(r.left() + 3, y, r.width() - 6, 3);
      Draw3dRect(*p, first, c.highlight, c.shadow);
      Draw3dRect(*p, first.translated(0, 3), c.highlight, c.shadow);
    }
  }

  static void DrawSeparator(const CToolBarEx& bar, const QStyleOption* option, QPainter* p) {
    const CToolBarEx::Colours& c = bar.colours();
    const QRect r = option->rect;
    if (option->state & State_Horizontal) {
      // A separator of a horizontal bar: an etched line from top to bottom.
      if (r.width() > kMaxDrawnSeparator) return;
      const int x = r.left() + r.width() / 2 - 1;
      p->fillRect(QRect(x, r.top(), 1, r.height()), c.shadow);
      p->fillRect(QRect(x + 1, r.top(), 1, r.height()), c.highlight);
    } else {
      if (r.height() > kMaxDrawnSeparator) return;
      const int y = r.top() + r.height() / 2 - 1;
      p->fillRect(QRect(r.left(), y, r.width(), 1), c.shadow);
      p->fillRect(QRect(r.left(), y + 1, r.width(), 1), c.highlight);
    }
  }

  void DrawButton(const CToolBarEx& bar, const QStyleOptionToolButton& o, QPainter* p, bool hot,
                  const QWidget* widget) const {
    const CToolBarEx::Colours& c = bar.colours();
    const QRect r = o.rect;
    const bool enabled = o.state & State_Enabled;
    const bool sunk = o.state & (State_Sunken | State_On);  // pressed or checked

    if (!enabled) {
      p->fillRect(r, c.face);
    } else if (sunk) {
      p->fillRect(r, hot ? c.face : c.light);
      Draw3dRect(*p, r, c.shadow, c.highlight);
      if (!hot) {
        const QRect inner = r.adjusted(1, 1, -1, -1);
        Draw3dRect(*p, inner, c.face, c.face);
        QBrush dither(c.highlight, Qt::Dense4Pattern);
        p->fillRect(inner.adjusted(1, 1, -1, -1), c.face);
        p->fillRect(inner.adjusted(1, 1, -1, -1), dither);
      }
    } else {
      p->fillRect(r, c.face);
      if (hot) Draw3dRect(*p, r, c.highlight, c.shadow);
    }

    const Qt::ToolButtonStyle text_style = o.toolButtonStyle;
    const bool labelled = text_style == Qt::ToolButtonTextUnderIcon && !o.text.isEmpty();
    if (text_style == Qt::ToolButtonTextOnly || text_style == Qt::ToolButtonTextBesideIcon) {
      // Rare for this bar: leave the content to the standard label drawing.
      QStyleOptionToolButton label = o;
      label.rect = r.adjusted(3, 3, -3, -3);
      if (!enabled) label.palette.setColor(QPalette::ButtonText, c.shadow);
      QProxyStyle::drawControl(CE_ToolButtonLabel, &label, p, widget);
      return;
    }

    const qreal dpr = p->device() ? p->device()->devicePixelRatioF() : 1.0;
    const QPixmap image = o.icon.pixmap(o.iconSize, dpr, QIcon::Normal,
                                        (o.state & State_On) ? QIcon::On : QIcon::Off);
    const QSize image_size = image.isNull() ? QSize(0, 0) : image.deviceIndependentSize().toSize();
    QPoint at(
        r.left() + (r.width() - image_size.width()) / 2,
        labelled ? r.top() + kLabelTopOffset : r.top() + (r.height() - image_size.height()) / 2);
    if (enabled && sunk) at += QPoint(1, 1);

    if (!image.isNull()) {
      if (enabled) {
        p->drawPixmap(at, image);
      } else {
        const QImage source = image.toImage();
        p->drawImage(at + QPoint(1, 1), ShapeOf(source, c, c.highlight));
        p->drawImage(at, ShapeOf(source, c, c.shadow));
      }
    }
    if (labelled) {
      const QRect text_rect(r.left(), at.y() + image_size.height() + 1, r.width(),
                            r.bottom() - (at.y() + image_size.height()));
      p->setFont(o.font);
      if (!enabled) {
        p->setPen(c.highlight);
        p->drawText(text_rect.translated(1, 1), Qt::AlignHCenter | Qt::AlignTop, o.text);
        p->setPen(c.shadow);
      } else {
        p->setPen(o.palette.color(QPalette::ButtonText));
      }
      p->drawText(text_rect, Qt::AlignHCenter | Qt::AlignTop, o.text);
    }
  }
};

// Qt shows a button's text as its tool tip when the action has none of its
// own; this bar shows only tool tips that were set explicitly.
QString DerivedToolTip(const QAction& action) {
  QString s = action.text().isEmpty() ? action.iconText() : action.text();
  s.remove(QStringLiteral("..."));
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (s.at(i) == u'&') s.remove(i, 1);
  }
  return s.trimmed();
}

}  // namespace

CToolBarEx::CToolBarEx(QWidget* parent) : QToolBar(parent) {
  EnsurePictures();
  setIconSize(QSize(32, 32));
  setMouseTracking(true);
  setStyle(FlatBarStyle::Instance());
  hot_timer_.setTimerType(Qt::PreciseTimer);
  hot_timer_.setInterval(kHotTimerMs);
  connect(&hot_timer_, &QTimer::timeout, this, &CToolBarEx::OnHotTimer);
  ReadColours();
}

CToolBarEx::~CToolBarEx() = default;

void CToolBarEx::SetFlat(bool flat) {
  if (flat == flat_) return;
  flat_ = flat;
  if (!flat_) {
    hot_ = -1;
    hot_timer_.stop();
  }
  // Gripper and separator sizes differ between the two looks.
  updateGeometry();
  for (QAction* a : actions()) {
    if (QWidget* w = widgetForAction(a)) w->updateGeometry();
  }
  if (layout()) layout()->invalidate();
  RepaintAll();
}

QWidget* CToolBarEx::ButtonAt(int index) const {
  const QList<QAction*> list = actions();
  if (index < 0 || index >= list.size() || list[index]->isSeparator()) return nullptr;
  return widgetForAction(list[index]);
}

bool CToolBarEx::IsButton(const QWidget* widget) const {
  const auto* tool = qobject_cast<const QToolButton*>(widget);
  QAction* action = tool ? tool->defaultAction() : nullptr;
  return action && !action->isSeparator() && actions().contains(action) &&
         widgetForAction(action) == widget;
}

bool CToolBarEx::IsHot(const QWidget* button) const {
  return button && hot_ >= 0 && ButtonAt(hot_) == button;
}

bool CToolBarEx::event(QEvent* e) {
  if (e->type() == QEvent::MouseMove)
    TrackPointer(static_cast<QMouseEvent*>(e)->globalPosition().toPoint());
  return QToolBar::event(e);
}

void CToolBarEx::actionEvent(QActionEvent* e) {
  QToolBar::actionEvent(e);
  if (e->type() == QEvent::ActionAdded) AdoptItemWidget(e->action());
  if (e->type() == QEvent::ActionRemoved || e->type() == QEvent::ActionAdded) {
    // Indices after the change point elsewhere now.
    if (hot_ >= 0) {
      hot_ = -1;
      RepaintAll();
    }
  }
}

void CToolBarEx::AdoptItemWidget(QAction* action) {
  QWidget* w = widgetForAction(action);
  if (!w) return;
  if (!action->isSeparator() && !qobject_cast<QToolButton*>(w)) return;  // a caller's own widget
  w->setStyle(FlatBarStyle::Instance());
  if (!action->isSeparator()) {
    w->setMouseTracking(true);
    w->installEventFilter(this);
  }
}

bool CToolBarEx::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::MouseMove && IsButton(qobject_cast<QWidget*>(watched))) {
    TrackPointer(static_cast<QMouseEvent*>(e)->globalPosition().toPoint());
  } else if (e->type() == QEvent::ToolTip) {
    auto* button = qobject_cast<QToolButton*>(watched);
    QAction* action = button ? button->defaultAction() : nullptr;
    if (action && action->toolTip() == DerivedToolTip(*action)) {
      QToolTip::hideText();
      e->ignore();
      return true;
    }
  }
  return QToolBar::eventFilter(watched, e);
}

void CToolBarEx::changeEvent(QEvent* e) {
  QToolBar::changeEvent(e);
  if (e->type() == QEvent::PaletteChange || e->type() == QEvent::StyleChange) {
    ReadColours();
    RepaintAll();
  }
}

// Hot tracking follows the pointer only while the bar's window (or the main
// window a floating bar belongs to) is the active one and accepts input.
bool CToolBarEx::WindowTakesPointer() const {
  QWidget* active = QApplication::activeWindow();
  if (!active) return false;
  QWidget* own = window();
  QWidget* owner = (isWindow() && parentWidget()) ? parentWidget()->window() : own;
  if (!owner->isEnabled() || !own->isEnabled()) return false;
  // The active window may also be one the owner opened.
  for (QWidget* w = active; w;) {
    if (w == own || w == owner) return true;
    QWidget* up = w->parentWidget();
    w = up ? up->window() : nullptr;
  }
  return false;
}

void CToolBarEx::TrackPointer(const QPoint& global_pos) {
  if (!flat_ || !WindowTakesPointer()) return;
  const QPoint local = mapFromGlobal(global_pos);
  const QList<QAction*> list = actions();
  int hot = -1;
  for (int i = 0; i < list.size(); ++i) {
    QAction* a = list[i];
    if (a->isSeparator() || !a->isEnabled() || !a->isVisible()) continue;
    const QWidget* w = widgetForAction(a);
    if (w && w->isVisible() && w->isEnabled() && w->geometry().contains(local)) {
      hot = i;
      break;
    }
  }
  if (hot != hot_) {
    const int old = hot_;
    hot_ = hot;
    RepaintButton(old);
    RepaintButton(hot_);
  }
  hot_timer_.start();
}

bool CToolBarEx::PointerOverBar() const {
  // underMouse() follows Qt's enter and leave events, which also arrive where
  // the pointer position is not known outside our windows.
  return underMouse() && rect().contains(mapFromGlobal(QCursor::pos()));
}

void CToolBarEx::OnHotTimer() {
  if (hot_ >= 0 && !PointerOverBar()) {
    const int old = hot_;
    hot_ = -1;
    RepaintButton(old);
  }
  if (hot_ < 0) hot_timer_.stop();
}

void CToolBarEx::RepaintButton(int index) {
  if (QWidget* w = ButtonAt(index)) w->update();
}

void CToolBarEx::ReadColours() {
  const QPalette& pal = palette();
  colours_.face = pal.color(QPalette::Button);
  colours_.highlight = pal.color(QPalette::Light);
  colours_.shadow = pal.color(QPalette::Dark);
  colours_.light = pal.color(QPalette::Midlight);
}

void CToolBarEx::RepaintAll() {
  update();
  for (QAction* a : actions()) {
    if (QWidget* w = widgetForAction(a)) w->update();
  }
}

}  // namespace tvx::ui
