#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "net/Internet.h"
#include "net/NetTestUtil.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"

namespace tvx::net {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;
using test::HttpResponse;
using test::TestHttpServer;
using testing::BinaryPattern;
using testing::ReadAll;
using testing::ReadAllLines;
using testing::StallTimeout;

// The text of the InternetError that `action` throws; fails the test when it
// throws nothing.
std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const InternetError& e) {
    return e.what();
  }
  ADD_FAILURE() << "no InternetError";
  return {};
}

class HttpTransferTest : public ::testing::Test {
 protected:
  std::unique_ptr<Transfer> Get(const std::string& path, bool failOnHttpError = false) {
    return session_.OpenUrl(server_.Url(path), failOnHttpError);
  }
  std::unique_ptr<Transfer> Request(const std::string& path,
                                    const std::vector<std::string>& headers = {}) {
    return session_.OpenRequest(server_.Host(), server_.Port(), path, headers);
  }

  TestHttpServer server_;
  Session session_;
};

TEST_F(HttpTransferTest, BinaryBodiesArriveByteForByte) {
  // Larger than what the client reads ahead, so holding back and resuming
  // the transfer is exercised too.
  std::string body = BinaryPattern(1'500'000);
  server_.Serve("/pic.jpg", HttpResponse::Ok(body));

  auto viaUrl = Get("/pic.jpg");
  viaUrl->SetReadBufferSize(2048);
  EXPECT_EQ(viaUrl->StatusCode(), 200);
  EXPECT_TRUE(ReadAll(*viaUrl) == body);
  EXPECT_EQ(viaUrl->Read(nullptr, 0), 0u);

  auto viaRequest = Request("/pic.jpg");
  EXPECT_TRUE(ReadAll(*viaRequest) == body);

  server_.Serve("/empty.jpg", HttpResponse::Ok(""));
  EXPECT_EQ(ReadAll(*Get("/empty.jpg")), "");
}

TEST_F(HttpTransferTest, ReadLineSplitsOnLineFeedsAndDropsCarriageReturns) {
  server_.Serve("/crlf", HttpResponse::Html("one\r\ntwo\nthree\r\n\r\nfo\rur"));
  EXPECT_EQ(ReadAllLines(*Get("/crlf")),
            (std::vector<std::string>{"one", "two", "three", "", "four"}));

  server_.Serve("/lf", HttpResponse::Html("a\n\nb\n"));
  EXPECT_EQ(ReadAllLines(*Get("/lf")), (std::vector<std::string>{"a", "", "b"}));

  server_.Serve("/none", HttpResponse::Html(""));
  std::string line = "left over";
  auto empty = Get("/none");
  EXPECT_FALSE(empty->ReadLine(line));
  EXPECT_EQ(line, "");
  EXPECT_FALSE(empty->ReadLine(line));

  // Lines and blocks can be mixed on one body.
  server_.Serve("/mixed", HttpResponse::Html("head\nrest"));
  auto mixed = Get("/mixed");
  ASSERT_TRUE(mixed->ReadLine(line));
  EXPECT_EQ(line, "head");
  EXPECT_EQ(ReadAll(*mixed), "rest");
}

TEST_F(HttpTransferTest, OverlongLinesAreCutToTheLimitAndTheRestDropped) {
  constexpr std::size_t kMax = ClientLimits::kMaxLine;
  // CRs do not count; a line of exactly the limit is whole, not cut.
  std::string body = std::string(kMax + 10, 'a') + "\n" + std::string(kMax, 'b') + "\r\n" +
                     std::string(kMax - 1, 'c') + "\r" + std::string(2 * kMax, 'd') + "\nend\n" +
                     std::string(kMax + 1, 'e');
  server_.Serve("/long", HttpResponse::Html(body));
  auto t = Get("/long");
  std::vector<std::string> lines = ReadAllLines(*t);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], std::string(kMax, 'a'));
  EXPECT_EQ(lines[1], std::string(kMax, 'b'));
  EXPECT_EQ(lines[2], std::string(kMax - 1, 'c') + "d");
  EXPECT_EQ(lines[3], "end");
  EXPECT_EQ(lines[4], std::string(kMax, 'e')) << "a cut last line without LF";
}

TEST_F(HttpTransferTest, EndlessLineStaysBoundedFailsAndClosesPromptly) {
  server_.Serve("/endless", HttpResponse::EndlessLine('z'));
  auto t = Get("/endless");
  std::string line;
  ASSERT_TRUE(t->ReadLine(line));
  ASSERT_EQ(line.size(), ClientLimits::kMaxLine);
  EXPECT_EQ(line.find_first_not_of('z'), std::string::npos);
  EXPECT_NE(ErrorOf([&] { t->ReadLine(line); }).find("without a line break"), std::string::npos);
  auto started = steady_clock::now();
  t->Close();
  EXPECT_LT(steady_clock::now() - started, milliseconds(2000));
  EXPECT_FALSE(t->ReadLine(line));
}

TEST_F(HttpTransferTest, OpenUrlFollowsRedirectsAndOpenRequestDoesNot) {
  server_.Serve("/pic.jpg", HttpResponse::Ok("picture"));
  server_.Serve("/old.jpg", HttpResponse::Redirect("/moved.jpg", 301));
  server_.Serve("/moved.jpg", HttpResponse::Redirect(server_.Url("/pic.jpg"), 302));

  auto followed = Get("/old.jpg");
  EXPECT_EQ(followed->StatusCode(), 200);
  EXPECT_EQ(ReadAll(*followed), "picture");

  auto kept = Request("/old.jpg");
  EXPECT_EQ(kept->StatusCode(), 301);
  EXPECT_EQ(ReadAll(*kept), "moved");
  EXPECT_EQ(server_.RequestCount("/moved.jpg"), 1u);

  server_.Serve("/loop", HttpResponse::Redirect("/loop"));
  std::string error = ErrorOf([&] { Get("/loop"); });
  EXPECT_NE(error.find("redirects"), std::string::npos) << error;
  EXPECT_LE(server_.RequestCount("/loop"), 12u);
}

TEST_F(HttpTransferTest, RequestHeadersAreAddedOnceInPlaceOfTheDefaults) {
  server_.Serve("/page.html", HttpResponse::Html("<html></html>"));
  ReadAll(*Request("/page.html", {"Accept: text/*", "User-Agent: Quillanto"}));
  // The same headers in one block, and a second Accept that must not be added.
  ReadAll(
      *Request("/page.html", {"Accept: text/*\r\nUser-Agent: Quillanto\r\n", "accept: image/*"}));
  ReadAll(*Get("/page.html"));

  auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 3u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(requests[i].method, "GET");
    EXPECT_EQ(requests[i].HeaderCount("Accept"), 1u);
    EXPECT_EQ(requests[i].Header("Accept"), "text/*");
    EXPECT_EQ(requests[i].HeaderCount("User-Agent"), 1u);
    EXPECT_EQ(requests[i].Header("User-Agent"), "Quillanto");
  }
  EXPECT_EQ(requests[2].Header("User-Agent"), "Tavrinox");
}

TEST_F(HttpTransferTest, HttpErrorStatusFailsOnlyWhenAsked) {
  server_.Serve("/gone.jpg", HttpResponse::Status(404, "<html>missing</html>"));

  std::string error = ErrorOf([&] { Get("/gone.jpg", true); });
  EXPECT_EQ(error, "The requested URL returned error: 404");

  auto body = Get("/gone.jpg", false);
  EXPECT_EQ(body->StatusCode(), 404);
  EXPECT_EQ(ReadAll(*body), "<html>missing</html>");

  EXPECT_EQ(Request("/gone.jpg")->StatusCode(), 404);
}

TEST_F(HttpTransferTest, UnreachableServerFailsOnOpen) {
  int port = testing::UnusedPort();
  std::string error = ErrorOf(
      [&] { session_.OpenUrl("http://127.0.0.1:" + std::to_string(port) + "/a.jpg", true); });
  EXPECT_FALSE(error.empty());
  EXPECT_NE(error.back(), '\n');
  EXPECT_FALSE(ErrorOf([&] { session_.OpenRequest("127.0.0.1", port, "/", {}); }).empty());
}

TEST_F(HttpTransferTest, BrokenBodiesAreErrorsNotShortSuccesses) {
  std::string body = BinaryPattern(100'000);

  HttpResponse reset = HttpResponse::Ok(body);
  reset.closeAfterBytes = 40'000;
  reset.resetOnClose = true;
  server_.Serve("/reset.jpg", reset);

  HttpResponse closed = HttpResponse::Ok(body);
  closed.closeAfterBytes = 40'000;
  server_.Serve("/closed.jpg", closed);

  HttpResponse shortBody = HttpResponse::Ok("12345");
  shortBody.contentLength = 100;
  server_.Serve("/short.jpg", shortBody);

  for (const char* path : {"/reset.jpg", "/closed.jpg", "/short.jpg"}) {
    SCOPED_TRACE(path);
    auto t = Get(path);
    std::string got;
    std::string error = ErrorOf([&] {
      char block[255];
      while (std::size_t n = t->Read(block, sizeof block)) got.append(block, n);
    });
    EXPECT_FALSE(error.empty());
    // Whatever arrived before the break is handed out unchanged.
    EXPECT_TRUE(body.compare(0, got.size(), got) == 0 || std::string("12345") == got);
  }

  // Reading lines fails the same way.
  std::string error = ErrorOf([&] { ReadAllLines(*Get("/short.jpg")); });
  EXPECT_FALSE(error.empty());
}

TEST_F(HttpTransferTest, StalledServerTimesOutWhileBeingRead) {
  StallTimeout limit(300);
  HttpResponse stalled = HttpResponse::Ok(std::string(1000, 's'));
  stalled.stallAfterBytes = 100;
  server_.Serve("/stall.jpg", stalled);

  auto t = Get("/stall.jpg");
  auto started = steady_clock::now();
  std::string error = ErrorOf([&] { ReadAll(*t); });
  EXPECT_NE(error.find("timed out"), std::string::npos) << error;
  EXPECT_LT(steady_clock::now() - started, milliseconds(5000));

  // Headers that never come fail the opening the same way.
  server_.SetHandler([](const test::HttpRequest&) {
    std::this_thread::sleep_for(milliseconds(1500));
    return HttpResponse::Ok("late");
  });
  EXPECT_NE(ErrorOf([&] { Get("/no-answer"); }).find("timed out"), std::string::npos);
}

TEST_F(HttpTransferTest, SlowButSteadyServerIsNotAStall) {
  StallTimeout limit(400);
  HttpResponse drip = HttpResponse::Ok(std::string(300, 'd'));
  drip.dripBytes = 10;
  drip.dripIntervalMs = 30;  // ~900 ms in all, far beyond the stall limit
  server_.Serve("/drip.jpg", drip);
  EXPECT_EQ(ReadAll(*Get("/drip.jpg")), std::string(300, 'd'));
}

TEST_F(HttpTransferTest, PausedReaderResumesWithoutStallOrLoss) {
  StallTimeout limit(300);
  std::string body = BinaryPattern(2'000'000);
  server_.Serve("/big.jpg", HttpResponse::Ok(body));
  auto t = Get("/big.jpg");
  std::string got;
  char block[255];
  got.append(block, t->Read(block, sizeof block));
  // A paused worker makes no calls; the time it sleeps is not a stall.
  std::this_thread::sleep_for(milliseconds(800));
  while (std::size_t n = t->Read(block, sizeof block)) got.append(block, n);
  EXPECT_TRUE(got == body);
}

TEST_F(HttpTransferTest, WorkersOnSeveralThreadsTransferIndependently) {
  std::string body = BinaryPattern(200'000);
  server_.Serve("/shared.jpg", HttpResponse::Ok(body));
  server_.Serve("/page.html", HttpResponse::Html("<a href=x>\r\nline two\r\n"));
  std::atomic<int> good{0};
  std::vector<std::thread> workers;
  for (int i = 0; i < 4; ++i) {
    workers.emplace_back([&, i] {
      Session session;  // each worker has its own, as the workers do
      for (int round = 0; round < 5; ++round) {
        if (i % 2 == 0) {
          good += ReadAll(*session.OpenUrl(server_.Url("/shared.jpg"), true)) == body;
        } else {
          auto page =
              session.OpenRequest(server_.Host(), server_.Port(), "/page.html", {"Accept: text/*"});
          good += page->StatusCode() == 200 && ReadAllLines(*page).size() == 2;
        }
      }
    });
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(good.load(), 20);
}

TEST_F(HttpTransferTest, OversizedHeaderIsAnError) {
  server_.Serve("/huge", HttpResponse::HugeHeader(400 * 1024));
  EXPECT_FALSE(ErrorOf([&] { ReadAll(*Get("/huge")); }).empty());
}

TEST_F(HttpTransferTest, UrlsAreTakenAsBrowsersTakeThem) {
  server_.Serve("/my%20pic.jpg", HttpResponse::Ok("spaced"));
  EXPECT_EQ(ReadAll(*Get("/my pic.jpg")), "spaced");
  EXPECT_EQ(ReadAll(*Request("/my pic.jpg")), "spaced");

  // Only web and FTP addresses are fetched; never local files.
  EXPECT_FALSE(ErrorOf([&] { session_.OpenUrl("file:///etc/hostname", false); }).empty());
}

TEST_F(HttpTransferTest, RedirectToALocalFileIsRefused) {
  server_.Serve("/sneaky.jpg", HttpResponse::Redirect("file:///etc/hostname"));
  EXPECT_FALSE(ErrorOf([&] { ReadAll(*Get("/sneaky.jpg")); }).empty());
}

TEST_F(HttpTransferTest, TestServerServesAFolderButNothingOutsideIt) {
  test::TempDir site("tavrinox-site");
  site.Write("index.html", "<a href=\"a/b.jpg\">");
  site.Write("a/b.jpg", "jpeg bytes");
  test::TempDir outside("tavrinox-outside");
  outside.Write("secret.txt", "secret");
  server_.ServeFolder(site.Path());

  EXPECT_EQ(ReadAll(*Get("/")), "<a href=\"a/b.jpg\">");
  EXPECT_EQ(ReadAll(*Get("/a/b.jpg")), "jpeg bytes");
  EXPECT_EQ(Request("/a/missing.jpg")->StatusCode(), 404);
  std::string escape = "/%2e%2e/" + outside.Path().filename().string() + "/secret.txt";
  EXPECT_EQ(Request(escape)->StatusCode(), 404);
}

TEST_F(HttpTransferTest, ServerStopsPromptlyDuringATransfer) {
  auto local = std::make_unique<TestHttpServer>();
  local->Serve("/endless", HttpResponse::EndlessLine());
  auto t = session_.OpenUrl(local->Url("/endless"), true);
  char block[255];
  ASSERT_GT(t->Read(block, sizeof block), 0u);
  auto started = steady_clock::now();
  local.reset();
  EXPECT_LT(steady_clock::now() - started, milliseconds(2000));
  // The client sees the end of the data (no length was announced) or an error.
  try {
    while (t->Read(block, sizeof block) > 0) {
    }
  } catch (const InternetError&) {
  }
}

}  // namespace
}  // namespace tvx::net
