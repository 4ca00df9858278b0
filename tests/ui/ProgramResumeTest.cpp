// The real program killed in the middle of a download, started again: the
// download goes on from where it stopped and the picture comes out whole,
// every byte of it sent by the server once.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"

namespace tvx {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
  const auto until = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return done();
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

std::uintmax_t SizeOf(const fs::path& file) {
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  return ec ? 0 : size;
}

TEST(ProgramResume, KilledMidDownloadThenStartedAgainGoesOnFromThePartialFile) {
  constexpr std::size_t kSize = 3'000'000, kFirst = 1'000'000;
  const std::string body = test::BinaryBody(kSize);
  test::TestHttpServer http;
  // The first answer stops sending after kFirst bytes and holds the line
  // open: the program is killed while it waits for more.
  http.SetHandler([&](const test::HttpRequest& request) {
    test::HttpResponse r = test::HttpResponse::Ok(body, "image/jpeg");
    r.headers.push_back({"ETag", "\"photo-1\""});
    const std::string range = request.Header("Range");
    if (range.rfind("bytes=", 0) == 0 && request.Header("If-Range") == "\"photo-1\"") {
      const std::size_t from = std::stoul(range.substr(6));
      r.status = 206;
      r.body = body.substr(from);
      r.headers.push_back({"Content-Range", "bytes " + std::to_string(from) + "-" +
                                                std::to_string(kSize - 1) + "/" +
                                                std::to_string(kSize)});
    } else {
      r.stallAfterBytes = kFirst;
    }
    return r;
  });
  const std::string url = http.Url("/photo.jpg");
  test::TempDir dir("tvx-program-resume");
  dir.Write("reqpics.data", url + "\r\n");
  const fs::path part = dir / "Pictures/photo.jpg.part";
  const fs::path whole = dir / "Pictures/photo.jpg";

  setenv("TAVRINOX_TEST_DOWNLOAD", "1", 1);
  {
    test::ChildProcess program({TAVRINOX_PROGRAM}, dir.Path(), true);
    ASSERT_TRUE(program.WaitForLine("downloading", 60s)) << "the program did not come up";
    ASSERT_TRUE(WaitUntil([&] { return SizeOf(part) == kFirst; }, 30s))
        << "on disk: " << SizeOf(part);
    ASSERT_EQ(kill(program.Pid(), SIGKILL), 0);
    ASSERT_TRUE(program.Wait(30s).has_value());
  }
  EXPECT_FALSE(fs::exists(whole)) << "a cut file never takes the picture's name";

  test::ChildProcess again({TAVRINOX_PROGRAM}, dir.Path(), true);
  unsetenv("TAVRINOX_TEST_DOWNLOAD");
  ASSERT_TRUE(again.WaitForLine("downloading", 60s));
  // The file takes its name before the record moves to the downloaded files:
  // the lists are saved only once the worker has ended.
  ASSERT_TRUE(again.WaitForLine("downloaded", 30s));
  EXPECT_TRUE(fs::exists(whole) && !fs::exists(part));
  ASSERT_EQ(kill(again.Pid(), SIGTERM), 0);  // saves the lists
  ASSERT_TRUE(again.Wait(30s).has_value());

  EXPECT_TRUE(test::ReadFile(whole) == body) << "byte for byte";
  EXPECT_EQ(http.BodyBytesSent("/photo.jpg"), kSize) << "each byte sent once";
  EXPECT_FALSE(fs::exists(dir / "Pictures/photo.jpg.part.resume"));
  const auto requests = http.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].Header("Range"), "bytes=1000000-");
  EXPECT_NE(test::ReadFile(dir / "dnldpics.data").find(url), std::string::npos);
  EXPECT_EQ(test::ReadFile(dir / "reqpics.data").find(url), std::string::npos);
}

}  // namespace
}  // namespace tvx
