// Real work started from the window against loopback servers: a download,
// a crawl and a search, and many workers while the user keeps working.
#include <gtest/gtest.h>

#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "commands/CommandIds.h"
#include "net/Internet.h"
#include "store/ListFiles.h"
#include "store/Lists.h"
#include "support/Files.h"
#include "support/FtpServer.h"
#include "support/ListReset.h"
#include "support/TestHttpServer.h"
#include "ui/DialogDriver.h"
#include "ui/MainTestSupport.h"
#include "ui/frame/MainFrame.h"
#include "ui/views/DnldList.h"
#include "ui/views/ListPanel.h"
#include "ui/views/StatusView.h"
#include "ui/views/TreePanel.h"
#include "workers/WorkerControl.h"

namespace tvx::ui {
namespace {

using test::ReadFile;

namespace fs = std::filesystem;
using test::HttpResponse;

// Workers report through the window's thread, so waiting must keep it running.
bool WaitForWorkers(int seconds = 30) {
  return QTest::qWaitFor([] { return test::E().workers.Live() == 0; }, seconds * 1000);
}

class WindowWork : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ResetLists();
    net::ClientLimits::stallTimeoutMs = 5000;
  }
  void Open() {
    frame = std::make_unique<CMainFrame>(test::E());
    frame->OnInitialUpdate();
    frame->resize(1000, 700);
    frame->show();
  }
  void TearDown() override {
    // No worker may outlive the window it reports to.
    test::E().workers.RequestStopAll();
    EXPECT_TRUE(WaitForWorkers(60));
    frame.reset();
    test::ResetLists();
    net::ClientLimits::stallTimeoutMs = 60000;
  }
  void SelectOnly(std::initializer_list<int> rows) {
    frame->ListPanel()->clearSelection();
    for (int r : rows) frame->ListPanel()->SetRowSelected(r, true);
  }
  // The panel shows the list ListKind names, newest first, record for record.
  void ExpectPanelMatchesList() {
    CListPanel* panel = frame->ListPanel();
    auto check = [&](auto& list) {
      auto records = list.Snapshot();
      ASSERT_EQ(panel->RowCount(), static_cast<int>(records.size()));
      for (int row = 0; row < panel->RowCount(); ++row) {
        const auto& r = records[IndexOfRow(static_cast<int>(records.size()), row)];
        ASSERT_EQ(panel->RowText(row, 0).toStdString(), std::string(KeyOf(r))) << row;
      }
    };
    WithList(test::E().lists, frame->Shown().Shown(), check);
  }

  test::ScopedWorkDir workDir;
  test::ShellOpens opens;
  test::MessageAnswers answers;  // "Yes" to every question, OK to every box
  test::TestHttpServer http;
  std::unique_ptr<CMainFrame> frame;
};

TEST_F(WindowWork, DownloadFromTheWindowEndsInDownloadedFiles) {
  std::string body(5000, '\x7f');
  http.Serve("/photo.jpg", HttpResponse::Ok(body));
  test::E().lists.requestedFiles.AddUrl(http.Url("/photo.jpg"));
  test::E().lists.requestedFiles.SetModified(false);
  Open();
  ASSERT_EQ(frame->ListPanel()->RowCount(), 1);
  SelectOnly({0});
  frame->RouteCommand(kCmdDownloadSelected);
  ASSERT_TRUE(WaitForWorkers());
  EXPECT_EQ(frame->ListPanel()->RowCount(), 0);
  EXPECT_EQ(frame->StatusView()->LastAction(), "Download ended");
  EXPECT_EQ(frame->StatusView()->Status(), "Success");
  EXPECT_EQ(ReadFile("Pictures/photo.jpg"), body);
  frame->TreePanel()->SwitchTo("Downloaded Files");
  ASSERT_EQ(frame->ListPanel()->RowCount(), 1);
  EXPECT_EQ(frame->ListPanel()->RowText(0, 0).toStdString(), http.Url("/photo.jpg"));
  EXPECT_EQ(frame->ListPanel()->RowText(0, 1), "Success");
}

// A click on one row of a two-row selection used to report the old
// selection, so the status view followed the other row: once the clicked
// (top) row was deleted, the survivor's end never showed.
TEST_F(WindowWork, ClickInASelectionMakesTheClickedRowCurrent) {
  HttpResponse slow = HttpResponse::Ok(std::string(30000, 's'));
  slow.dripBytes = 1000;
  slow.dripIntervalMs = 20;
  http.Serve("/one.gif", slow);
  http.Serve("/two.gif", slow);
  test::E().lists.requestedFiles.AddUrl(http.Url("/one.gif"));
  test::E().lists.requestedFiles.AddUrl(http.Url("/two.gif"));
  Open();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
  CListPanel* panel = frame->ListPanel();
  SelectOnly({0, 1});
  frame->RouteCommand(kCmdDownloadSelected);
  ASSERT_EQ(test::E().workers.Live(), 2);

  QTest::mouseClick(panel->viewport(), Qt::LeftButton, {},
                    panel->visualItemRect(panel->topLevelItem(0)).center());
  EXPECT_EQ(panel->SelectedRows(), std::vector<int>{0});
  EXPECT_EQ(frame->StatusView()->LastAction().toStdString(), http.Url("/two.gif") + " selected");
  EXPECT_EQ(frame->Shown().RowOf(frame->Shown().Followed()), 0);

  frame->RouteCommand(kCmdDeleteEntry);
  ASSERT_TRUE(WaitForWorkers());
  EXPECT_EQ(frame->StatusView()->LastAction(), "Download ended");
  EXPECT_EQ(frame->StatusView()->Status(), "Success");
  ASSERT_EQ(test::E().lists.downloadedFiles.GetCount(), 1);
  EXPECT_EQ(std::string(KeyOf(*test::E().lists.downloadedFiles.GetAt(0))), http.Url("/one.gif"));
}

TEST_F(WindowWork, CrawlFromTheWindowFillsTheDownloadedFilesTree) {
  http.Serve("/index.html", HttpResponse::Html("<a href=\"a/b.gif\">b</a>\n"));
  http.Serve("/a/b.gif", HttpResponse::Ok("GIF89a"));
  SiteProject p{};
  SetText(p.name, "Garden");
  SetText(p.startUrl, http.Url("/index.html"));
  p.downloadAllFiles = 1;
  p.runWhenRequested = 1;
  p.stopWhenRequested = 1;
  SetText(p.status, "Ready for download");
  test::E().lists.requestedSites.Add(p);
  Open();
  frame->TreePanel()->SwitchTo("Web Sites");
  ASSERT_EQ(frame->ListPanel()->RowCount(), 1);
  SelectOnly({0});
  frame->RouteCommand(kCmdDownloadSelected);
  ASSERT_TRUE(WaitForWorkers());
  EXPECT_EQ(ReadFile("Pictures/Garden/a/b.gif"), "GIF89a");
  EXPECT_EQ(frame->ListPanel()->RowCount(), 0);
  EXPECT_EQ(test::E().lists.downloadedSites.GetCount(), 1);
  QTreeWidget* tree = frame->DnldList();
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  EXPECT_EQ(tree->topLevelItem(0)->text(0), "Garden");
  ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
  // Paths are shown with the separator of this system.
  EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), "Pictures/Garden/a/b.gif");
}

TEST_F(WindowWork, SearchFromTheWindowAppendsResults) {
  std::string page = "<html>\n";
  for (int i = 0; i < 4; ++i)
    page += "<a href=\"http://found.example/" + std::to_string(i) + ".html\">r</a>\n";
  http.Serve("/cgi-bin/query", HttpResponse::Html(page));
  http.Serve("/bin/search", HttpResponse::Html(page));
  std::string host = "127.0.0.1:" + std::to_string(http.Port());
  setenv("TAVRINOX_ALTAVISTA_HOST", host.c_str(), 1);
  setenv("TAVRINOX_YAHOO_HOST", host.c_str(), 1);
  SearchProject s{};
  SetText(s.name, "Boats");
  SetText(s.searchText, "red boats");
  s.useAltaVista = 1;
  s.useYahoo = 1;
  s.runWhenRequested = 1;
  s.stopWhenRequested = 1;
  test::E().lists.searchProjects.Add(s);
  Open();
  frame->TreePanel()->SwitchTo("Search Projects");
  SelectOnly({0});
  frame->RouteCommand(kCmdDownloadSelected);
  ASSERT_TRUE(WaitForWorkers());
  unsetenv("TAVRINOX_ALTAVISTA_HOST");
  unsetenv("TAVRINOX_YAHOO_HOST");
  EXPECT_EQ(test::E().lists.searchResults.GetCount(), 8);
  EXPECT_EQ(frame->ListPanel()->RowText(0, 1), "Search Completed Successfully");
  EXPECT_EQ(frame->StatusView()->Status(), "Search completed succesfully");
  frame->TreePanel()->SwitchTo("Search Results");
  EXPECT_EQ(frame->ListPanel()->RowCount(), 8);
}

TEST_F(WindowWork, ManyWorkersWhileTheUserKeepsWorking) {
  // Files over HTTP and FTP, crawls and searches, about fifty at once.
  test::TempDir site("tvx-window-site"), ftpRoot("tvx-window-ftp");
  std::string index = "<html>\n";
  for (int i = 0; i < 6; ++i) {
    index += "<a href=\"p" + std::to_string(i) + ".html\">p</a> <img src=\"i" + std::to_string(i) +
             ".gif\" >\n";
    site.Write("p" + std::to_string(i) + ".html",
               "<img src=\"i" + std::to_string(i) + ".gif\" >\n");
    site.Write("i" + std::to_string(i) + ".gif", std::string(20000, 'g'));
    ftpRoot.Write("f" + std::to_string(i) + ".gif", std::string(30000, 'f'));
  }
  site.Write("index.html", index);
  http.ServeFolder(site.Path());
  HttpResponse slow = HttpResponse::Ok(std::string(30000, 's'));
  slow.dripBytes = 1000;
  slow.dripIntervalMs = 20;
  http.Serve("/slow.gif", slow);
  std::string results = "<html>\n";
  for (int i = 0; i < 20; ++i)
    results += "<a href=\"http://r.example/" + std::to_string(i) + "\">r</a>\n";
  http.Serve("/cgi-bin/query", HttpResponse::Html(results));
  http.Serve("/bin/search", HttpResponse::Html(results));
  std::string host = "127.0.0.1:" + std::to_string(http.Port());
  setenv("TAVRINOX_ALTAVISTA_HOST", host.c_str(), 1);
  setenv("TAVRINOX_YAHOO_HOST", host.c_str(), 1);
  test::FtpServer ftp(ftpRoot.Path());

  for (int i = 0; i < 20; ++i)
    test::E().lists.requestedFiles.AddUrl(http.Url(
        (i % 3 ? "/i" + std::to_string(i % 6) + ".gif?" : "/slow.gif?") + std::to_string(i)));
  for (int i = 0; i < 6; ++i)
    test::E().lists.requestedFiles.AddUrl(ftp.Url("/f" + std::to_string(i) + ".gif"));
  for (int i = 0; i < 12; ++i) {
    SiteProject p{};
    SetText(p.name, "Site " + std::to_string(i));
    SetText(p.startUrl, http.Url("/index.html"));
    p.downloadAllFiles = 1;
    p.runWhenRequested = p.stopWhenRequested = 1;
    test::E().lists.requestedSites.Add(p);
    SearchProject s{};
    SetText(s.name, "Search " + std::to_string(i));
    SetText(s.searchText, "green hills");
    s.useAltaVista = s.useYahoo = 1;
    s.runWhenRequested = s.stopWhenRequested = 1;
    test::E().lists.searchProjects.Add(s);
  }
  Open();
  CListPanel* panel = frame->ListPanel();
  auto selectAll = [&] {
    panel->clearSelection();
    for (int r = 0; r < panel->RowCount(); ++r) panel->SetRowSelected(r, true);
  };
  int peak = 0;
  for (const char* list : {"Files", "Web Sites", "Search Projects"}) {
    frame->TreePanel()->SwitchTo(list);
    selectAll();
    frame->RouteCommand(kCmdDownloadSelected);
    peak = std::max(peak, test::E().workers.Live());
  }
  EXPECT_GE(peak, 40);

  const char* lists[] = {
      "Files",         "Web Sites", "Search Projects", "Downloaded Files", "Downloaded Sites",
      "Search Results"};
  std::mt19937 random(7);
  int operations = 0;
  for (int step = 0; step < 120; ++step) {
    frame->TreePanel()->SwitchTo(lists[random() % 6]);
    ExpectPanelMatchesList();
    if (panel->RowCount() > 0) SelectOnly({static_cast<int>(random() % panel->RowCount())});
    switch (random() % 8) {
      case 0:
        frame->RouteCommand(kCmdStopDownloading);
        break;
      case 1:
        frame->RouteCommand(kCmdDownloadSelected);
        break;
      case 2:
        frame->RouteCommand(kCmdDeleteEntry);
        break;
      case 3:
        if (step == 90) frame->RouteCommand(kCmdDeleteAllLists);
        break;
      default:
        break;
    }
    ++operations;
    QTest::qWait(10);
  }
  // Everything paused goes on, so that every worker comes to its end.
  for (auto kind : {WorkerKind::File, WorkerKind::Site, WorkerKind::Search})
    for (const auto& worker : test::E().workers.Registry(kind).Snapshot()) worker->Gate().Resume();
  if (!WaitForWorkers(90)) {
    for (auto kind : {WorkerKind::File, WorkerKind::Site, WorkerKind::Search})
      for (const auto& h : test::E().workers.Registry(kind).Snapshot())
        ADD_FAILURE() << "still running: " << h->Text()
                      << (h->Gate().IsPaused() ? " (paused)" : "");
    FAIL() << "a worker hangs";
  }
  for (auto kind : {WorkerKind::File, WorkerKind::Site, WorkerKind::Search})
    EXPECT_EQ(test::E().workers.Registry(kind).Count(), 0);
  for (const char* list : lists) {
    frame->TreePanel()->SwitchTo(list);
    ExpectPanelMatchesList();
  }
  unsetenv("TAVRINOX_ALTAVISTA_HOST");
  unsetenv("TAVRINOX_YAHOO_HOST");
  // The lists saved at exit are complete.
  int files = test::E().lists.downloadedFiles.GetCount(),
      sites = test::E().lists.downloadedSites.GetCount(),
      resultCount = test::E().lists.searchResults.GetCount();
  test::E().lists.downloadedFiles.SetModified(true);
  test::E().lists.downloadedSites.SetModified(true);
  test::E().lists.searchResults.SetModified(true);
  test::E().Store().SaveAll();
  test::ResetLists();
  test::E().Store().LoadAll();
  EXPECT_EQ(test::E().lists.downloadedFiles.GetCount(), files);
  EXPECT_EQ(test::E().lists.downloadedSites.GetCount(), sites);
  EXPECT_EQ(test::E().lists.searchResults.GetCount(), resultCount);
  std::printf("window stress: workers_at_once=%d operations=%d\n", peak, operations);
}

}  // namespace
}  // namespace tvx::ui
