// bench thumbnails: the real downloaded-files tree (offscreen) holding
// PICTURES saved pictures, pointed at one after another as a user sweeping
// down the list would, with a cold thumbnail cache. A zero-interval timer on
// the user-interface thread records every gap between its turns: the longest
// gap is the longest the window could not answer.
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
#include <vector>

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
  tvx::ui::CDnldList tree;
  tree.OnInitialUpdate();
  const tvx::ProjectNode node = tree.FindOrAddProject("proj");
  for (int i = 0; i < pictures; ++i) {
    base.fill(QColor::fromHsv(i * 37 % 360, 160, 200));
    QPainter(&base).drawText(40, 80, QString::number(i));
    const QString name = QStringLiteral("pic%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
    base.save("Pictures/proj/" + name, "JPEG", 85);
    tree.AddFile(node, "Pictures\\proj\\" + name);
  }
  tree.resize(400, 700);
  tree.show();
  QTreeWidgetItem* project = tree.topLevelItem(0);

  std::vector<double> gaps;
  double worst = 0;
  int worstAt = -1;
  int next = 0;
  gaps.reserve(1 << 20);
  QElapsedTimer clock;
  clock.start();
  qint64 last = clock.nsecsElapsed();
  QTimer ticker;
  ticker.setInterval(0);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    const double gap = (now - last) / 1e6;
    gaps.push_back(gap);
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
  ticker.start();
  hover.start();
  QApplication::exec();

  std::sort(gaps.begin(), gaps.end());
  const double maxStall = gaps.empty() ? 0 : gaps.back();
  const double p99 = gaps.empty() ? 0 : gaps[std::min(gaps.size() - 1, gaps.size() * 99 / 100)];
  std::printf(
      "bench thumbnails: pictures=%d hover_ms=%d max_stall_ms=%.1f p99_stall_ms=%.2f "
      "worst_after_hover=%d\n",
      pictures, hoverMs, maxStall, p99, worstAt);
  return 0;
}
