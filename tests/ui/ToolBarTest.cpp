// The flat toolbar, checked on what it paints: the pointer is moved with
// QCursor::setPos, which the platform turns into the mouse moves and the
// enter and leave events a real pointer causes.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QPaintEvent>
#include <QPalette>
#include <QTest>
#include <QToolTip>
#include <map>
#include <memory>

#include "ui/toolbar/Pictures.h"
#include "ui/toolbar/ToolBarEx.h"

namespace tvx::ui {
namespace {

// Counts the paint events each watched widget receives and the area painted.
class PaintCounter : public QObject {
 public:
  void Watch(QWidget* w) { w->installEventFilter(this); }
  int Count(QObject* w) const {
    auto it = counts_.find(w);
    return it == counts_.end() ? 0 : it->second;
  }
  QRegion Area(QObject* w) const {
    auto it = areas_.find(w);
    return it == areas_.end() ? QRegion() : it->second;
  }
  void Reset() {
    counts_.clear();
    areas_.clear();
  }

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Paint) {
      ++counts_[o];
      areas_[o] += static_cast<QPaintEvent*>(e)->region();
    }
    return false;
  }

 private:
  std::map<QObject*, int> counts_;
  std::map<QObject*, QRegion> areas_;
};

// The bar's colours as painted pixels: palette colours may carry more than
// 8 bits per channel.
struct Rgbs {
  QRgb face, highlight, shadow, light;
};
Rgbs ColoursOf(const CToolBarEx& bar) {
  const CToolBarEx::Colours& c = bar.colours();
  return {c.face.rgb(), c.highlight.rgb(), c.shadow.rgb(), c.light.rgb()};
}

// Lets pending updates reach the screen.
void Settle(int ms = 40) {
  QCoreApplication::processEvents();
  QTest::qWait(ms);
}

// The main window's bar: three add buttons | delete | download, stop,
// properties | about.
class ToolBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<QMainWindow>();
    bar_ = new CToolBarEx(window_.get());
    const char* names[] = {"addfiles", "addwebsite", "addsearch",  "|", "delete", "|",
                           "download", "stop",       "properties", "|", "about"};
    for (const char* name : names) {
      if (name[0] == '|') {
        bar_->addSeparator();
        continue;
      }
      QAction* a = bar_->addAction(QIcon(QString(":/toolbar/%1.png").arg(name)), name);
      a->setObjectName(name);
    }
    About()->setText("&About Quillanto...");
    About()->setToolTip("About");
    centre_ = new QLabel("panes");
    window_->setCentralWidget(centre_);
    window_->addToolBar(Qt::TopToolBarArea, bar_);
    window_->resize(640, 300);
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    PointAt(centre_, centre_->rect().center());
  }

  void TearDown() override {
    window_.reset();
    QCoreApplication::processEvents();
  }

  QAction* Action(const char* name) const { return bar_->findChild<QAction*>(name); }
  QAction* About() const { return Action("about"); }
  QWidget* Button(const char* name) const { return bar_->widgetForAction(Action(name)); }

  static void PointAt(QWidget* w, QPoint local) {
    QCursor::setPos(w->mapToGlobal(local));
    QCoreApplication::processEvents();
  }
  void PointAt(const char* button) { PointAt(Button(button), Button(button)->rect().center()); }

  // The bar as it paints itself now, and a button's corners within it.
  QImage Grab() const { return bar_->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  QRgb TopLeft(const QImage& img, const char* button) const {
    return img.pixel(Button(button)->geometry().topLeft());
  }
  QRgb BottomRight(const QImage& img, const char* button) const {
    return img.pixel(Button(button)->geometry().bottomRight());
  }
  bool Raised(const QImage& img, const char* button) const {
    const Rgbs c = ColoursOf(*bar_);
    return TopLeft(img, button) == c.highlight && BottomRight(img, button) == c.shadow;
  }
  bool Flat(const QImage& img, const char* button) const {
    const Rgbs c = ColoursOf(*bar_);
    return TopLeft(img, button) == c.face && BottomRight(img, button) == c.face;
  }

  std::unique_ptr<QMainWindow> window_;
  CToolBarEx* bar_ = nullptr;
  QLabel* centre_ = nullptr;
};

TEST_F(ToolBarTest, MovingToTheNextButtonRepaintsExactlyThoseTwo) {
  PaintCounter paints;
  for (QAction* a : bar_->actions()) paints.Watch(bar_->widgetForAction(a));
  paints.Watch(bar_);

  PointAt("addfiles");
  Settle();
  ASSERT_EQ(bar_->HotButton(), 0);
  paints.Reset();

  PointAt("addwebsite");
  Settle();
  EXPECT_EQ(bar_->HotButton(), 1);
  EXPECT_GE(paints.Count(Button("addfiles")), 1);
  EXPECT_GE(paints.Count(Button("addwebsite")), 1);
  for (QAction* a : bar_->actions()) {
    QWidget* w = bar_->widgetForAction(a);
    if (w == Button("addfiles") || w == Button("addwebsite")) continue;
    EXPECT_EQ(paints.Count(w), 0) << "repainted: " << a->objectName().toStdString();
  }
  // The buttons are not opaque, so the bar paints beneath them: only there.
  const QRegion two = QRegion(Button("addfiles")->geometry()) + Button("addwebsite")->geometry();
  EXPECT_TRUE((paints.Area(bar_) - two).isEmpty());

  const QImage img = Grab();
  EXPECT_TRUE(Flat(img, "addfiles"));
  EXPECT_TRUE(Raised(img, "addwebsite"));

  // Moving within the hot button repaints nothing.
  paints.Reset();
  PointAt(Button("addwebsite"), Button("addwebsite")->rect().center() + QPoint(3, 2));
  Settle();
  EXPECT_EQ(paints.Count(Button("addwebsite")), 0);
  EXPECT_EQ(paints.Count(bar_), 0);
}

TEST_F(ToolBarTest, LeavingTheBarClearsTheHotButtonWithinTheTimerPeriod) {
  PointAt("stop");
  Settle();
  ASSERT_TRUE(Raised(Grab(), "stop"));

  // Straight off the bar, with no move over the bar after the button.
  QElapsedTimer clock;
  clock.start();
  PointAt(centre_, centre_->rect().center());
  ASSERT_TRUE(QTest::qWaitFor([&] { return bar_->HotButton() < 0; }, 2000));
  // Timer period plus room for a busy machine.
  EXPECT_LE(clock.elapsed(), CToolBarEx::kHotTimerMs + 150);
  Settle();
  EXPECT_TRUE(Flat(Grab(), "stop"));
}

TEST_F(ToolBarTest, PointerRestingOnTheBarKeepsTheButtonHot) {
  PointAt("download");
  QTest::qWait(CToolBarEx::kHotTimerMs * 2 + 50);
  EXPECT_TRUE(Raised(Grab(), "download"));
}

TEST_F(ToolBarTest, DisabledButtonNeverShowsARaisedBorder) {
  Action("delete")->setEnabled(false);
  PointAt("delete");
  Settle();
  QImage img = Grab();
  EXPECT_TRUE(Flat(img, "delete"));
  EXPECT_EQ(bar_->HotButton(), -1);

  // Embossed: nothing of the red cross is left, only the bar's own colours.
  const Rgbs c = ColoursOf(*bar_);
  const QRect r = Button("delete")->geometry();
  int shaded = 0;
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) {
      const QRgb px = img.pixel(x, y);
      ASSERT_TRUE(px == c.face || px == c.highlight || px == c.shadow)
          << x << "," << y << " " << std::hex << px;
      shaded += px == c.shadow;
    }
  }
  EXPECT_GT(shaded, 40);  // the shape is still there

  // A hot button that becomes disabled under the pointer drops its border.
  PointAt("stop");
  Settle();
  ASSERT_TRUE(Raised(Grab(), "stop"));
  Action("stop")->setEnabled(false);
  Settle();
  EXPECT_TRUE(Flat(Grab(), "stop"));
  PointAt(Button("stop"), Button("stop")->rect().center() + QPoint(2, 2));
  Settle();
  EXPECT_TRUE(Flat(Grab(), "stop"));
}

TEST_F(ToolBarTest, CheckedButtonIsSunkenAndDitheredAwayFromThePointer) {
  QAction* props = Action("properties");
  props->setCheckable(true);
  props->setChecked(true);
  Settle();
  const Rgbs c = ColoursOf(*bar_);
  QImage img = Grab();
  EXPECT_EQ(TopLeft(img, "properties"), c.shadow);
  EXPECT_EQ(BottomRight(img, "properties"), c.highlight);
  // One pixel in: a face-coloured ring; two in: highlight and face alternate.
  const QPoint tl = Button("properties")->geometry().topLeft();
  EXPECT_EQ(img.pixel(tl + QPoint(1, 1)), c.face);
  const QRgb a = img.pixel(tl + QPoint(2, 2)), b = img.pixel(tl + QPoint(3, 2));
  EXPECT_NE(a, b);
  EXPECT_TRUE((a == c.highlight && b == c.face) || (a == c.face && b == c.highlight));

  // Under the pointer: still sunken, plain face inside.
  PointAt("properties");
  Settle();
  img = Grab();
  EXPECT_EQ(TopLeft(img, "properties"), c.shadow);
  EXPECT_EQ(img.pixel(tl + QPoint(2, 2)), c.face);
  EXPECT_EQ(img.pixel(tl + QPoint(3, 2)), c.face);
}

TEST_F(ToolBarTest, PaletteChangeRepaintsInTheNewColours) {
  PointAt("download");
  Settle();
  PaintCounter paints;
  paints.Watch(bar_);
  paints.Watch(Button("download"));

  const QPalette saved = QApplication::palette();
  QPalette pal = saved;
  pal.setColor(QPalette::Button, qRgb(0x30, 0x60, 0x90));
  pal.setColor(QPalette::Light, qRgb(0xa0, 0xd0, 0xff));
  pal.setColor(QPalette::Dark, qRgb(0x10, 0x20, 0x30));
  pal.setColor(QPalette::Midlight, qRgb(0x50, 0x80, 0xb0));
  QApplication::setPalette(pal);
  Settle();
  // Repainted on its own, before anything grabs it.
  EXPECT_GE(paints.Count(bar_), 1);
  EXPECT_GE(paints.Count(Button("download")), 1);
  const QImage img = Grab();
  QApplication::setPalette(saved);
  Settle();

  EXPECT_EQ(img.pixel(Button("stop")->geometry().topLeft()), qRgb(0x30, 0x60, 0x90));
  EXPECT_EQ(TopLeft(img, "download"), qRgb(0xa0, 0xd0, 0xff));
  EXPECT_EQ(BottomRight(img, "download"), qRgb(0x10, 0x20, 0x30));
  // Back to the old colours afterwards.
  EXPECT_EQ(bar_->colours().face, saved.color(QPalette::Button));
}

TEST_F(ToolBarTest, SeparatorsAreEtchedAndOnlyADockedBarHasAGripper) {
  const Rgbs c = ColoursOf(*bar_);
  QImage img = Grab();
  QWidget* sep = bar_->widgetForAction(bar_->actions().at(3));
  ASSERT_NE(sep, nullptr);
  const QRect s = sep->geometry();
  ASSERT_LE(s.width(), 8);
  const int mid = s.left() + s.width() / 2;
  EXPECT_EQ(img.pixel(mid - 1, s.center().y()), c.shadow);
  EXPECT_EQ(img.pixel(mid, s.center().y()), c.highlight);

  // Two raised bars at the leading edge, before the first button.
  const int y = bar_->height() / 2;
  int edges = 0;
  for (int x = 0; x < Button("addfiles")->x(); ++x) {
    const QRgb px = img.pixel(x, y);
    edges += px == c.highlight || px == c.shadow;
  }
  EXPECT_EQ(edges, 4);

  // Docked on the left: the gripper bars lie one above the other and the
  // separators become horizontal lines.
  window_->addToolBar(Qt::LeftToolBarArea, bar_);
  Settle();
  img = Grab();
  ASSERT_EQ(bar_->orientation(), Qt::Vertical);
  const QRect v = sep->geometry();
  EXPECT_EQ(img.pixel(v.center().x(), v.top() + v.height() / 2 - 1), c.shadow);
  EXPECT_EQ(img.pixel(v.center().x(), v.top() + v.height() / 2), c.highlight);
  edges = 0;
  for (int yy = 0; yy < Button("addfiles")->y(); ++yy) {
    const QRgb px = img.pixel(bar_->width() / 2, yy);
    edges += px == c.highlight || px == c.shadow;
  }
  EXPECT_GE(edges, 4);

  // Dragged off by its gripper the bar floats, without a gripper.
  const QPoint grip(bar_->width() / 2, 4);
  QTest::mousePress(bar_, Qt::LeftButton, {}, grip);
  for (int step = 1; step <= 20; ++step) {
    QTest::mouseMove(bar_, grip + QPoint(step * 12, step * 6));
    QTest::qWait(5);
  }
  QTest::mouseRelease(bar_, Qt::LeftButton, {}, grip + QPoint(240, 120));
  Settle();
  ASSERT_TRUE(bar_->isFloating());
  img = Grab();
  const QRect first = Button("addfiles")->geometry();
  int marks = 0;
  const bool across = bar_->orientation() == Qt::Horizontal;
  for (int i = 2; i < (across ? first.left() : first.top()); ++i) {
    const QRgb px = across ? img.pixel(i, bar_->height() / 2) : img.pixel(bar_->width() / 2, i);
    marks += px == c.highlight || px == c.shadow;
  }
  EXPECT_EQ(marks, 0);
}

TEST_F(ToolBarTest, OnlyAboutShowsAToolTip) {
  auto tip_for = [&](const char* name) {
    QToolTip::hideText();
    QWidget* b = Button(name);
    QHelpEvent help(QEvent::ToolTip, b->rect().center(), b->mapToGlobal(b->rect().center()));
    QApplication::sendEvent(b, &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
  };
  EXPECT_EQ(tip_for("addfiles"), "");
  EXPECT_EQ(tip_for("stop"), "");
  EXPECT_EQ(tip_for("about"), "About");
  QToolTip::hideText();
}

TEST_F(ToolBarTest, PlainDrawingWhenFlatIsOff) {
  bar_->SetFlat(false);
  PointAt("addfiles");
  Settle();
  EXPECT_EQ(bar_->HotButton(), -1);
  bar_->SetFlat(true);
  PointAt("addwebsite");
  Settle();
  EXPECT_TRUE(Raised(Grab(), "addwebsite"));
}

TEST_F(ToolBarTest, NoHotTrackingWhileAnotherWindowIsActive) {
  QWidget other;
  other.resize(100, 100);
  other.move(700, 400);
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  PointAt("addsearch");
  Settle();
  EXPECT_EQ(bar_->HotButton(), -1);
  EXPECT_TRUE(Flat(Grab(), "addsearch"));
}

// Not a check: writes pictures of the bar for a person to look at, when
// TAVRINOX_TOOLBAR_SHOTS names a folder.
TEST_F(ToolBarTest, Pictures) {
  const QString folder = qEnvironmentVariable("TAVRINOX_TOOLBAR_SHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set TAVRINOX_TOOLBAR_SHOTS to write the pictures";
  Action("stop")->setEnabled(false);
  Settle();
  EXPECT_TRUE(Grab().save(folder + "/toolbar-rest.png"));
  PointAt("download");
  Settle();
  EXPECT_TRUE(Grab().save(folder + "/toolbar-hover.png"));
  QTest::mousePress(Button("download"), Qt::LeftButton, {}, Button("download")->rect().center());
  Settle();
  EXPECT_TRUE(Grab().save(folder + "/toolbar-pressed.png"));
  QTest::mouseRelease(Button("download"), Qt::LeftButton, {}, Button("download")->rect().center());
  PointAt("stop");
  Settle();
  EXPECT_TRUE(Grab().save(folder + "/toolbar-disabled-under-pointer.png"));
}

// Every picture the windows ask for is in the program, at its size.
TEST(Pictures, EveryResourceLoadsAtItsSize) {
  const std::pair<const char*, QSize> pictures[] = {
      {":/toolbar/addfiles.png", {32, 32}},    {":/toolbar/addwebsite.png", {32, 32}},
      {":/toolbar/addsearch.png", {32, 32}},   {":/toolbar/delete.png", {32, 32}},
      {":/toolbar/download.png", {32, 32}},    {":/toolbar/stop.png", {32, 32}},
      {":/toolbar/properties.png", {32, 32}},  {":/toolbar/gallery.png", {32, 32}},
      {":/toolbar/about.png", {32, 32}},       {":/bitmaps/startbanner.png", {200, 60}},
      {":/bitmaps/startside.png", {120, 180}},
  };
  for (const auto& [path, size] : pictures) {
    const QPixmap pm = LoadPicture(path);
    EXPECT_FALSE(pm.isNull()) << path;
    EXPECT_EQ(pm.size(), size) << path;
  }
  EXPECT_FALSE(LoadPicture(":/bitmaps/about.png").isNull());
  EXPECT_FALSE(LoadPicture(":/icons/tavrinox.png").isNull());
  EXPECT_TRUE(LoadPicture(":/toolbar/none.png").isNull());
}

}  // namespace
}  // namespace tvx::ui
