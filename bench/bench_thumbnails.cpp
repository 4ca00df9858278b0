// bench thumbnails: the real downloaded-files tree (offscreen) holding
// PICTURES saved pictures, pointed at one after another as a user sweeping
// down the list would, with a cold thumbnail cache. A zero-interval timer on
// the user-interface thread records every gap between its turns: the longest
// gap is the longest the window could not answer; p99_stall_ms is over the
// frames of a 60 Hz screen (16.7 ms), each counting the longest gap that
// overlapped it (StallMeter.h). With the argument "plain"
// the same sweep runs over a plain tree of the same items whose tooltips are
// their texts: the peer, a tree that makes no thumbnails.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "StallMeter.h"
#include "ui/views/DnldList.h"
#include "ui/views/Thumbnails.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir work;
  qputenv("XDG_CACHE_HOME", (work.path() + "/cache").toUtf8());
  QApplication app(argc, argv);
  QDir::setCurrent(work.path());
  const int pictures = qEnvironmentVariableIntValue("PICTURES") > 0
                           ? qEnvironmentVariableIntValue("PICTURES")
                           : 2000;
  const int hoverMs =
      qEnvironmentVariableIsSet("HOVER_MS") ? qEnvironmentVariableIntValue("HOVER_MS") : 20;

  // Camera-sized JPEGs, each a little different.
  QDir().mkpath("Pictures/proj");
  QImage base(1600, 1200, QImage::Format_RGB32);
  const bool plain = argc > 1 && QString::fromLatin1(argv[1]) == QStringLiteral("plain");
  tvx::ui::CDnldList thumbTree;
  QTreeWidget plainTree;
  QTreeWidget& tree = plain ? plainTree : thumbTree;
  thumbTree.OnInitialUpdate();
  const tvx::ProjectNode node = thumbTree.FindOrAddProject("proj");
  auto* plainProject = new QTreeWidgetItem(&plainTree, {QStringLiteral("proj")});
  for (int i = 0; i < pictures; ++i) {
    base.fill(QColor::fromHsv(i * 37 % 360, 160, 200));
    QPainter(&base).drawText(40, 80, QString::number(i));
    const QString name = QStringLiteral("pic%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
    base.save("Pictures/proj/" + name, "JPEG", 85);
    const QString shown = "Pictures/proj/" + name;
    if (plain) {
      auto* item = new QTreeWidgetItem(plainProject, {shown});
      item->setToolTip(0, shown);
    } else {
      thumbTree.AddFile(node, shown);
    }
  }
  tree.resize(400, 700);
  tree.show();
  QTreeWidgetItem* project = tree.topLevelItem(0);

  // Per frame of a 60 Hz screen (StallMeter.h); large, so off the stack.
  auto stalls = std::make_unique<FrameStallMeter>();
  double worst = 0;
  int worstAt = -1;
  int next = 0;
  QElapsedTimer clock;
  clock.start();
  qint64 last = clock.nsecsElapsed();
  QTimer ticker;
  ticker.setInterval(0);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    const double gap = static_cast<double>(now - last) / 1e6;
    stalls->Ran(static_cast<double>(now) / 1e6);
    if (gap > worst) {
      worst = gap;
      worstAt = next;
    }
    last = now;
  });

  QTimer hover;
  hover.setInterval(hoverMs);
  QObject::connect(&hover, &QTimer::timeout, [&] {
    if (next >= pictures) {
      hover.stop();
      ticker.stop();
      QApplication::quit();
      return;
    }
    QTreeWidgetItem* item = project->child(next++);
    tree.scrollToItem(item);
    const QPoint at = tree.visualItemRect(item).center();
    QHelpEvent event(QEvent::ToolTip, at, tree.viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree.viewport(), &event);
  });
  last = clock.nsecsElapsed();
  stalls->Ran(static_cast<double>(last) / 1e6);
  ticker.start();
  hover.start();
  QApplication::exec();

  stalls->Finish();
  std::printf(
      "%s: pictures=%d hover_ms=%d max_stall_ms=%.1f p99_stall_ms=%.2f frames=%llu "
      "worst_after_hover=%d\n",
      plain ? "plain" : "thumbnails", pictures, hoverMs, stalls->MaxMs(), stalls->QuantileMs(0.99),
      static_cast<unsigned long long>(stalls->Frames()), worstAt);
  return 0;
}
