#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "commands/Commands.h"
#include "net/Internet.h"
#include "store/ListFiles.h"
#include "store/Lists.h"
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
    RequestedFiles.AddUrl(Url(f));
  }
  // Rows 0..3 show d, c, b, a. Select rows 3, 0 and 2 (given out of order).
  DownloadSelected({3, 0, 2});
  auto actions = Ui().CallsStartingWith("LastAction: ");
  ASSERT_EQ(actions.size(), 3u);
  EXPECT_EQ(actions[0], "LastAction: " + Url("/d.gif"));
  EXPECT_EQ(actions[1], "LastAction: " + Url("/b.gif"));
  EXPECT_EQ(actions[2], "LastAction: " + Url("/a.gif"));
  EXPECT_EQ(CurrentRow.load(), 3);
  EXPECT_TRUE(Ui().Has("row 0 status: Downloading..."));
  EXPECT_EQ(Ui().Text(StatusField::CurrentProject), "None");
  EXPECT_EQ(Ui().Text(StatusField::Status), "No errors");
  EXPECT_EQ(Registry(WorkerKind::File).Count() + DownloadedFiles.GetCount(), 3);
  ASSERT_TRUE(test::WaitForWorkers());
  EXPECT_EQ(DownloadedFiles.GetCount(), 3);
  EXPECT_EQ(RequestedFiles.GetCount(), 1);
  EXPECT_EQ(std::string(RequestedFiles.GetAt(0)->url), Url("/c.gif"));
}

TEST_F(Commands, ResumingAPausedRowEndsTheCommand) {
  http_.Serve("/slow.gif", Dripping(20000, 30));
  http_.Serve("/next.gif", HttpResponse::Ok("n"));
  RequestedFiles.AddUrl(Url("/next.gif"));  // row 1
  RequestedFiles.AddUrl(Url("/slow.gif"));  // row 0
  DownloadSelected({0});
  ASSERT_TRUE(http_.WaitForRequests(1, std::chrono::seconds(5)));
  StopSelected({0});
  EXPECT_STREQ(RequestedFiles.GetAt(1)->status, "Stopped");
  EXPECT_TRUE(Ui().Has("row 0 status: Stopped"));
  EXPECT_EQ(Ui().Text(StatusField::Status), "Download Stopped");
  EXPECT_FALSE(BusyAnimation.load());
  EXPECT_EQ(Registry(WorkerKind::File).Count(), 1) << "Stop never ends a worker";
  Ui().Clear();
  DownloadSelected({0, 1});
  EXPECT_TRUE(Ui().Has("row 0 status: Downloading..."));
  EXPECT_EQ(Ui().Text(StatusField::LastAction), Url("/slow.gif"));
  EXPECT_TRUE(Ui().Has("busy start"));
  EXPECT_TRUE(BusyAnimation.load());
  ASSERT_TRUE(test::WaitForWorkers());
  EXPECT_EQ(http_.RequestCount("/slow.gif"), 1u) << "the same worker went on";
  EXPECT_EQ(http_.RequestCount("/next.gif"), 0u) << "row 1 was not started";
  EXPECT_EQ(DownloadedFiles.GetCount(), 1);
}

TEST_F(Commands, StopPassesOverRowsWithoutAWorker) {
  RequestedFiles.AddUrl("http://127.0.0.1:1/never.gif");
  BusyAnimation = true;
  StopSelected({0});
  EXPECT_TRUE(Ui().Calls().empty());
  EXPECT_FALSE(BusyAnimation.load());
  EXPECT_STREQ(RequestedFiles.GetAt(0)->status, "Ready for download");
}

TEST_F(Commands, CommandsActOnlyOnRequestedLists) {
  DownloadedFiles.AddUrl(Url("/x.gif"));
  ListKind = kListDownloadedFiles;
  DownloadSelected({0});
  StopSelected({0});
  EXPECT_EQ(LiveWorkerCount(), 0);
  EXPECT_TRUE(Ui().Calls().empty());
}

TEST_F(Commands, SendToRequestedFilesStopsAtALinkEndingInSlash) {
  SendToRequestedFiles({"http://h/elsewhere.gif"});  // not while the requested files are shown
  ListKind = kListSearchResults;
  SendToRequestedFiles({"http://h/a.gif", "http://h/folder/", "http://h/b.gif"});
  ASSERT_EQ(RequestedFiles.GetCount(), 1);
  EXPECT_STREQ(RequestedFiles.GetAt(0)->url, "http://h/a.gif");
  EXPECT_STREQ(RequestedFiles.GetAt(0)->status, "Ready for donwload");
  EXPECT_TRUE(Ui().Calls().empty()) << "the panel is not refreshed";
}

TEST_F(Commands, DeleteAllListsWhileWorkersRunLosesTheFilesAtExit) {
  http_.Serve("/w.gif", Dripping(10000));
  RequestedFiles.AddUrl(Url("/w.gif"));
  DownloadedFiles.AddUrl("http://h/done.gif");
  SearchResults.AddUrl("http://h/r.html");
  SaveAllLists();
  ASSERT_TRUE(fs::exists("reqpics.data"));
  DownloadSelected({0});
  DeleteAllLists();
  EXPECT_TRUE(Ui().Has("delete all rows"));
  EXPECT_EQ(RequestedFiles.GetCount() + DownloadedFiles.GetCount() + SearchResults.GetCount(), 0);
  ASSERT_TRUE(test::WaitForWorkers());
  EXPECT_EQ(DownloadedFiles.GetCount(), 0) << "a worker whose record is gone moves nothing";
  SaveAllLists();
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
  RequestedSites.Add(ScheduledSite("Midnight", Url("/index.html"), 0, 0));
  RequestedSites.Add(ScheduledSite("Evening", Url("/index.html"), 22, 30));
  ListKind = kListDownloadedFiles;  // another list is shown
  ScheduleTick({22, 29});
  EXPECT_EQ(Registry(WorkerKind::Site).Count(), 0);
  ScheduleTick({22, 30});
  EXPECT_EQ(Registry(WorkerKind::Site).Find("Evening"), 0);
  EXPECT_EQ(Registry(WorkerKind::Site).Find("Midnight"), -1);
  EXPECT_STREQ(RequestedSites.GetAt(1)->status, "Downloading...");
  EXPECT_EQ(Ui().Text(StatusField::CurrentProject), "Evening");
  EXPECT_EQ(Ui().Text(StatusField::LastAction), "Finding Web Site...");
  EXPECT_TRUE(Ui().CallsStartingWith("row ").empty()) << "no row while another list is shown";
  EXPECT_EQ(CurrentRow.load(), 0);
  ScheduleTick({0, 0});
  EXPECT_GE(Registry(WorkerKind::Site).Find("Midnight"), 0);
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
  RequestedSites.Add(timed);
  RequestedSites.Add(manual);
  ListKind = kListRequestedSites;
  ScheduleTick({9, 0});
  ASSERT_EQ(Registry(WorkerKind::Site).Count(), 2);
  ScheduleTick({9, 5});
  auto timedHandle = Registry(WorkerKind::Site).At(Registry(WorkerKind::Site).Find("Timed"));
  auto manualHandle = Registry(WorkerKind::Site).At(Registry(WorkerKind::Site).Find("Manual"));
  ASSERT_TRUE(timedHandle && manualHandle);
  EXPECT_TRUE(timedHandle->Gate().IsPaused());
  EXPECT_FALSE(manualHandle->Gate().IsPaused());
  EXPECT_STREQ(RequestedSites.GetAt(0)->status, "Stopped");
  EXPECT_TRUE(Ui().Has("row 1 status: Stopped"));
  EXPECT_EQ(Ui().Text(StatusField::Status), "Download Stopped");
  // The next start minute resumes the paused worker and ends the tick.
  Ui().Clear();
  ScheduleTick({9, 0});
  EXPECT_FALSE(timedHandle->Gate().IsPaused());
  EXPECT_EQ(Ui().Text(StatusField::LastAction), "Timed");
  EXPECT_TRUE(Ui().Has("row 1 status: Downloading..."));
}

}  // namespace
}  // namespace tvx
