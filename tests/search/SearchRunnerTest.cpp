#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "search/ResultPages.h"
#include "search/SearchRunner.h"
#include "store/Lists.h"
#include "support/RecordingReporter.h"

namespace tvx {
namespace {

using test::HttpResponse;
using test::kAltaVistaPath;
using test::kYahooPath;
using Calls = std::vector<std::string>;

constexpr const char* kName = "Spring Flowers";

// The project sits between two others, so it shows in row 1.
constexpr int kRow = 1;

HttpResponse Dripping(std::string body) {
  HttpResponse r = HttpResponse::Html(std::move(body));
  r.dripBytes = 64;
  r.dripIntervalMs = 10;
  return r;
}

class SearchRunner : public ::testing::Test {
 protected:
  void SetUp() override {
    project_ = SearchProject{};
    SetText(project_.name, kName);
    SetText(project_.searchText, "red tulips");
    project_.useAltaVista = 1;
    project_.useYahoo = 1;
    SetText(project_.status, "Ready");
  }
  void TearDown() override { fx_.reset(); }

  // Lists the project as the middle one of three, shows `shown` and makes
  // `current` the current row, then starts the runner as the command does.
  void Start(int shown = kListSearchProjects, int current = kRow) {
    SearchProject other = project_;
    SetText(other.name, "Older project");
    test::E().lists.searchProjects.Add(other);
    const ItemId id = test::E().lists.searchProjects.Add(project_);
    SetText(other.name, "Newer project");
    test::E().lists.searchProjects.Add(other);
    test::Shown().Show(shown);
    test::Shown().FollowRow(current);
    ASSERT_NE(StartSearchWorker(test::E(), id, project_), nullptr);
  }
  void ServeEngines(int altaVistaLinks, int yahooLinks) {
    server_.Serve(kAltaVistaPath,
                  HttpResponse::Html(test::AltaVistaPage(test::ResultLinks(altaVistaLinks, "av"))));
    server_.Serve(kYahooPath,
                  HttpResponse::Html(test::YahooPage(test::ResultLinks(yahooLinks, "yh"))));
  }
  void Finish() { ASSERT_TRUE(test::WaitForWorkers()); }
  Calls UiCalls() const { return fx_->reporter.Calls(); }
  std::vector<std::string> ResultUrls() const {
    std::vector<std::string> urls;
    for (const auto& r : test::E().lists.searchResults.Snapshot()) {
      EXPECT_EQ(TextOf(r.status), kName);
      urls.emplace_back(TextOf(r.url));
    }
    return urls;
  }
  std::vector<std::string> Expected(int altaVistaLinks, int yahooLinks) const {
    auto urls = test::Kept(test::ResultLinks(altaVistaLinks, "av"));
    for (auto& l : test::Kept(test::ResultLinks(yahooLinks, "yh"))) urls.push_back(l);
    return urls;
  }

  SearchProject project_;
  std::unique_ptr<test::EngineFixture> fx_ = std::make_unique<test::EngineFixture>();
  test::TestHttpServer server_;
  test::EnginesAt engines_{server_};
};

TEST_F(SearchRunner, BothEnginesWithTheRowCurrentReportEveryStep) {
  // Flags of engines without a query change nothing.
  project_.useHotBot = project_.useNorthernLight = project_.useWebCrawler = 1;
  project_.useMsn = project_.useGo2Net = 1;
  ServeEngines(12, 5);
  Start();
  Finish();

  EXPECT_EQ(UiCalls(), (Calls{
                           "row 1 status: Running search project...",
                           "busy start",
                           "LastAction: Retrieving links from Altavista...",
                           "row 1 status: Search Completed Successfully",
                           "Status: 12 links found",
                           "LastAction: Retrieving links from Yahoo...",
                           "Status: 17 links found",
                           "busy stop",
                           "LastAction: Search ended",
                           "Status: Search completed succesfully",
                       }));
  EXPECT_EQ(ResultUrls(), Expected(12, 5));
  EXPECT_TRUE(test::E().lists.searchResults.IsModified());
  EXPECT_EQ(server_.Requests().size(), 2u);
  // The project stays where it was, its own status untouched, and the
  // worker is gone from the registry.
  ASSERT_EQ(test::E().lists.searchProjects.GetCount(), 3);
  EXPECT_EQ(TextOf(test::E().lists.searchProjects.CopyAt(1)->status), "Ready");
  EXPECT_EQ(test::E().workers.Registry(WorkerKind::Search).Count(), 0);
}

TEST_F(SearchRunner, AnotherListShownGetsNoTextsButTheResults) {
  ServeEngines(12, 5);
  Start(kListDownloadedFiles);
  Finish();
  EXPECT_EQ(UiCalls(), (Calls{"busy start", "busy stop"}));
  EXPECT_EQ(ResultUrls(), Expected(12, 5));
}

TEST_F(SearchRunner, ShownResultsGetEachNewLinkOnTopOfThePanel) {
  ServeEngines(2, 1);
  Start(kListSearchResults);
  Finish();
  auto urls = ResultUrls();
  ASSERT_EQ(urls.size(), 3u);
  Calls expected{"busy start"};
  for (const auto& url : urls) {
    expected.push_back("insert row: " + url);
    expected.push_back("row 0 status: " + std::string(TextOf(project_.name)));
  }
  expected.push_back("busy stop");
  EXPECT_EQ(UiCalls(), expected);
}

TEST_F(SearchRunner, ARowThatIsNotCurrentGetsOnlyItsStatusCell) {
  ServeEngines(2, 3);
  Start(kListSearchProjects, /*current=*/0);
  Finish();
  EXPECT_EQ(UiCalls(), (Calls{"row 1 status: Running search project...", "busy start",
                              "row 1 status: Search Completed Successfully", "busy stop"}));
  EXPECT_EQ(ResultUrls(), Expected(2, 3));
}

TEST_F(SearchRunner, AltaVistaWithoutLinksIsAnErrorAndYahooStillRuns) {
  ServeEngines(0, 3);
  Start();
  Finish();
  EXPECT_EQ(UiCalls(), (Calls{
                           "row 1 status: Running search project...",
                           "busy start",
                           "LastAction: Retrieving links from Altavista...",
                           "row 1 status: Error retrieving links from Altavista",
                           "Status: Error retrieving links from Altavista",
                           "LastAction: Retrieving links from Yahoo...",
                           "Status: 3 links found",
                           "busy stop",
                       }));
  EXPECT_EQ(ResultUrls(), Expected(0, 3));
}

TEST_F(SearchRunner, OnlyYahooFailingLeavesTheRowRunning) {
  project_.useAltaVista = 0;
  test::EnginesAt engines(server_.Host() + ":" + std::to_string(server_.Port()), test::DeadHost());
  ServeEngines(12, 5);
  Start();
  Finish();
  EXPECT_EQ(UiCalls(), (Calls{
                           "row 1 status: Running search project...",
                           "busy start",
                           "LastAction: Retrieving links from Yahoo...",
                           "Status: Error retrieving links from Yahoo",
                           "busy stop",
                       }));
  EXPECT_TRUE(server_.Requests().empty());
  EXPECT_EQ(test::E().lists.searchResults.GetCount(), 0);
}

TEST_F(SearchRunner, AnEmptySearchTextIsAnErrorForBothWithoutRequests) {
  SetText(project_.searchText, "");
  Start();
  Finish();
  EXPECT_TRUE(fx_->reporter.Has("row 1 status: Error retrieving links from Altavista"));
  EXPECT_EQ(fx_->reporter.Text(StatusField::Status), "Error retrieving links from Yahoo");
  EXPECT_FALSE(fx_->reporter.Has("LastAction: Search ended"));
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(SearchRunner, NoEngineSetEndsSuccessfullyWithoutQueries) {
  project_.useAltaVista = project_.useYahoo = 0;
  project_.useHotBot = 1;
  Start();
  Finish();
  EXPECT_EQ(UiCalls(), (Calls{"row 1 status: Running search project...", "busy start", "busy stop",
                              "LastAction: Search ended", "Status: Search completed succesfully"}));
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(SearchRunner, AStopDuringAltaVistaEndsTheRunBeforeYahoo) {
  server_.Serve(kAltaVistaPath, Dripping(test::AltaVistaPage(test::ResultLinks(300))));
  server_.Serve(kYahooPath, HttpResponse::Html(test::YahooPage(test::ResultLinks(5))));
  Start();
  ASSERT_TRUE(server_.WaitForRequests(1, std::chrono::seconds(20)));
  test::RequestStop(WorkerKind::Search);
  Finish();
  EXPECT_EQ(UiCalls(), (Calls{
                           "row 1 status: Running search project...",
                           "busy start",
                           "LastAction: Retrieving links from Altavista...",
                           "row 1 status: Search Stopped",
                           "Status: Search Stopped",
                           "busy stop",
                       }));
  EXPECT_EQ(server_.RequestCount(kYahooPath), 0u);
  EXPECT_EQ(test::E().lists.searchResults.GetCount(), 0);
  EXPECT_EQ(test::E().workers.Registry(WorkerKind::Search).Count(), 0);
}

TEST_F(SearchRunner, AStopDuringYahooKeepsTheAltaVistaLinks) {
  server_.Serve(kAltaVistaPath,
                HttpResponse::Html(test::AltaVistaPage(test::ResultLinks(12, "av"))));
  server_.Serve(kYahooPath, Dripping(test::YahooPage(test::ResultLinks(300))));
  Start(kListSearchProjects, /*current=*/2);
  ASSERT_TRUE(server_.WaitForRequests(2, std::chrono::seconds(20)));
  test::RequestStop(WorkerKind::Search);
  Finish();
  EXPECT_EQ(UiCalls(), (Calls{"row 1 status: Running search project...", "busy start",
                              "row 1 status: Search Completed Successfully",
                              "row 1 status: Search Stopped", "busy stop"}));
  EXPECT_EQ(ResultUrls(), Expected(12, 0));
}

TEST_F(SearchRunner, APausedRunnerReadsNoFurtherUntilResumed) {
  project_.useYahoo = 0;
  server_.Serve(kAltaVistaPath, Dripping(test::AltaVistaPage(test::ResultLinks(30, "av"))));
  Start(kListSearchResults);
  ASSERT_TRUE(server_.WaitForRequests(1, std::chrono::seconds(20)));
  test::PauseWorker(WorkerKind::Search);
  // The whole page reaches the client meanwhile; the runner must not use it.
  ASSERT_TRUE(test::WaitFor([&] { return server_.OpenConnections() == 0; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(test::E().lists.searchResults.GetCount(), 0);
  EXPECT_EQ(test::E().workers.Registry(WorkerKind::Search).Count(), 1);
  test::ResumeWorker(WorkerKind::Search);
  Finish();
  EXPECT_EQ(ResultUrls(), Expected(30, 0));
}

TEST_F(SearchRunner, AProjectDeletedWhileRunningIsNoLongerShown) {
  server_.Serve(kAltaVistaPath, Dripping(test::AltaVistaPage(test::ResultLinks(20, "av"))));
  server_.Serve(kYahooPath, HttpResponse::Html(test::YahooPage(test::ResultLinks(4, "yh"))));
  Start();
  ASSERT_TRUE(server_.WaitForRequests(1, std::chrono::seconds(20)));
  fx_->OnUi(
      [] { test::E().lists.searchProjects.RemoveAt(test::E().lists.searchProjects.Find(kName)); });
  Finish();
  // Nothing after the deletion names a row or touches the status view; the
  // links found are still kept.
  EXPECT_EQ(UiCalls(), (Calls{"row 1 status: Running search project...", "busy start",
                              "LastAction: Retrieving links from Altavista...", "busy stop"}));
  EXPECT_EQ(ResultUrls(), Expected(20, 4));
}

}  // namespace
}  // namespace tvx
