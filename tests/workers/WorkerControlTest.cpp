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

TEST(StopFlags, RowsOutsideTheArrayReadClearAndAreNeverWritten) {
  StopFlags flags;
  flags.Set(0, 1);
  flags.Set(199, 1);
  flags.Set(200, 1);
  flags.Set(-1, 1);
  EXPECT_EQ(flags.Get(0), 1);
  EXPECT_EQ(flags.Get(199), 1);
  EXPECT_EQ(flags.Get(200), 0);
  EXPECT_EQ(flags.Get(-1), 0);
  EXPECT_EQ(flags.Get(100000), 0);
  flags.ClearAll();
  EXPECT_EQ(flags.Get(199), 0);
}

TEST(WorkerRegistry, FindIgnoresCaseAndRemovesTheRightEntry) {
  WorkerRegistry reg;
  auto a = std::make_shared<WorkerHandle>("http://Host/A.gif");
  auto b = std::make_shared<WorkerHandle>("http://host/a.gif");
  reg.Add(a);
  reg.Add(b);
  EXPECT_EQ(reg.Find("HTTP://HOST/A.GIF"), 0);
  EXPECT_EQ(reg.Find("http://host/a.gi"), -1);
  EXPECT_TRUE(reg.Remove(a.get()));
  EXPECT_EQ(reg.At(0), b);
  EXPECT_FALSE(reg.Remove(a.get()));
  EXPECT_EQ(reg.At(1), nullptr);
  reg.RemoveAt(7);
  EXPECT_EQ(reg.Count(), 1);
}

TEST(Workers, EntryExistsWhileRunningAndIsRemovedWhateverTheEnding) {
  test::EngineFixture fx;
  std::atomic<bool> release{false};
  auto h = LaunchWorker(WorkerKind::Site, "Project", 0, [&](WorkerEnv&) {
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Registry(WorkerKind::Site).Find("project"), 0);
  release = true;
  ASSERT_TRUE(test::WaitForWorkers());
  EXPECT_EQ(Registry(WorkerKind::Site).Count(), 0);
  EXPECT_TRUE(h->Finished());

  // A worker that throws still leaves no entry behind.
  LaunchWorker(WorkerKind::Search, "Boom", 0,
               [](WorkerEnv&) { throw std::runtime_error("broken"); });
  ASSERT_TRUE(test::WaitForWorkers());
  EXPECT_EQ(Registry(WorkerKind::Search).Count(), 0);
}

TEST(Workers, PausedWorkerMakesNoProgressUntilResumed) {
  test::EngineFixture fx;
  std::atomic<int> steps{0};
  std::atomic<bool> done{false};
  LaunchWorker(WorkerKind::File, "u", 0, [&](WorkerEnv& env) {
    while (!done.load()) {
      env.Checkpoint();
      steps.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  ASSERT_TRUE(WaitFor([&] { return steps.load() > 5; }));
  PauseWorker(WorkerKind::File, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  int paused = steps.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_LE(steps.load(), paused + 1) << "at most the step under way completes";
  ResumeWorker(WorkerKind::File, 0);
  EXPECT_TRUE(WaitFor([&] { return steps.load() > paused + 5; }));
  done = true;
  EXPECT_TRUE(test::WaitForWorkers());
}

TEST(Workers, BusyAnimationStartsOnceAndStopsOnce) {
  test::EngineFixture fx;
  LaunchWorker(WorkerKind::File, "u", 0, [](WorkerEnv& env) {
    env.EnsureBusy();
    env.EnsureBusy();
    env.EndBusy();
    env.EndBusy();
  });
  ASSERT_TRUE(test::WaitForWorkers());
  EXPECT_EQ(fx.reporter.CallsStartingWith("busy start").size(), 1u);
  EXPECT_EQ(fx.reporter.CallsStartingWith("busy stop").size(), 1u);
  EXPECT_FALSE(BusyAnimation.load());
}

}  // namespace
}  // namespace tvx

namespace tvx {
namespace {

TEST(WorkerRegistry, HandlesStayRightWhileEarlierEntriesGoAway) {
  WorkerRegistry reg;
  auto a = std::make_shared<WorkerHandle>("a");
  auto b = std::make_shared<WorkerHandle>("b");
  auto c = std::make_shared<WorkerHandle>("c");
  reg.Add(a);
  reg.Add(b);
  reg.Add(c);
  auto found = reg.FindHandle("C");
  reg.Remove(a.get());  // another worker ends in between
  ASSERT_EQ(found, c);
  found->Gate().Pause();
  EXPECT_TRUE(c->Gate().IsPaused());
  EXPECT_FALSE(b->Gate().IsPaused());
  EXPECT_EQ(reg.FindHandle("x"), nullptr);
  EXPECT_EQ(reg.Snapshot(), (std::vector<std::shared_ptr<WorkerHandle>>{b, c}));
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
  EXPECT_DEATH(fromWorkerThread([] { CurrentReporter()->SetRowStatus(0, "x"); }),
               "SetRowStatus runs on the user-interface thread");
  EXPECT_DEATH(fromWorkerThread([] { LaunchWorker(WorkerKind::File, "u", 0, [](WorkerEnv&) {}); }),
               "LaunchWorker runs on the user-interface thread");
  EXPECT_DEATH(
      {
        test::EngineFixture fx;
        LaunchWorker(WorkerKind::File, "u", 0,
                     [](WorkerEnv& env) { env.OnUi([&] { env.Checkpoint(); }); });
        test::WaitForWorkers();
      },
      "Checkpoint never runs on the user-interface thread");
}

}  // namespace
}  // namespace tvx
