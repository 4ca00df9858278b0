// One program per working folder: a second copy started in the folder (the
// menu entry clicked twice) says so and ends without reading or writing any
// list, while the first goes on and saves as ever.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>

#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/ProgramRun.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::map<std::string, std::string> FolderBytes(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_regular_file()) files[entry.path().filename()] = test::ReadFile(entry.path());
  return files;
}

TEST(ProgramFolderLock, ASecondCopyInTheFolderSaysSoAndTouchesNoList) {
  test::TempDir dir("tvx-lock");
  dir.Write("reqpics.data", "http://a/old.jpg\r\n");
  dir.Write("dnldpics.data", "http://a/kept.jpg\n");
  dir.Write("reqpicwebs.data",
            "Holiday\r\nhttp://h/\r\n0\r\n0 1 1 0 0 0 0\r\n1 0 0\r\n1 0 0\r\n0 0 0\r\n*\r\n");
  setenv("TAVRINOX_TEST_PROCEED", "1", 1);
  setenv("TAVRINOX_TEST_REQUEST", "http://a/first.jpg", 1);
  test::ChildProcess first({TAVRINOX_PROGRAM}, dir.Path(), true);
  ASSERT_TRUE(first.WaitForLine("requested", 60s)) << "the first copy did not come up";
  const auto before = FolderBytes(dir.Path());

  // The second copy has a change of its own in memory, and is ended by a
  // signal that would make it save.
  setenv("TAVRINOX_TEST_REQUEST", "http://a/second.jpg", 1);
  test::ChildProcess second({TAVRINOX_PROGRAM}, dir.Path(), false, true);
  unsetenv("TAVRINOX_TEST_REQUEST");
  unsetenv("TAVRINOX_TEST_PROCEED");
  ASSERT_TRUE(second.WaitForLine(
      "Tavrinox: Another copy of Quillanto for pictures is using this folder.", 60s));
  ASSERT_EQ(kill(second.Pid(), SIGTERM), 0);
  const auto secondStatus = second.Wait(30s);
  ASSERT_TRUE(secondStatus.has_value());
  EXPECT_EQ(*secondStatus, 3);
  EXPECT_EQ(FolderBytes(dir.Path()), before) << "every file byte for byte, none added";

  ASSERT_EQ(kill(first.Pid(), SIGTERM), 0);
  const auto firstStatus = first.Wait(30s);
  ASSERT_TRUE(firstStatus.has_value());
  EXPECT_EQ(*firstStatus, 0);
  EXPECT_EQ(test::ReadFile(dir / "reqpics.data"), "http://a/old.jpg\r\nhttp://a/first.jpg\r\n");
  EXPECT_FALSE(fs::exists(dir / "tavrinox.lock")) << "let go of at the end";
}

// The window and the command line take the same lock: whichever comes
// second says so and ends with status 3, touching no list.
TEST(ProgramFolderLock, TheWindowAndTheCommandLineKeepEachOtherOut) {
  const std::string anotherCopy = "Another copy of Quillanto for pictures is using this folder.";
  {
    SCOPED_TRACE("the window first");
    test::TempDir dir("tvx-lock");
    dir.Write("reqpics.data", "http://a/old.jpg\r\n");
    setenv("TAVRINOX_TEST_PROCEED", "1", 1);
    setenv("TAVRINOX_TEST_REQUEST", "http://a/first.jpg", 1);
    test::ChildProcess window({TAVRINOX_PROGRAM}, dir.Path(), true);
    unsetenv("TAVRINOX_TEST_REQUEST");
    unsetenv("TAVRINOX_TEST_PROCEED");
    ASSERT_TRUE(window.WaitForLine("requested", 60s)) << "the window did not come up";
    const auto before = FolderBytes(dir.Path());
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list"}, {"get", "http://a/second.jpg"}, {"run"}}) {
      SCOPED_TRACE(args[0]);
      const test::ProgramResult command = test::RunProgram(TAVRINOX_PROGRAM, args, dir.Path());
      EXPECT_EQ(command.status, 3);
      EXPECT_EQ(command.err, anotherCopy + "\n");
      EXPECT_EQ(command.out, "");
    }
    EXPECT_EQ(FolderBytes(dir.Path()), before);
    ASSERT_EQ(kill(window.Pid(), SIGTERM), 0);
    EXPECT_EQ(window.Wait(30s), 0);
    EXPECT_EQ(test::ReadFile(dir / "reqpics.data"), "http://a/old.jpg\r\nhttp://a/first.jpg\r\n");
  }
  {
    SCOPED_TRACE("the command line first");
    test::TestHttpServer web;
    test::HttpResponse half = test::HttpResponse::Ok(std::string(20000, 'p'), "image/jpeg");
    half.stallAfterBytes = 10000;
    web.Serve("/big.jpg", half);
    test::TempDir dir("tvx-lock");
    test::ProgramRun command(TAVRINOX_PROGRAM, {"get", web.Url("/big.jpg")}, dir.Path(),
                             test::ProgramRun::Via::Pipes);
    // It asks for the picture once it holds the folder.
    ASSERT_TRUE(web.WaitForRequests(1, 60s));
    const auto before = FolderBytes(dir.Path());
    test::ChildProcess window({TAVRINOX_PROGRAM}, dir.Path(), false, true);
    ASSERT_TRUE(window.WaitForLine("Tavrinox: " + anotherCopy, 60s));
    ASSERT_EQ(kill(window.Pid(), SIGTERM), 0);
    EXPECT_EQ(window.Wait(30s), 3);
    EXPECT_EQ(FolderBytes(dir.Path()), before);

    command.Signal(SIGINT);
    EXPECT_EQ(command.Wait(60s), 1);
    EXPECT_EQ(test::ReadFile(dir / "reqpics.data"), web.Url("/big.jpg") + "\r\n");
    EXPECT_FALSE(fs::exists(dir / "tavrinox.lock"));
  }
}

}  // namespace
}  // namespace tvx
