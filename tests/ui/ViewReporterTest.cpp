// Workers reach the views only through the dispatcher, which carries every
// report onto the user-interface thread and waits for it.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QEventLoop>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/RecordingReporter.h"
#include "ui/DialogDriver.h"
#include "ui/model/ShownList.h"
#include "ui/views/BusyAnimation.h"
#include "ui/views/DnldList.h"
#include "ui/views/ListPanel.h"
#include "ui/views/StatusView.h"
#include "ui/views/ViewReporter.h"
#include "workers/WorkerControl.h"

namespace tvx::ui {
namespace {

class ViewReporterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.OnInitialUpdate();
    list.InsertTopRow("http://a/1.jpg", "Ready for download");
    list.InsertTopRow("http://a/2.jpg", "Ready for download");
  }
  CListPanel list;
  CStatusView status;
  CDnldList tree;
  CViewReporter reporter{&list, &status, &tree, nullptr};
  CQtUiDispatcher dispatcher;
};

TEST_F(ViewReporterTest, ReportsFromAWorkerThreadRunOnTheUserInterfaceThread) {
  test::MessageAnswers answers;
  std::atomic<bool> done{false};
  std::atomic<bool> allOnGuiThread{true};
  QThread* gui = QThread::currentThread();
  std::thread worker([&] {
    auto onUi = [&](const std::function<void()>& work) {
      dispatcher.Run([&] {
        if (QThread::currentThread() != gui) allOnGuiThread = false;
        work();
      });
    };
    onUi([&] { reporter.SetRowStatus(1, "Downloading...1.00k read"); });
    onUi([&] { reporter.SetStatusText(StatusField::LastAction, "Download ended"); });
    onUi([&] { reporter.StartBusy(); });
    ProjectNode node = 0;
    onUi([&] { node = reporter.FindOrAddProject("Cats"); });
    onUi([&] { reporter.AddFile(node, "Pictures\\Cats\\a.jpg"); });
    onUi([&] { reporter.DeleteRow(0); });
    onUi([&] { reporter.AddTopRow("http://a/3.jpg", "Ready for download"); });
    onUi([&] { reporter.ShowMessage("Unable to connect"); });
    onUi([&] { reporter.StopBusy(); });
    done = true;
  });
  // The worker waits for each report, so the loop must keep running here.
  QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
  worker.join();

  EXPECT_TRUE(allOnGuiThread.load());
  ASSERT_EQ(list.RowCount(), 2);
  EXPECT_EQ(list.RowText(0, 0), "http://a/3.jpg");
  EXPECT_EQ(list.RowText(1, 1), "Downloading...1.00k read");
  EXPECT_EQ(status.LastAction(), "Download ended");
  EXPECT_FALSE(status.Busy()->IsPlaying());
  ASSERT_EQ(tree.topLevelItemCount(), 1);
  EXPECT_EQ(tree.topLevelItem(0)->text(0), "Cats");
  EXPECT_EQ(tree.topLevelItem(0)->child(0)->text(0), "Pictures/Cats/a.jpg");
  EXPECT_EQ(answers.texts, QStringList{"Unable to connect"});
}

TEST_F(ViewReporterTest, OnTheUserInterfaceThreadTheWorkRunsAtOnce) {
  bool ran = false;
  dispatcher.Run([&] { ran = true; });
  EXPECT_TRUE(ran);
}

// A worker names its item; the window's ShownList finds the item's row.
TEST_F(ViewReporterTest, EngineWorkersReportThroughTheInstalledUi) {
  RecordList<FileRecord>& files = test::E().lists.requestedFiles;
  const ItemId first = files.AddUrl("http://a/1.jpg");  // row 1
  files.AddUrl("http://a/2.jpg");                       // row 0
  ShownList shown(test::E().lists, reporter);
  test::E().SetUi(&shown, &dispatcher);
  std::atomic<int> step{0};
  const ItemRef item{kListRequestedFiles, first};
  auto handle = test::E().workers.Launch(
      test::E(), WorkerKind::File, item, "http://a/1.jpg", kFileStack, [&](WorkerEnv& env) {
        env.OnUi([&] { env.reporter.ItemStatus(env.Item(), "Stopped"); });
        env.OnUi([&] { env.reporter.SetStatusText(StatusField::Status, "Success"); });
        step = 1;
      });
  ASSERT_NE(handle, nullptr);
  QTRY_VERIFY_WITH_TIMEOUT(step.load() == 1 && test::E().workers.Live() == 0, 10000);
  test::E().SetUi(nullptr, nullptr);
  EXPECT_EQ(list.RowText(1, 1), "Stopped");
  EXPECT_EQ(status.Status(), "Success");
  EXPECT_EQ(test::E().workers.Find(WorkerKind::File, first), nullptr);
}

// The program is ending and its thread runs no more events: a worker waiting
// for it goes on, running its work itself, and so does every later one.
TEST_F(ViewReporterTest, AClosedDispatcherLetsWaitingWorkersRunTheirWork) {
  std::atomic<bool> waiting{false};
  std::atomic<int> ran{0};
  std::thread worker([&] {
    waiting = true;
    dispatcher.Run([&] {
      EXPECT_TRUE(dispatcher.IsUiThread());
      ++ran;
    });
    dispatcher.Run([&] { ++ran; });
  });
  // This thread processes no events meanwhile: the work cannot reach it.
  while (!waiting.load()) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(ran.load(), 0);
  dispatcher.Close();
  worker.join();
  EXPECT_EQ(ran.load(), 2);
  // The queued copy finds its work taken and does nothing.
  QCoreApplication::processEvents();
  EXPECT_EQ(ran.load(), 2);
}

// How often the thread has gone to sleep and been woken since it started.
long VoluntarySwitches(long tid) {
  std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
  const std::string key = "voluntary_ctxt_switches:";
  for (std::string line; std::getline(status, line);)
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
  return -1;
}

bool Sleeping(long tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string all;
  std::getline(stat, all);
  // The state follows the name, which is in parentheses.
  const auto close = all.rfind(')');
  return close != std::string::npos && close + 2 < all.size() && all[close + 2] == 'S';
}

// Several workers wait at once when the program ends: each gets its own work
// back and runs it once; the copies queued for the window do nothing.
TEST_F(ViewReporterTest, ClosingHandsEveryWaitingWorkerItsOwnWork) {
  constexpr int kWorkers = 4;
  std::vector<std::atomic<long>> tids(kWorkers);
  std::vector<std::atomic<int>> ran(kWorkers);
  std::vector<std::thread> workers;
  for (int i = 0; i < kWorkers; ++i)
    workers.emplace_back([&, i] {
      tids[i] = static_cast<long>(::syscall(SYS_gettid));
      dispatcher.Run([&, i] { ++ran[i]; });
    });
  // Each is asleep, waiting for the window.
  for (int i = 0; i < kWorkers; ++i)
    while (tids[i].load() == 0 || !Sleeping(tids[i].load())) std::this_thread::yield();
  dispatcher.Close();
  for (std::thread& worker : workers) worker.join();
  QCoreApplication::processEvents();
  for (int i = 0; i < kWorkers; ++i) EXPECT_EQ(ran[i].load(), 1) << "worker " << i;
}

// Finishing one worker's report wakes that worker only: a worker whose own
// report is still on the window's thread (here a message box's loop, during
// which other reports go on) sleeps through all of them. Waking every waiting
// worker for each report kept 50 workers busy and the window waiting for them.
TEST_F(ViewReporterTest, AReportThatIsDoneWakesOnlyTheWorkerThatMadeIt) {
  constexpr int kReports = 200;
  std::atomic<long> boxTid{0};
  std::atomic<bool> reportsDone{false};
  long switchesBefore = -1;
  long switchesAfter = -1;
  std::thread boxWorker([&] {
    boxTid = static_cast<long>(::syscall(SYS_gettid));
    dispatcher.Run([&] {
      // The box's own loop, as ShowMessage runs one.
      QEventLoop box;
      QTimer::singleShot(0, &box, [&] {
        while (!Sleeping(boxTid.load())) std::this_thread::yield();
        switchesBefore = VoluntarySwitches(boxTid.load());
        std::thread reporter([&] {
          for (int i = 0; i < kReports; ++i) dispatcher.Run([] {});
          reportsDone = true;
        });
        while (!reportsDone.load()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        reporter.join();
        switchesAfter = VoluntarySwitches(boxTid.load());
        box.quit();
      });
      box.exec();
    });
  });
  QTRY_VERIFY_WITH_TIMEOUT(switchesAfter >= 0, 60000);
  boxWorker.join();
  ASSERT_GE(switchesBefore, 0);
  EXPECT_LT(switchesAfter - switchesBefore, kReports / 10);
}

TEST(ViewReporterGone, ReportsAfterTheViewsAreGoneDoNothing) {
  auto* list = new CListPanel;
  auto* status = new CStatusView;
  auto* tree = new CDnldList;
  CViewReporter reporter(list, status, tree, nullptr);
  delete list;
  delete status;
  delete tree;
  reporter.SetRowStatus(0, "x");
  EXPECT_FALSE(reporter.AddTopRow("x", "y"));
  reporter.SetStatusText(StatusField::Status, "x");
  reporter.StartBusy();
  EXPECT_EQ(reporter.FindOrAddProject("x"), 0);
  reporter.AddFile(1, "x");
}

}  // namespace
}  // namespace tvx::ui
