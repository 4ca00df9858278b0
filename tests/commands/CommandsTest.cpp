#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "commands/Commands.h"
#include "commands/ItemCommands.h"
#include "net/Internet.h"
#include "store/ListFiles.h"
#include "store/Lists.h"
#include "support/Files.h"
#include "support/RecordingReporter.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"
#include "workers/WorkerControl.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
using test::HttpResponse;
using test::WaitFor;

HttpResponse Dripping(std::size_t size, int intervalMs = 20) {
  HttpResponse r = HttpResponse::Ok(std::string(size, 'p'));
  r.dripBytes = 500;
  r.dripIntervalMs = intervalMs;
  return r;
}

// The requested web site of that name, and its worker.
ItemRef SiteItem(const char* name) {
  const RecordList<SiteProject>& sites = test::E().lists.requestedSites;
  return {kListRequestedSites, sites.IdAt(sites.Find(name))};
}
std::shared_ptr<WorkerHandle> SiteWorker(const char* name) {
  return test::E().workers.Find(WorkerKind::Site, SiteItem(name).id);
}

class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    fs::current_path(dir_.Path());
  }
  void TearDown() override {
    fx_.reset();
    fs::current_path(old_);
  }
  test::RecordingReporter& Ui() { return fx_->reporter; }
  std::string Url(const std::string& path) { return http_.Url(path); }

  test::TempDir dir_{"tvx-commands"};
  fs::path old_;
  std::unique_ptr<test::EngineFixture> fx_ = std::make_unique<test::EngineFixture>();
  test::TestHttpServer http_;
};

TEST_F(Commands, DownloadStartsSelectedRowsInRowOrderAndTheLastIsCurrent) {
  for (const char* f : {"/a.gif", "/b.gif", "/c.gif", "/d.gif"}) {
    http_.Serve(f, Dripping(3000));
    test::E().lists.requestedFiles.AddUrl(Url(f));
  }
  // Rows 0..3 show d, c, b, a. Select rows 3, 0 and 2 (given out of order).
  test::DownloadRows({3, 0, 2});
  auto actions = Ui().CallsStartingWith("LastAction: ");
  ASSERT_EQ(actions.size(), 3u);
  EXPECT_EQ(actions[0], "LastAction: " + Url("/d.gif"));
  EXPECT_EQ(actions[1], "LastAction: " + Url("/b.gif"));
  EXPECT_EQ(actions[2], "LastAction: " + Url("/a.gif"));
  EXPECT_EQ(test::FollowedRow(), 3);
  EXPECT_TRUE(Ui().Has("row 0 status: Downloading..."));
  EXPECT_EQ(Ui().Text(StatusField::CurrentProject), "None");
  EXPECT_EQ(Ui().Text(StatusField::Status), "No errors");
  EXPECT_EQ(test::E().workers.Registry(WorkerKind::File).Count() +
                test::E().lists.downloadedFiles.GetCount(),
            3);
  ASSERT_TRUE(test::WaitForWorkers());
  EXPECT_EQ(test::E().lists.downloadedFiles.GetCount(), 3);
  EXPECT_EQ(test::E().lists.requestedFiles.GetCount(), 1);
  EXPECT_EQ(std::string(test::E().lists.requestedFiles.GetAt(0)->url), Url("/c.gif"));
}

TEST_F(Commands, ResumingAPausedRowEndsTheCommand) {
  http_.Serve("/slow.gif", Dripping(20000, 30));
  http_.Serve("/next.gif", HttpResponse::Ok("n"));
  test::E().lists.requestedFiles.AddUrl(Url("/next.gif"));  // row 1
  test::E().lists.requestedFiles.AddUrl(Url("/slow.gif"));  // row 0
  test::DownloadRows({0});
  ASSERT_TRUE(http_.WaitForRequests(1, std::chrono::seconds(5)));
  test::StopRows({0});
  EXPECT_STREQ(test::E().lists.requestedFiles.GetAt(1)->status, "Stopped");
  EXPECT_TRUE(Ui().Has("row 0 status: Stopped"));
  EXPECT_EQ(Ui().Text(StatusField::Status), "Download Stopped");
  EXPECT_FALSE(test::E().workers.busyAnimation.load());
  EXPECT_EQ(test::E().workers.Registry(WorkerKind::File).Count(), 1) << "Stop never ends a worker";
  Ui().Clear();
  test::DownloadRows({0, 1});
  EXPECT_TRUE(Ui().Has("row 0 status: Downloading..."));
  EXPECT_EQ(Ui().Text(StatusField::LastAction), Url("/slow.gif"));
  EXPECT_TRUE(Ui().Has("busy start"));
  EXPECT_TRUE(test::E().workers.busyAnimation.load());
  ASSERT_TRUE(test::WaitForWorkers());
  EXPECT_EQ(http_.RequestCount("/slow.gif"), 1u) << "the same worker went on";
  EXPECT_EQ(http_.RequestCount("/next.gif"), 0u) << "row 1 was not started";
  EXPECT_EQ(test::E().lists.downloadedFiles.GetCount(), 1);
}

TEST_F(Commands, StopPassesOverRowsWithoutAWorker) {
  test::E().lists.requestedFiles.AddUrl("http://127.0.0.1:1/never.gif");
  test::E().workers.busyAnimation = true;
  test::StopRows({0});
  EXPECT_TRUE(Ui().Calls().empty());
  EXPECT_FALSE(test::E().workers.busyAnimation.load());
  EXPECT_STREQ(test::E().lists.requestedFiles.GetAt(0)->status, "Ready for download");
}

TEST_F(Commands, CommandsActOnlyOnRequestedLists) {
  test::E().lists.downloadedFiles.AddUrl(Url("/x.gif"));
  test::Shown().Show(kListDownloadedFiles);
  test::DownloadRows({0});
  test::StopRows({0});
  EXPECT_EQ(test::E().workers.Live(), 0);
  EXPECT_TRUE(Ui().Calls().empty());
}

TEST_F(Commands, SendToRequestedFilesStopsAtALinkEndingInSlash) {
  test::Shown().Show(kListSearchResults);
  SendToRequestedFiles(test::E(), {"http://h/a.gif", "http://h/folder/", "http://h/b.gif"});
  ASSERT_EQ(test::E().lists.requestedFiles.GetCount(), 1);
  EXPECT_STREQ(test::E().lists.requestedFiles.GetAt(0)->url, "http://h/a.gif");
  EXPECT_STREQ(test::E().lists.requestedFiles.GetAt(0)->status, "Ready for donwload");
  EXPECT_TRUE(Ui().Calls().empty()) << "the panel is not refreshed";
}

TEST_F(Commands, DeleteAllListsWhileWorkersRunLosesTheFilesAtExit) {
  http_.Serve("/w.gif", Dripping(10000));
  test::E().lists.requestedFiles.AddUrl(Url("/w.gif"));
  test::E().lists.downloadedFiles.AddUrl("http://h/done.gif");
  test::E().lists.searchResults.AddUrl("http://h/r.html");
  test::E().Store().SaveAll();
  ASSERT_TRUE(fs::exists("reqpics.data"));
  test::DownloadRows({0});
  DeleteAllLists(test::E());
  EXPECT_TRUE(Ui().Has("delete all rows"));
  EXPECT_EQ(test::E().lists.requestedFiles.GetCount() + test::E().lists.downloadedFiles.GetCount() +
                test::E().lists.searchResults.GetCount(),
            0);
  ASSERT_TRUE(test::WaitForWorkers());
  EXPECT_EQ(test::E().lists.downloadedFiles.GetCount(), 0)
      << "a worker whose record is gone moves nothing";
  test::E().Store().SaveAll();
  EXPECT_FALSE(fs::exists("reqpics.data"));
  EXPECT_FALSE(fs::exists("dnldpics.data"));
  EXPECT_FALSE(fs::exists("picsearchres.data"));
}

SiteProject ScheduledSite(const std::string& name, const std::string& url, int startHour,
                          int startMinute) {
  SiteProject p{};
  SetText(p.name, name);
  SetText(p.startUrl, url);
  p.downloadAllFiles = 1;
  p.startHour = startHour;
  p.startMinute = startMinute;
  p.stopWhenRequested = 1;
  p.stopHour = startHour;
  p.stopMinute = startMinute;
  SetText(p.status, "Ready for download");
  return p;
}

TEST_F(Commands, ScheduleStartsAtTheSetMinuteOnly) {
  HttpResponse page = HttpResponse::Html("<html>nothing</html>");
  page.dripBytes = 5;
  page.dripIntervalMs = 50;
  http_.Serve("/index.html", page);
  test::E().lists.requestedSites.Add(ScheduledSite("Midnight", Url("/index.html"), 0, 0));
  test::E().lists.requestedSites.Add(ScheduledSite("Evening", Url("/index.html"), 22, 30));
  test::Shown().Show(kListDownloadedFiles);  // another list is shown
  ScheduleTick(test::E(), {22, 29});
  EXPECT_EQ(test::E().workers.Registry(WorkerKind::Site).Count(), 0);
  ScheduleTick(test::E(), {22, 30});
  EXPECT_NE(SiteWorker("Evening"), nullptr);
  EXPECT_EQ(SiteWorker("Midnight"), nullptr);
  EXPECT_STREQ(test::E().lists.requestedSites.GetAt(1)->status, "Downloading...");
  EXPECT_EQ(Ui().Text(StatusField::CurrentProject), "Evening");
  EXPECT_EQ(Ui().Text(StatusField::LastAction), "Finding Web Site...");
  EXPECT_TRUE(Ui().CallsStartingWith("row ").empty()) << "no row while another list is shown";
  EXPECT_EQ(test::Shown().Followed(), SiteItem("Evening"));
  ScheduleTick(test::E(), {0, 0});
  EXPECT_NE(SiteWorker("Midnight"), nullptr);
  ASSERT_TRUE(test::WaitForWorkers());
}

TEST_F(Commands, ScheduledStopPausesButStopWhenRequestedNeverDoes) {
  HttpResponse page = HttpResponse::Html(std::string(1000, ' ') + "<a href=\"x.html\">x</a>");
  page.dripBytes = 10;
  page.dripIntervalMs = 20;
  http_.Serve("/index.html", page);
  SiteProject timed = ScheduledSite("Timed", Url("/index.html"), 9, 0);
  timed.stopWhenRequested = 0;
  timed.stopHour = 9;
  timed.stopMinute = 5;
  SiteProject manual = ScheduledSite("Manual", Url("/index.html"), 9, 0);
  manual.stopHour = 9;
  manual.stopMinute = 5;
  test::E().lists.requestedSites.Add(timed);
  test::E().lists.requestedSites.Add(manual);
  test::Shown().Show(kListRequestedSites);
  ScheduleTick(test::E(), {9, 0});
  ASSERT_EQ(test::E().workers.Registry(WorkerKind::Site).Count(), 2);
  ScheduleTick(test::E(), {9, 5});
  auto timedHandle = SiteWorker("Timed");
  auto manualHandle = SiteWorker("Manual");
  ASSERT_TRUE(timedHandle && manualHandle);
  EXPECT_TRUE(timedHandle->Gate().IsPaused());
  EXPECT_FALSE(manualHandle->Gate().IsPaused());
  EXPECT_STREQ(test::E().lists.requestedSites.GetAt(0)->status, "Stopped");
  EXPECT_TRUE(Ui().Has("row 1 status: Stopped"));
  EXPECT_EQ(Ui().Text(StatusField::Status), "Download Stopped");
  // The next start minute resumes the paused worker and ends the tick.
  Ui().Clear();
  ScheduleTick(test::E(), {9, 0});
  EXPECT_FALSE(timedHandle->Gate().IsPaused());
  EXPECT_EQ(Ui().Text(StatusField::LastAction), "Timed");
  EXPECT_TRUE(Ui().Has("row 1 status: Downloading..."));
}

}  // namespace
}  // namespace tvx

namespace tvx {
namespace {

// Rows renumber on every add and delete. With items added and deleted above a
// running and a paused item, Stop, Download and every report reach their own
// item only.
TEST_F(Commands, RequestsAndReportsFollowTheirItemsWhileRowsRenumber) {
  std::atomic<bool> releaseA{false}, releaseB{false};
  const std::string bodyA(20000, 'a'), bodyB(30000, 'b');
  // Each answer waits for the test: the transfers run exactly as long as it says.
  http_.SetHandler([&](const test::HttpRequest& r) {
    std::atomic<bool>& release = r.path == "/a.gif" ? releaseA : releaseB;
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return HttpResponse::Ok(r.path == "/a.gif" ? bodyA : bodyB);
  });
  RecordList<FileRecord>& files = test::E().lists.requestedFiles;
  const ItemId x1 = files.AddUrl(Url("/x1.gif"));
  const ItemId a = files.AddUrl(Url("/a.gif"));
  const ItemId b = files.AddUrl(Url("/b.gif"));
  const ItemId x2 = files.AddUrl(Url("/x2.gif"));
  // Rows: x2 0, b 1, a 2, x1 3.
  test::DownloadRows({1, 2});
  ASSERT_TRUE(http_.WaitForRequests(2, std::chrono::seconds(20)));
  test::StopRows({1});
  auto workerA = test::E().workers.Find(WorkerKind::File, a);
  auto workerB = test::E().workers.Find(WorkerKind::File, b);
  ASSERT_TRUE(workerA && workerB);
  EXPECT_TRUE(workerB->Gate().IsPaused());
  EXPECT_FALSE(workerA->Gate().IsPaused());

  // Three files come on top, and two rows above a and b go.
  for (const char* f : {"/n1.gif", "/n2.gif", "/n3.gif"}) AddFiles(test::E(), Url(f));
  DeleteEntries(test::E(), kListRequestedFiles, {x2, files.IdAt(files.GetCount() - 1)});
  // Rows: n2 0, n1 1, b 2, a 3, x1 4.
  ASSERT_EQ(test::Shown().IdAtRow(2), b);
  ASSERT_EQ(test::Shown().IdAtRow(3), a);
  Ui().Clear();
  test::StopRows({3});
  EXPECT_TRUE(workerA->Gate().IsPaused());
  EXPECT_TRUE(Ui().Has("row 3 status: Stopped"));
  releaseA = releaseB = true;

  // Download on b's row goes on with b only; its reports reach b's row.
  test::DownloadRows({2});
  EXPECT_FALSE(workerB->Gate().IsPaused());
  EXPECT_TRUE(workerA->Gate().IsPaused());
  ASSERT_TRUE(WaitFor([&] { return workerB->Finished(); }));
  EXPECT_TRUE(Ui().Has("delete row 2"));
  EXPECT_EQ(test::E().lists.downloadedFiles.IndexOf(b), 0) << "b moved with its id";
  EXPECT_STREQ(files.CopyOf(a)->status, "Stopped");
  EXPECT_EQ(test::E().workers.Find(WorkerKind::File, a), workerA) << "a waits, paused";

  // a now stands on row 2; Download there resumes it.
  ASSERT_EQ(test::Shown().IdAtRow(2), a);
  test::DownloadRows({2});
  ASSERT_TRUE(test::WaitForWorkers());
  EXPECT_EQ(test::ReadFile("Pictures/a.gif"), bodyA);
  EXPECT_EQ(test::ReadFile("Pictures/b.gif"), bodyB);
  EXPECT_EQ(http_.RequestCount("/a.gif"), 1u);
  EXPECT_EQ(http_.RequestCount("/b.gif"), 1u);
  // Nothing reached the other items: their records and rows are as added.
  for (ItemId other :
       {x1, files.IdAt(files.Find(Url("/n1.gif"))), files.IdAt(files.Find(Url("/n2.gif")))})
    EXPECT_STREQ(files.CopyOf(other)->status, "Ready for download");
  for (const std::string& call : Ui().CallsStartingWith("row ")) {
    EXPECT_EQ(call.find("row 0 "), std::string::npos) << call;
    EXPECT_EQ(call.find("row 1 "), std::string::npos) << call;
  }
}

// A paused modern crawl went on reading its stop flag at a row that had gone
// stale: another project started on that row stopped it. Now another
// project's start, wherever it stands, leaves it paused and whole.
TEST_F(Commands, AnotherProjectStartedOnAPausedCrawlsOldRowLeavesItAlone) {
  std::atomic<bool> release{false};
  http_.SetHandler([&](const test::HttpRequest& r) {
    if (r.path == "/p/index.html")
      return HttpResponse::Html("<img src=\"1.gif\"><img src=\"2.gif\"><img src=\"3.gif\">");
    if (r.path.rfind("/p/", 0) == 0) {
      while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      return HttpResponse::Ok("GIF89a" + r.path, "image/gif");
    }
    return HttpResponse::Html("<p>nothing here</p>");
  });
  RecordList<SiteProject>& sites = test::E().lists.requestedSites;
  SiteProject p{};
  SetText(p.name, "P");
  SetText(p.startUrl, Url("/p/index.html"));
  p.typeGif = 1;
  p.runWhenRequested = p.stopWhenRequested = 1;
  const ItemId pid = sites.Add(p);
  test::E().siteOptions.Set("P", {true, 2});
  test::Shown().Show(kListRequestedSites);
  test::DownloadRows({0});
  ASSERT_TRUE(http_.WaitForRequests(2, std::chrono::seconds(20)));  // the page, a picture
  test::StopRows({0});
  auto crawl = test::E().workers.Find(WorkerKind::Site, pid);
  ASSERT_TRUE(crawl && crawl->Gate().IsPaused());

  // Q comes on top and P moves down; Q runs on row 0, P's old row.
  SiteProject q = p;
  SetText(q.name, "Q");
  SetText(q.startUrl, Url("/q/index.html"));
  sites.Add(q);
  test::DownloadRows({0});
  ASSERT_TRUE(WaitFor([&] { return test::E().lists.downloadedSites.Find("Q") >= 0; }));
  EXPECT_TRUE(crawl->Gate().IsPaused());
  EXPECT_FALSE(crawl->StopRequested());
  EXPECT_STREQ(sites.CopyOf(pid)->status, "Stopped");

  release = true;
  test::DownloadRows({0});  // P is on row 0 again
  ASSERT_TRUE(test::WaitForWorkers());
  ASSERT_EQ(test::E().lists.downloadedSites.IndexOf(pid), 1);
  EXPECT_STREQ(test::E().lists.downloadedSites.CopyOf(pid)->status, "Success");
  for (const char* picture : {"1.gif", "2.gif", "3.gif"})
    EXPECT_EQ(test::ReadFile(std::string("Pictures/P/p/") + picture),
              std::string("GIF89a/p/") + picture);
}

}  // namespace
}  // namespace tvx
