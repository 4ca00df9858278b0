// The real program, ended by the signals of a logout, a shutdown, `kill` or
// Ctrl+C: it saves its lists as File > Exit does, then ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <string>

#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/TempDir.h"

namespace tvx {
namespace {

using namespace std::chrono_literals;

TEST(ProgramSignals, EachQuitSignalSavesTheListsThenEnds) {
  struct Case {
    int signalNumber;
    bool inMainWindow;  // else the start-up question is still open
  };
  for (Case c : {Case{SIGTERM, false}, Case{SIGHUP, false}, Case{SIGINT, false},
                 Case{SIGTERM, true}, Case{SIGHUP, true}, Case{SIGINT, true}}) {
    SCOPED_TRACE(std::string(strsignal(c.signalNumber)) +
                 (c.inMainWindow ? " in the main window" : " with the start-up question open"));
    test::TempDir dir("tvx-signals");
    dir.Write("reqpics.data", "http://a/old.jpg\r\n");
    dir.Write("dnldpics.data", "http://a/kept.jpg\n");
    setenv("TAVRINOX_TEST_REQUEST", "http://a/new.jpg", 1);
    if (c.inMainWindow)
      setenv("TAVRINOX_TEST_PROCEED", "1", 1);
    else
      unsetenv("TAVRINOX_TEST_PROCEED");
    test::ChildProcess program({TAVRINOX_PROGRAM}, dir.Path(), true);
    unsetenv("TAVRINOX_TEST_REQUEST");
    unsetenv("TAVRINOX_TEST_PROCEED");

    ASSERT_TRUE(program.WaitForLine("requested", 60s)) << "the program did not come up";
    ASSERT_EQ(kill(program.Pid(), c.signalNumber), 0);
    const auto status = program.Wait(30s);
    ASSERT_TRUE(status.has_value()) << "still running after the signal";
    EXPECT_EQ(*status, 0) << "ended by the signal itself, without saving";
    EXPECT_EQ(test::ReadFile(dir / "reqpics.data"), "http://a/old.jpg\r\nhttp://a/new.jpg\r\n");
    EXPECT_EQ(test::ReadFile(dir / "dnldpics.data"), "http://a/kept.jpg\n") << "not changed";
  }
}

}  // namespace
}  // namespace tvx
