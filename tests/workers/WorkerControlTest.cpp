#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <thread>

#include "support/RecordingReporter.h"
#include "workers/WorkerControl.h"

namespace tvx {
namespace {

using test::WaitFor;

// Workers started for test items on the user-interface side.
std::shared_ptr<WorkerHandle> Launch(WorkerKind kind, ItemId id,
                                     std::function<void(WorkerEnv&)> body) {
  return test::E().workers.Launch(test::E(), kind, {ListOfKind(kind), id}, "item", 0,
                                  std::move(body));
}

TEST(WorkerRegistry, FindsByItemAndRemovesTheRightEntry) {
  WorkerRegistry reg;
  auto a = std::make_shared<WorkerHandle>(ItemRef{kListRequestedFiles, 7}, "http://host/a.gif");
  auto b = std::make_shared<WorkerHandle>(ItemRef{kListRequestedFiles, 8}, "http://host/a.gif");
  reg.Add(a);
  reg.Add(b);
  EXPECT_EQ(reg.Find(8), b) << "the same text, another item";
  EXPECT_EQ(reg.Find(9), nullptr);
  EXPECT_TRUE(reg.Remove(a.get()));
  EXPECT_FALSE(reg.Remove(a.get()));
  EXPECT_EQ(reg.Find(7), nullptr);
  EXPECT_EQ(reg.Snapshot(), (std::vector<std::shared_ptr<WorkerHandle>>{b}));
}

TEST(Workers, EntryExistsWhileRunningAndIsRemovedWhateverTheEnding) {
  test::EngineFixture fx;
  std::atomic<bool> release{false};
  auto h = Launch(WorkerKind::Site, 5, [&](WorkerEnv& env) {
    EXPECT_EQ(env.Item(), (ItemRef{kListRequestedSites, 5}));
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(test::E().workers.Find(WorkerKind::Site, 5), h);
  release = true;
  ASSERT_TRUE(test::WaitForWorkers());
  EXPECT_EQ(test::E().workers.Registry(WorkerKind::Site).Count(), 0);
  EXPECT_TRUE(h->Finished());

  // A worker that throws still leaves no entry behind.
  Launch(WorkerKind::Search, 6, [](WorkerEnv&) { throw std::runtime_error("broken"); });
  ASSERT_TRUE(test::WaitForWorkers());
  EXPECT_EQ(test::E().workers.Registry(WorkerKind::Search).Count(), 0);
}

TEST(Workers, PausedWorkerMakesNoProgressUntilResumed) {
  test::EngineFixture fx;
  std::atomic<int> steps{0};
  std::atomic<bool> done{false};
  Launch(WorkerKind::File, 1, [&](WorkerEnv& env) {
    while (!done.load()) {
      env.Checkpoint();
      steps.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  ASSERT_TRUE(WaitFor([&] { return steps.load() > 5; }));
  test::PauseWorker(WorkerKind::File);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  int paused = steps.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_LE(steps.load(), paused + 1) << "at most the step under way completes";
  test::ResumeWorker(WorkerKind::File);
  EXPECT_TRUE(WaitFor([&] { return steps.load() > paused + 5; }));
  done = true;
  EXPECT_TRUE(test::WaitForWorkers());
}

TEST(Workers, BusyAnimationStartsOnceAndStopsOnce) {
  test::EngineFixture fx;
  Launch(WorkerKind::File, 1, [](WorkerEnv& env) {
    env.EnsureBusy();
    env.EnsureBusy();
    env.EndBusy();
    env.EndBusy();
  });
  ASSERT_TRUE(test::WaitForWorkers());
  EXPECT_EQ(fx.reporter.CallsStartingWith("busy start").size(), 1u);
  EXPECT_EQ(fx.reporter.CallsStartingWith("busy stop").size(), 1u);
  EXPECT_FALSE(test::E().workers.busyAnimation.load());
}

}  // namespace
}  // namespace tvx

namespace tvx {
namespace {

// The way out asks every worker to end: a paused one goes on to see it, and
// waiting for them is bounded.
TEST(Workers, StopRequestsReachPausedWorkersAndTheWaitIsBounded) {
  test::EngineFixture fx;
  std::atomic<bool> release{false};
  auto paused = Launch(WorkerKind::File, 1, [](WorkerEnv& env) {
    while (!env.StopRequested()) env.Checkpoint();
  });
  auto stubborn = Launch(WorkerKind::Site, 2, [&](WorkerEnv&) {
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  paused->Gate().Pause();
  test::E().workers.RequestStopAll();
  EXPECT_FALSE(test::E().workers.WaitUntilIdle(std::chrono::milliseconds(50)));
  EXPECT_TRUE(WaitFor([&] { return paused->Finished(); }));
  EXPECT_TRUE(stubborn->StopRequested());
  release = true;
  EXPECT_TRUE(test::E().workers.WaitUntilIdle(std::chrono::seconds(20)));
}

}  // namespace
}  // namespace tvx

namespace tvx {
namespace {

// The thread that made a serial dispatcher is the user-interface thread, and
// so is a worker while it runs work through it.
TEST(ThreadRules, SerialDispatcherKnowsItsUserInterfaceThread) {
  SerialDispatcher dispatcher;
  EXPECT_TRUE(dispatcher.IsUiThread());
  bool outside = true, inside = false, nested = false;
  std::thread other([&] {
    outside = dispatcher.IsUiThread();
    dispatcher.Run([&] {
      inside = dispatcher.IsUiThread();
      dispatcher.Run([&] { nested = dispatcher.IsUiThread(); });
    });
  });
  other.join();
  EXPECT_FALSE(outside);
  EXPECT_TRUE(inside);
  EXPECT_TRUE(nested);
}

// Breaking a rule ends the program with the rule named.
TEST(ThreadRulesDeathTest, BrokenRulesStopTheProgram) {
#ifdef NDEBUG
  GTEST_SKIP() << "thread rules are checked in debug builds";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto fromWorkerThread = [](std::function<void()> call) {
    test::EngineFixture fx;
    std::thread(std::move(call)).join();
  };
  EXPECT_DEATH(fromWorkerThread([] {
                 test::E().Ui().ItemStatus({1, 1}, "x");
               }),
               "ItemStatus runs on the user-interface thread");
  EXPECT_DEATH(fromWorkerThread([] { Launch(WorkerKind::File, 1, [](WorkerEnv&) {}); }),
               "Launch runs on the user-interface thread");
  EXPECT_DEATH(
      {
        test::EngineFixture fx;
        Launch(WorkerKind::File, 1, [](WorkerEnv& env) { env.OnUi([&] { env.Checkpoint(); }); });
        test::WaitForWorkers();
      },
      "Checkpoint never runs on the user-interface thread");
}

}  // namespace
}  // namespace tvx
