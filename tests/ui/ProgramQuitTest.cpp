// The real program ended during a modern crawl, by File > Exit and by
// SIGTERM: its workers close their files, nothing partial stays, and every
// picture under its own name is whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::HttpResponse;

std::string PictureBytes(const std::string& name) {
  std::string body = "GIF89a" + name;
  body.resize(200000, static_cast<char>('a' + name.size() % 26));
  return body;
}

TEST(ProgramQuit, EndingDuringAModernCrawlLeavesOnlyWholePictures) {
  for (const bool byMenu : {true, false}) {
    SCOPED_TRACE(byMenu ? "File > Exit" : "SIGTERM");
    test::TestHttpServer http;
    std::string page;
    for (int i = 0; i < 40; ++i) page += "<img src=\"p" + std::to_string(i) + ".gif\">";
    http.Serve("/index.html", HttpResponse::Html(page));
    http.SetHandler([](const test::HttpRequest& r) {
      HttpResponse picture = HttpResponse::Ok(PictureBytes(r.path), "image/gif");
      picture.dripBytes = 8000;  // a picture takes about half a second
      picture.dripIntervalMs = 20;
      return picture;
    });
    test::TempDir dir("tvx-quit");
    dir.Write("reqpicwebs.data", "proj\r\n" + http.Url("/index.html") +
                                     "\r\n0\r\n0 1 0 0 0 0 0\r\n1 0 0\r\n1 0 0\r\n0 0 0\r\n*\r\n");
    dir.Write("picwebopts.data", "1 2 proj\r\n");
    setenv("TAVRINOX_TEST_DOWNLOAD", "Web Sites", 1);
    setenv("TAVRINOX_TEST_COMMANDS", "1", 1);
    test::ChildProcess program({TAVRINOX_PROGRAM}, dir.Path(), true);
    unsetenv("TAVRINOX_TEST_DOWNLOAD");
    unsetenv("TAVRINOX_TEST_COMMANDS");
    ASSERT_TRUE(program.WaitForLine("downloading", 60s)) << "the program did not come up";
    // Some pictures whole, others on their way.
    ASSERT_TRUE(http.WaitForRequests(6, 60s));

    if (byMenu)
      ASSERT_TRUE(program.Write("exit\n"));
    else
      ASSERT_EQ(kill(program.Pid(), SIGTERM), 0);
    const auto status = program.Wait(60s);
    ASSERT_TRUE(status.has_value()) << "still running";
    EXPECT_EQ(*status, 0);

    int whole = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir / "Pictures")) {
      if (!entry.is_regular_file()) continue;
      const std::string name = entry.path().filename();
      ASSERT_EQ(name.find(".part"), std::string::npos) << "left partial: " << entry.path();
      EXPECT_EQ(test::ReadFile(entry.path()), PictureBytes("/" + name)) << entry.path();
      ++whole;
    }
    EXPECT_LT(whole, 40) << "the crawl was cut short";
    EXPECT_FALSE(fs::exists(dir / "tavrinox.lock"));
    EXPECT_NE(test::ReadFile(dir / "reqpicwebs.data").find("proj\r\n"), std::string::npos)
        << "the project stays requested";
  }
}

}  // namespace
}  // namespace tvx
