// Search projects asking the engines of today, against loopback servers that
// answer as the public ones do: what lands in Search Results, the credits
// kept for its pictures, and the texts of the row and the status view,
// failures included.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/Internet.h"
#include "search/ResultPages.h"
#include "search/SearchRunner.h"
#include "search/TodayFakes.h"
#include "search/TodayQuery.h"
#include "support/RecordingReporter.h"
#include "support/TlsFront.h"

namespace tvx {
namespace {

using test::FakePictureOf;
using test::HttpRequest;
using test::HttpResponse;
using Calls = std::vector<std::string>;

constexpr const char* kName = "Lighthouses";

std::vector<std::string> Expected(int pictures, int pages) {
  std::vector<std::string> urls;
  for (const char* engine : {"ov", "wc"})
    for (int n = 1; n <= pictures; ++n) urls.push_back(FakePictureOf(engine, n).url);
  for (int n = 1; n <= pages; ++n) urls.push_back(test::KeptPage(n));
  return urls;
}

class TodaySearch : public ::testing::Test {
 protected:
  void SetUp() override {
    SetText(project_.name, kName);
    SetText(project_.searchText, "lighthouse keeper");
    project_.runWhenRequested = project_.stopWhenRequested = 1;
  }
  void TearDown() override { fx_.reset(); }

  // Lists the project with its choice, shows `shown`, follows the project
  // and starts it as the command does.
  void Start(const TodayEngines& today = kEveryTodayEngine, int shown = kListSearchProjects) {
    const ItemId id = E().lists.searchProjects.Add(project_);
    E().searchOptions.Set(kName, today);
    test::Shown().Show(shown);
    test::Shown().FollowRow(0);
    ASSERT_NE(StartSearchWorker(E(), id, project_), nullptr);
  }
  void Finish() { ASSERT_TRUE(test::WaitForWorkers()); }
  static Engine& E() { return test::E(); }
  Calls UiCalls() const { return fx_->reporter.Calls(); }
  std::vector<std::string> ResultUrls() const {
    std::vector<std::string> urls;
    for (const auto& r : E().lists.searchResults.Snapshot()) {
      EXPECT_EQ(TextOf(r.status), kName);
      urls.emplace_back(TextOf(r.url));
    }
    return urls;
  }

  SearchProject project_{};
  std::unique_ptr<test::EngineFixture> fx_ = std::make_unique<test::EngineFixture>();
  test::FakeEngines engines_;
};

TEST_F(TodaySearch, EveryEnginePagesToItsCapAndThePicturesKeepTheirCredits) {
  project_.useAltaVista = 1;  // the engines of the record come first
  test::TestHttpServer old;
  test::EnginesAt oldEngines(old);
  old.Serve(test::kAltaVistaPath,
            HttpResponse::Html(test::AltaVistaPage(test::ResultLinks(2, "av"))));
  Start();
  Finish();

  EXPECT_EQ(UiCalls(), (Calls{
                           "row 0 status: Running search project...",
                           "busy start",
                           "LastAction: Retrieving links from Altavista...",
                           "row 0 status: Search Completed Successfully",
                           "Status: 2 links found",
                           "LastAction: Retrieving links from Openverse...",
                           "row 0 status: Search Completed Successfully",
                           "Status: 102 links found",
                           "LastAction: Retrieving links from Wikimedia Commons...",
                           "row 0 status: Search Completed Successfully",
                           "Status: 202 links found",
                           "LastAction: Retrieving links from DuckDuckGo...",
                           "row 0 status: Search Completed Successfully",
                           "Status: 227 links found",
                           "busy stop",
                           "LastAction: Search ended",
                           "Status: Search completed succesfully",
                       }));
  std::vector<std::string> expected = test::Kept(test::ResultLinks(2, "av"));
  for (const std::string& url : Expected(100, 25)) expected.push_back(url);
  EXPECT_EQ(ResultUrls(), expected);

  // 100 of 240 pictures: five pages of Openverse, two of Commons; all 25
  // pages of DuckDuckGo in three, the third leading only back.
  auto pagesAsked = [](test::FakeEngine& engine) {
    std::vector<std::string> asked;
    for (const HttpRequest& r : engine.server.Requests()) {
      EXPECT_EQ(r.method, "GET");
      EXPECT_EQ(r.Header("User-Agent"), kSearchAgent);
      asked.push_back(test::QueryValue(r, r.path == "/v1/images/" ? "page"
                                          : r.path == "/html/"    ? "s"
                                                                  : "gsroffset"));
    }
    return asked;
  };
  EXPECT_EQ(pagesAsked(engines_.openverse), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  EXPECT_EQ(pagesAsked(engines_.commons), (std::vector<std::string>{"", "50"}));
  EXPECT_EQ(pagesAsked(engines_.duckDuckGo), (std::vector<std::string>{"", "10", "20"}));

  for (const char* engine : {"ov", "wc"})
    for (int n : {1, 3, 100}) {
      const test::FakePicture p = FakePictureOf(engine, n);
      EXPECT_EQ(E().credits.Get(p.url), p.credit) << p.url;
    }
  EXPECT_FALSE(E().credits.Get(FakePictureOf("ov", 101).url));
  EXPECT_FALSE(E().credits.Get(test::KeptPage(1)));
}

TEST_F(TodaySearch, AgainAddsNoResultTwiceAndAProjectWithoutAChoiceAsksNone) {
  project_.useAltaVista = 1;
  test::TestHttpServer old;
  test::EnginesAt oldEngines(old);
  old.Serve(test::kAltaVistaPath,
            HttpResponse::Html(test::AltaVistaPage(test::ResultLinks(2, "av"))));
  E().lists.searchResults.Add(MakeFileRecord(test::KeptPage(4), "Earlier search"));
  Start({false, true, true});
  Finish();
  EXPECT_EQ(E().lists.searchResults.GetCount(), 1 + 2 + 100 + 24);

  // Again: AltaVista adds its links again, as it always did; the engines of
  // today add nothing that is listed.
  const ItemId id = E().lists.searchProjects.IdAt(0);
  ASSERT_NE(StartSearchWorker(E(), id, project_), nullptr);
  Finish();
  EXPECT_EQ(E().lists.searchResults.GetCount(), 1 + 2 + 100 + 24 + 2);
  EXPECT_EQ(fx_->reporter.Text(StatusField::Status), "Search completed succesfully");
  EXPECT_TRUE(engines_.openverse.server.Requests().empty());

  // A project from the list files has no choice stored: AltaVista only.
  E().searchOptions.Forget(kName);
  ASSERT_NE(StartSearchWorker(E(), id, project_), nullptr);
  Finish();
  EXPECT_EQ(engines_.commons.server.Requests().size(), 2u * 2);
  EXPECT_EQ(engines_.duckDuckGo.server.Requests().size(), 3u * 2);
  EXPECT_EQ(old.Requests().size(), 3u);
}

// Every way an engine can fail, each alone in its run: the row and Status say
// what happened, the run ends without its success texts.
TEST_F(TodaySearch, EveryFailureSaysWhatHappened) {
  HttpResponse wait429 = HttpResponse::Status(429, "slow down");
  wait429.headers.push_back({"Retry-After", "120"});
  HttpResponse truncated =
      HttpResponse::Ok(test::OpenverseAnswer(1, 20, 5).substr(0, 900), "application/json");
  HttpResponse reset = HttpResponse::Html(test::DuckDuckGoAnswer(1, 10, 10));
  reset.closeAfterBytes = 300;
  reset.resetOnClose = true;
  HttpResponse huge = HttpResponse::Ok(std::string(50 << 20, ' '), "application/json");
  huge.dripBytes = 1 << 20;  // counted piece by piece
  struct Case {
    TodayEngine engine;
    std::function<void(test::TestHttpServer&)> serve;
    std::string text;  // or its start, when it ends with "..."
  } cases[] = {
      {TodayEngine::Openverse, [&](auto& s) { s.SetHandler([&](auto&) { return wait429; }); },
       "Openverse asks to wait: try again in 120 s"},
      {TodayEngine::Commons,
       [](auto& s) { s.SetHandler([](auto&) { return HttpResponse::Status(503, "busy"); }); },
       "Wikimedia Commons asks to wait: try again in 60 s"},
      {TodayEngine::DuckDuckGo,
       [](auto& s) { s.SetHandler([](auto&) { return HttpResponse::Html(test::CaptchaPage()); }); },
       "DuckDuckGo answered in a form this version cannot read"},
      {TodayEngine::Openverse, [&](auto& s) { s.SetHandler([&](auto&) { return truncated; }); },
       "Openverse answered in a form this version cannot read"},
      {TodayEngine::Commons, [&](auto& s) { s.SetHandler([&](auto&) { return huge; }); },
       "Wikimedia Commons answered in a form this version cannot read"},
      {TodayEngine::Openverse,
       [](auto& s) { s.SetHandler([](auto&) { return HttpResponse::Status(500, "oops"); }); },
       "Error retrieving links from Openverse: The requested URL returned error: 500"},
      {TodayEngine::Openverse,
       [](auto& s) {
         s.SetHandler([](auto&) {
           return HttpResponse::Ok(R"({"result_count":0,"page_count":0,"results":[]})");
         });
       },
       "Error retrieving links from Openverse"},
      {TodayEngine::DuckDuckGo, [&](auto& s) { s.SetHandler([&](auto&) { return reset; }); },
       "Error retrieving links from DuckDuckGo: ..."},
      {TodayEngine::Commons, [](auto& s) { s.Stop(); },
       "Error retrieving links from Wikimedia Commons: ..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    fx_ = std::make_unique<test::EngineFixture>();
    test::FakeEngine engine(c.engine);
    c.serve(engine.server);
    Start({c.engine == TodayEngine::Openverse, c.engine == TodayEngine::Commons,
           c.engine == TodayEngine::DuckDuckGo});
    Finish();
    const std::string shown = fx_->reporter.Text(StatusField::Status);
    if (c.text.ends_with("...")) {
      const std::string start = c.text.substr(0, c.text.size() - 3);
      EXPECT_EQ(shown.substr(0, start.size()), start);
      EXPECT_GT(shown.size(), start.size());
      EXPECT_LE(shown.size(), start.size() + 199);
    } else {
      EXPECT_EQ(shown, c.text);
    }
    EXPECT_TRUE(fx_->reporter.Has("row 0 status: " + shown));
    EXPECT_FALSE(fx_->reporter.Has("LastAction: Search ended"));
    EXPECT_EQ(E().lists.searchResults.GetCount(), 0);
    // Bounded reads: the client stopped reading far short of 50 MB.
    if (c.text.find("Commons answered") != std::string::npos) {
      EXPECT_LT(engine.server.BodyBytesSent("/w/api.php"), 40u << 20);
    }
  }
}

TEST_F(TodaySearch, ATlsFailureAndALaterEngineThatAnswers) {
  // Openverse behind TLS with a certificate nobody trusts; Commons answers.
  test::FakeEngine openverse(TodayEngine::Openverse);
  test::TlsFront tls(openverse.server.Port());
  test::ScopedEnv base(kOpenverseUrlVariable, tls.Url(""));
  Start({true, true, false});
  Finish();
  const std::string failure = "Error retrieving links from Openverse: ";
  const Calls calls = UiCalls();
  ASSERT_EQ(calls.size(), 8u);
  EXPECT_EQ(calls[3].substr(0, 14 + failure.size()), "row 0 status: " + failure);
  EXPECT_NE(calls[3].find("SSL"), std::string::npos) << calls[3];
  EXPECT_EQ(calls[4], "Status: " + calls[3].substr(14));
  // Commons' results land; the row keeps the failure; no success at the end.
  EXPECT_EQ(Calls(calls.begin() + 5, calls.end()),
            (Calls{"LastAction: Retrieving links from Wikimedia Commons...",
                   "Status: 100 links found", "busy stop"}));
  EXPECT_EQ(E().lists.searchResults.GetCount(), 100);
  EXPECT_TRUE(openverse.server.Requests().empty());
}

// A page the test lets go when it chooses (bounded).
class HeldPage {
 public:
  HttpResponse Wait(HttpResponse answer) {
    released_.wait_for(std::chrono::seconds(30));
    return answer;
  }
  void Release() { release_.set_value(); }

 private:
  std::promise<void> release_;
  std::shared_future<void> released_ = release_.get_future().share();
};

TEST_F(TodaySearch, StopPausesBetweenPagesAndTheWayOutKeepsEarlierEngines) {
  HeldPage first;
  HeldPage duck;
  engines_.openverse.server.SetHandler([&, pictures = 240](const HttpRequest& r) {
    const int page = std::stoi("0" + test::QueryValue(r, "page"));
    HttpResponse answer = HttpResponse::Ok(
        test::OpenverseAnswer((page - 1) * 20 + 1, page * 20, pictures / 20), "application/json");
    return page == 1 ? first.Wait(answer) : answer;
  });
  engines_.duckDuckGo.server.SetHandler([&](const HttpRequest&) {
    return duck.Wait(HttpResponse::Html(test::DuckDuckGoAnswer(1, 10, 10)));
  });
  Start();

  // Stop while the first page is on its way: the page is read, and the
  // runner pauses before it asks for the next.
  ASSERT_TRUE(engines_.openverse.server.WaitForRequests(1, std::chrono::seconds(20)));
  test::PauseWorker(WorkerKind::Search);
  first.Release();
  ASSERT_TRUE(test::WaitFor([&] { return engines_.openverse.server.OpenConnections() == 0; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(engines_.openverse.server.Requests().size(), 1u);
  EXPECT_EQ(E().lists.searchResults.GetCount(), 0);
  test::ResumeWorker(WorkerKind::Search);

  // The program ends while DuckDuckGo is asked: the earlier engines' results
  // stay.
  ASSERT_TRUE(engines_.duckDuckGo.server.WaitForRequests(1, std::chrono::seconds(60)));
  test::RequestStop(WorkerKind::Search);
  duck.Release();
  Finish();
  EXPECT_EQ(E().lists.searchResults.GetCount(), 200);
  EXPECT_TRUE(fx_->reporter.Has("row 0 status: Search Stopped"));
  EXPECT_EQ(fx_->reporter.Text(StatusField::Status), "Search Stopped");
  EXPECT_EQ(engines_.duckDuckGo.server.Requests().size(), 1u);
}

TEST_F(TodaySearch, AnAnswerThatDoesNotEndFailsInBoundedTime) {
  const long saved = TodayLimits::answerTimeoutMs.exchange(300);
  HttpResponse drip =
      HttpResponse::Ok("{\"results\":[" + std::string(1 << 20, ' '), "application/json");
  drip.dripBytes = 16;
  drip.dripIntervalMs = 5;
  engines_.openverse.server.Serve("/v1/images/", drip);
  Start({true, false, false});
  Finish();
  TodayLimits::answerTimeoutMs = saved;
  EXPECT_EQ(fx_->reporter.Text(StatusField::Status),
            "Error retrieving links from Openverse: Operation timed out after 300 milliseconds");
}

}  // namespace
}  // namespace tvx
