// How long the window stops answering while workers run: the real main
// window (offscreen), file and crawl workers fetching from a loopback server
// at full speed, and a user who keeps switching lists and clicking rows. A
// zero-interval timer on the user-interface thread records every gap between
// two of its runs; the stalls are counted per frame of a 60 Hz screen (16.7
// ms, StallMeter.h): max_stall_ms is the longest, p99_stall_ms the stall 99 %
// of the frames stay within, over every frame of all loaded rounds
// (frames=); the idle figures likewise over the idle rounds. Each
// pair of rounds runs the same user once with the workers and once without
// them (the peer), interleaved.
//
//   bench_window BASE_URL FILES CRAWLS SECONDS PAIRS
//
// BASE_URL serves big0.jpg .. big<FILES-1>.jpg and site/index.html; the
// program runs in the current folder, which it fills with Pictures.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "StallMeter.h"
#include "commands/CommandIds.h"
#include "engine/Engine.h"
#include "store/Lists.h"
#include "ui/MessageBox.h"
#include "ui/frame/MainFrame.h"
#include "ui/views/ListPanel.h"
#include "ui/views/TreePanel.h"
#include "workers/WorkerControl.h"

namespace {

using namespace tvx;
using namespace tvx::ui;

struct Stalls {
  double maxMs = 0;
  double p99Ms = 0;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

// The window's own event loop, as the program runs it. (QTest::qWait would
// sleep between its rounds of events, and those sleeps would count as stalls.)
void RunEventLoop(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// A left click as the window system delivers it.
void Click(QWidget* widget, QPoint at) {
  const QPointF local(at), global(widget->mapToGlobal(at));
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, {});
  QApplication::sendEvent(widget, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, {}, {});
  QApplication::sendEvent(widget, &release);
}

Engine& TheEngine() {
  static Engine engine;
  return engine;
}

void EmptyLists() {
  for (int kind = kListRequestedFiles; kind <= kListSearchResults; ++kind)
    WithList(TheEngine().lists, kind, [](auto& list) {
      while (list.GetCount() > 0) list.RemoveAt(list.GetCount() - 1);
    });
}

void FillLists(const std::string& base, int files, int crawls) {
  for (int i = 0; i < files; ++i)
    TheEngine().lists.requestedFiles.AddUrl(base + "/big" + std::to_string(i) + ".jpg");
  for (int i = 0; i < crawls; ++i) {
    SiteProject p{};
    SetText(p.name, "Site " + std::to_string(i));
    SetText(p.startUrl, base + "/site/index.html");
    p.downloadAllFiles = 1;
    p.runWhenRequested = p.stopWhenRequested = 1;
    SetText(p.status, kReadyForDownload);
    TheEngine().lists.requestedSites.Add(p);
  }
}

void StartAll(CMainFrame& frame, const char* list) {
  frame.TreePanel()->SwitchTo(QString::fromLatin1(list));
  CListPanel* panel = frame.ListPanel();
  panel->clearSelection();
  for (int row = 0; row < panel->RowCount(); ++row) panel->SetRowSelected(row, true);
  frame.RouteCommand(kCmdDownloadSelected);
}

// Every worker is told to stop and let go; the window keeps running meanwhile.
void StopAll() {
  Workers& workers = TheEngine().workers;
  workers.RequestStopAll();
  if (!QTest::qWaitFor([&] { return workers.Live() == 0; }, 60000))
    std::fprintf(stderr, "bench window: %d workers did not stop\n", workers.Live());
}

// One round: the user works for `seconds` while the probe measures; with
// workers started first when `loaded`. Its frames are counted in `run` too.
Stalls Round(CMainFrame& frame, const std::string& base, int files, int crawls, double seconds,
             bool loaded, int* peakWorkers, std::mt19937& random, FrameStallMeter& run) {
  EmptyLists();
  FillLists(base, files, crawls);
  frame.TreePanel()->SwitchTo(QStringLiteral("Search Results"));
  if (loaded) {
    StartAll(frame, "Files");
    StartAll(frame, "Web Sites");
  }

  // Large (a histogram): kept off the stack.
  auto stalls = std::make_unique<FrameStallMeter>();
  QElapsedTimer clock;
  QTimer probe;
  probe.setInterval(0);
  QObject::connect(&probe, &QTimer::timeout,
                   [&] { stalls->Ran(static_cast<double>(clock.nsecsElapsed()) / 1e6); });

  const char* lists[] = {
      "Files",         "Web Sites", "Search Projects", "Downloaded Files", "Downloaded Sites",
      "Search Results"};
  QTimer user;
  user.setInterval(30);
  QObject::connect(&user, &QTimer::timeout, [&] {
    *peakWorkers = std::max(*peakWorkers, TheEngine().workers.Live());
    frame.TreePanel()->SwitchTo(QString::fromLatin1(lists[random() % 6]));
    CListPanel* panel = frame.ListPanel();
    if (panel->RowCount() == 0) return;
    QTreeWidgetItem* item =
        panel->topLevelItem(static_cast<int>(random() % static_cast<unsigned>(panel->RowCount())));
    panel->scrollToItem(item);
    Click(panel->viewport(), panel->visualItemRect(item).center());
  });

  clock.start();
  probe.start();
  user.start();
  RunEventLoop(static_cast<int>(seconds * 1000));
  user.stop();
  probe.stop();
  StopAll();
  std::error_code ignored;
  std::filesystem::remove_all("Pictures", ignored);
  stalls->Finish();
  run.Merge(*stalls);
  return {stalls->MaxMs(), stalls->QuantileMs(0.99)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: bench_window BASE_URL FILES CRAWLS SECONDS PAIRS\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string base = argv[1];
  const int files = std::atoi(argv[2]);
  const int crawls = std::atoi(argv[3]);
  const double seconds = std::atof(argv[4]);
  const int pairs = std::atoi(argv[5]);

  // A box would hold the window until someone answers it.
  int boxes = 0;
  SetMessageBoxHook([&boxes](const QString&, QMessageBox::StandardButtons) {
    ++boxes;
    return int(QMessageBox::Ok);
  });

  CMainFrame frame(TheEngine());
  frame.OnInitialUpdate();
  frame.resize(1024, 768);
  frame.show();
  if (!QTest::qWaitForWindowExposed(&frame)) std::fprintf(stderr, "bench window: no window\n");

  std::mt19937 random(11);
  std::vector<double> ratios;
  auto loadedRun = std::make_unique<FrameStallMeter>();
  auto idleRun = std::make_unique<FrameStallMeter>();
  int peak = 0;
  for (int pair = 0; pair < pairs; ++pair) {
    // Alternate which of the two goes first.
    Stalls loaded, idle;
    int idlePeak = 0;
    for (int half = 0; half < 2; ++half) {
      if ((pair + half) % 2 == 0)
        loaded = Round(frame, base, files, crawls, seconds, true, &peak, random, *loadedRun);
      else
        idle = Round(frame, base, files, crawls, seconds, false, &idlePeak, random, *idleRun);
    }
    std::printf("pair %d: loaded max %.1f ms p99 %.2f ms; idle max %.1f ms p99 %.2f ms\n", pair + 1,
                loaded.maxMs, loaded.p99Ms, idle.maxMs, idle.p99Ms);
    std::fflush(stdout);
    ratios.push_back(idle.maxMs > 0 ? loaded.maxMs / idle.maxMs : 0);
  }
  if (boxes) std::printf("message boxes answered: %d\n", boxes);
  std::printf(
      "bench window: workers=%d max_stall_ms=%.1f p99_stall_ms=%.2f p99_over=frames_of_16.7ms "
      "frames=%llu idle_max_stall_ms=%.1f idle_p99_stall_ms=%.2f max_ratio=%.2f pairs=%d\n",
      peak, loadedRun->MaxMs(), loadedRun->QuantileMs(0.99),
      static_cast<unsigned long long>(loadedRun->Frames()), idleRun->MaxMs(),
      idleRun->QuantileMs(0.99), Median(ratios), pairs);
  std::fflush(stdout);
  SetMessageBoxHook({});
  // Workers are all gone; the window goes with the process.
  std::_Exit(0);
}
