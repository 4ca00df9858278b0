// Many workers of every kind at once while the user-interface side keeps
// changing the lists, pausing, resuming and clearing everything. Bounded in
// time; `make soak` runs it longer (TAVRINOX_SOAK_SECONDS).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "commands/Commands.h"
#include "net/Internet.h"
#include "store/ListFiles.h"
#include "store/Lists.h"
#include "support/FtpServer.h"
#include "support/RecordingReporter.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"
#include "workers/WorkerControl.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
using test::HttpResponse;

int SoakSeconds() {
  const char* s = std::getenv("TAVRINOX_SOAK_SECONDS");
  return s ? std::max(1, std::atoi(s)) : 0;
}

SiteProject Site(const std::string& name, const std::string& url) {
  SiteProject p{};
  SetText(p.name, name);
  SetText(p.startUrl, url);
  p.downloadAllFiles = 1;
  p.runWhenRequested = 1;
  p.stopWhenRequested = 1;
  SetText(p.status, "Ready for download");
  return p;
}

SearchProject Search(const std::string& name) {
  SearchProject p{};
  SetText(p.name, name);
  SetText(p.searchText, "red boats");
  p.useAltaVista = 1;
  p.useYahoo = 1;
  p.runWhenRequested = 1;
  p.stopWhenRequested = 1;
  SetText(p.status, "Ready for download");
  return p;
}

TEST(Stress, FiftyWorkersWhileTheListsChangeUnderThem) {
  fs::path old = fs::current_path();
  test::TempDir dir("tvx-stress"), ftpRoot("tvx-stress-ftp"), site("tvx-stress-site");
  fs::current_path(dir.Path());
  net::ClientLimits::stallTimeoutMs = 3000;

  // A small site, picture files over HTTP and FTP, and both engines.
  std::string page = "<html>\n";
  for (int i = 0; i < 8; ++i)
    page += "<a href=\"p" + std::to_string(i) + ".html\">x</a>\n<img src=\"i" + std::to_string(i) +
            ".gif\" >\n";
  site.Write("index.html", page);
  for (int i = 0; i < 8; ++i) {
    site.Write("p" + std::to_string(i) + ".html",
               "<img src=\"../i" + std::to_string(i) + ".gif\" >\n");
    site.Write("i" + std::to_string(i) + ".gif", std::string(3000 + i, 'g'));
  }
  for (int i = 0; i < 10; ++i)
    ftpRoot.Write("f" + std::to_string(i) + ".gif", std::string(20000, 'f'));
  test::TestHttpServer http;
  http.ServeFolder(site.Path());
  std::string results = "<html>\n";
  for (int i = 0; i < 30; ++i)
    results += "<a href=\"http://r.example/" + std::to_string(i) + ".html\">r</a>\n";
  http.Serve("/cgi-bin/query", HttpResponse::Html(results));
  http.Serve("/bin/search", HttpResponse::Html(results));
  HttpResponse slow = HttpResponse::Ok(std::string(40000, 's'));
  slow.dripBytes = 2000;
  slow.dripIntervalMs = 20;
  http.Serve("/slow.gif", slow);
  test::FtpServer ftp(ftpRoot.Path());
  std::string host = "127.0.0.1:" + std::to_string(http.Port());
  setenv("TAVRINOX_ALTAVISTA_HOST", host.c_str(), 1);
  setenv("TAVRINOX_YAHOO_HOST", host.c_str(), 1);

  test::EngineFixture fx;
  std::mt19937 random(42);
  int soak = SoakSeconds();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(soak ? soak : 8);
  long operations = 0, rounds = 0, started = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    ++rounds;
    // Fill the requested lists: 20 files, 10 FTP files, 10 crawls, 10 searches.
    for (int i = 0; i < 20; ++i)
      test::E().lists.requestedFiles.AddUrl(
          http.Url(i % 4 ? "/i" + std::to_string(i % 8) + ".gif?" + std::to_string(rounds * 100 + i)
                         : "/slow.gif?" + std::to_string(rounds * 100 + i)));
    for (int i = 0; i < 10; ++i)
      test::E().lists.requestedFiles.AddUrl(ftp.Url("/f" + std::to_string(i) + ".gif"));
    for (int i = 0; i < 10; ++i)
      test::E().lists.requestedSites.Add(Site(
          "site " + std::to_string(rounds) + "-" + std::to_string(i), http.Url("/index.html")));
    for (int i = 0; i < 10; ++i)
      test::E().lists.searchProjects.Add(
          Search("search " + std::to_string(rounds) + "-" + std::to_string(i)));
    auto all = [](int n) {
      std::vector<int> rows(n);
      for (int i = 0; i < n; ++i) rows[i] = i;
      return rows;
    };
    for (int kind : {kListRequestedFiles, kListRequestedSites, kListSearchProjects}) {
      test::Shown().Show(kind);
      int count = kind == kListRequestedFiles   ? test::E().lists.requestedFiles.GetCount()
                  : kind == kListRequestedSites ? test::E().lists.requestedSites.GetCount()
                                                : test::E().lists.searchProjects.GetCount();
      test::DownloadRows(all(count));
      ++operations;
    }
    started = std::max<long>(started, test::E().workers.Live());
    // The user keeps working while they run.
    for (int step = 0; step < 60; ++step) {
      int kind = 1 + static_cast<int>(random() % 6);
      test::Shown().Show(kind);
      int action = static_cast<int>(random() % 10);
      fx.OnUi([&] {
        if (action < 3 && test::E().lists.requestedFiles.GetCount() > 0)
          test::E().lists.requestedFiles.RemoveAt(
              static_cast<int>(random() % test::E().lists.requestedFiles.GetCount()));
        else if (action < 5 && test::E().lists.requestedSites.GetCount() > 0)
          test::E().lists.requestedSites.RemoveAt(
              static_cast<int>(random() % test::E().lists.requestedSites.GetCount()));
        else if (action == 5)
          (void)test::E().lists.searchResults.Snapshot();
      });
      if (action == 6) test::StopRows({static_cast<int>(random() % 30)});
      if (action == 7) test::DownloadRows({static_cast<int>(random() % 30)});
      if (action == 8 && step % 20 == 0) DeleteAllLists(test::E());
      ++operations;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // Every registry entry must belong to a live worker.
    for (auto kind : {WorkerKind::File, WorkerKind::Site, WorkerKind::Search})
      for (const auto& h : test::E().workers.Registry(kind).Snapshot()) EXPECT_FALSE(h->Finished());
    // Let paused workers go on so that every worker comes to its end.
    for (auto kind : {WorkerKind::File, WorkerKind::Site, WorkerKind::Search})
      for (const auto& worker : test::E().workers.Registry(kind).Snapshot())
        worker->Gate().Resume();
    if (!test::WaitForWorkers(std::chrono::seconds(60))) {
      for (auto kind : {WorkerKind::File, WorkerKind::Site, WorkerKind::Search})
        for (const auto& worker : test::E().workers.Registry(kind).Snapshot())
          ADD_FAILURE() << "still running: " << worker->Text()
                        << (worker->Gate().IsPaused() ? " (paused)" : "");
      FAIL() << "a worker hangs";
    }
    for (auto kind : {WorkerKind::File, WorkerKind::Site, WorkerKind::Search})
      EXPECT_EQ(test::E().workers.Registry(kind).Count(), 0);
  }
  // What is in the lists is saved whole.
  for (int i = 0; i < 5; ++i)
    test::E().lists.downloadedFiles.AddUrl("http://kept/" + std::to_string(i) + ".gif");
  int downloaded = test::E().lists.downloadedFiles.GetCount();
  test::E().Store().SaveAll();
  test::ResetLists();
  test::E().Store().LoadAll();
  EXPECT_EQ(test::E().lists.downloadedFiles.GetCount(), downloaded);
  std::printf("stress: rounds=%ld workers_at_once=%ld operations=%ld seconds=%d failures=%d\n",
              rounds, started, operations, soak ? soak : 8, ::testing::Test::HasFailure() ? 1 : 0);
  unsetenv("TAVRINOX_ALTAVISTA_HOST");
  unsetenv("TAVRINOX_YAHOO_HOST");
  net::ClientLimits::stallTimeoutMs = 60000;
  fs::current_path(old);
}

}  // namespace
}  // namespace tvx
