#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "crawler/CrawlWorker.h"
#include "crawler/SiteCrawlFixture.h"
#include "files/LocalPath.h"
#include "net/Internet.h"
#include "store/Lists.h"
#include "support/Files.h"
#include "support/RecordingReporter.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"

namespace tvx {
namespace {

using test::BinaryBody;
using test::ReadFile;

namespace fs = std::filesystem;
using test::HttpResponse;
using test::WaitFor;
using Strings = std::vector<std::string>;

Strings AskedPaths(const test::TestHttpServer& server) {
  Strings out;
  for (const auto& r : server.Requests()) out.push_back(r.path);
  return out;
}

// A page whose lines arrive one at a time, `ms` apart.
HttpResponse DrippedPage(const Strings& lines, int ms) {
  std::string body;
  for (const auto& l : lines) body += l + "\n";
  HttpResponse r = HttpResponse::Html(body);
  r.dripBytes = lines.empty() ? 0 : lines.front().size() + 1;
  r.dripIntervalMs = ms;
  return r;
}

class CrawlWorker : public test::SiteCrawlFixture {};

TEST_F(CrawlWorker, GoesDepthFirstAndMirrorsTheSiteFolders) {
  const std::string z = BinaryBody(300), x = BinaryBody(1000);
  http_.Serve("/index.html", HttpResponse::Html("<a href=\"a.html\">\n<a href=\"b.html\">\n"));
  http_.Serve("/b.html", HttpResponse::Html("<a href=\"z.gif\">\r\n<a href=\"y.jpg\">"));
  http_.Serve("/a.html", HttpResponse::Html("<img src=\"pics/deep/x.gif\" >\n"));
  http_.Serve("/z.gif", HttpResponse::Ok(z));
  http_.Serve("/pics/deep/x.gif", HttpResponse::Ok(x));
  Start(Project(http_.Url("/index.html")));
  EXPECT_EQ(Finish(), kCrawlDone);

  EXPECT_EQ(AskedPaths(http_),
            (Strings{"/index.html", "/b.html", "/z.gif", "/a.html", "/pics/deep/x.gif"}));
  for (const auto& r : http_.Requests()) {
    EXPECT_EQ(r.Header("Accept"), "text/*");
    EXPECT_EQ(r.Header("User-Agent"), "Quillanto");
  }
  EXPECT_EQ(ReadFile("Pictures/proj/z.gif"), z);
  EXPECT_EQ(ReadFile("Pictures/proj/pics/deep/x.gif"), x);
  EXPECT_EQ(Ui().FilesOf("proj"),
            (Strings{"Pictures\\proj\\z.gif", "Pictures\\proj\\pics\\deep\\x.gif"}));
  EXPECT_TRUE(Ui().Has("Status: 4 links found"));
  EXPECT_TRUE(Ui().Has("Status: 0.98k read"));
  EXPECT_TRUE(Ui().Has("LastAction: Dowloading Pictures\\proj\\pics\\deep\\x.gif..."));
  // The row's bar: pictures saved against picture links queued so far.
  EXPECT_EQ(Ui().CallsStartingWith("row 0 progress"),
            (Strings{"row 0 progress: 0/1", "row 0 progress: 1/1", "row 0 progress: 1/2",
                     "row 0 progress: 2/2"}));

  // Moved to the downloaded web sites.
  EXPECT_EQ(test::E().lists.requestedSites.GetCount(), 0);
  ASSERT_EQ(test::E().lists.downloadedSites.GetCount(), 1);
  EXPECT_STREQ(test::E().lists.downloadedSites.GetAt(0)->status, "Success");
  EXPECT_TRUE(Ui().Has("delete row 0"));
  EXPECT_EQ(Ui().Text(StatusField::LastAction), "Download completed");
  EXPECT_EQ(Status(), "Success");
  EXPECT_EQ(test::FollowedRow(), -1);
  EXPECT_EQ(Ui().Calls().back(), "busy stop");
}

TEST_F(CrawlWorker, PictureAsStartUrlWithoutScheme) {
  const std::string body = BinaryBody(2560);
  http_.Serve("/a/b/c.jpg", HttpResponse::Ok(body));
  Start(Project("127.0.0.1:" + std::to_string(http_.Port()) + "/a/b/c.jpg"));
  EXPECT_EQ(Finish(), kCrawlDone);
  EXPECT_EQ(ReadFile("Pictures/proj/a/b/c.jpg"), body);
  EXPECT_EQ(Ui().FilesOf("proj"), Strings{"Pictures\\proj\\a\\b\\c.jpg"});
  EXPECT_TRUE(Ui().Has("Status: 2.50k read"));
  EXPECT_EQ(test::E().lists.downloadedSites.GetCount(), 1);
}

TEST_F(CrawlWorker, RedirectIsNotFoundAndMalformedLinksAreSkipped) {
  const std::string bad = "x:" + http_.Url("/index.html");
  http_.Serve("/index.html",
              HttpResponse::Html("<a href=\"moved.html\">\n<a href=\"" + bad + "\">\n"));
  http_.Serve("/moved.html", HttpResponse::Redirect(http_.Url("/target.html")));
  Start(Project(http_.Url("/index.html")));
  EXPECT_EQ(Finish(), kCrawlDone);
  EXPECT_TRUE(Ui().Has("Status: Malformed URL : " + bad));
  EXPECT_TRUE(Ui().Has("Status: " + http_.Url("/moved.html") + " not found"));
  // Neither the redirect's target nor, for the bad link, the page before it.
  EXPECT_EQ(AskedPaths(http_), (Strings{"/index.html", "/moved.html"}));
  EXPECT_EQ(Status(), "Success");
  EXPECT_EQ(test::E().lists.downloadedSites.GetCount(), 1);
}

TEST_F(CrawlWorker, UnreachableOrMalformedStartEndsWithErrors) {
  test::TestHttpServer gone;
  const std::string url = gone.Url("/");
  gone.Stop();
  Start(Project(url));
  EXPECT_EQ(Finish(), kCrawlDone);
  EXPECT_TRUE(Ui().Has("Status: Error retrieving page"));
  EXPECT_TRUE(Ui().Has("row 0 status: Some errors occurred"));
  EXPECT_EQ(Ui().Text(StatusField::LastAction), "Download completed");
  EXPECT_EQ(Status(), "Some errors occurred");
  EXPECT_TRUE(Ui().Has("project: proj")) << "the tree node is made even if nothing is saved";
  ASSERT_EQ(test::E().lists.requestedSites.GetCount(), 1);
  EXPECT_STREQ(test::E().lists.requestedSites.GetAt(0)->status, "Some errors occurred");
  EXPECT_EQ(test::E().lists.downloadedSites.GetCount(), 0);

  Start(Project("http://", "bad"));
  EXPECT_EQ(Finish(), kCrawlDone);
  EXPECT_TRUE(Ui().Has("Status: Malformed URL : http://"));
  EXPECT_EQ(test::E().lists.requestedSites.GetCount(), 2);
  EXPECT_EQ(test::E().lists.downloadedSites.GetCount(), 0);
}

TEST_F(CrawlWorker, BrokenTransferIsAnErrorAndLeavesNoTreeItem) {
  HttpResponse broken = HttpResponse::Ok(BinaryBody(4000));
  broken.contentLength = 8000;
  broken.closeAfterBytes = 4000;
  http_.Serve("/index.html", HttpResponse::Html("<a href=\"ok.gif\">\n<a href=\"broken.gif\">\n"));
  http_.Serve("/broken.gif", broken);
  http_.Serve("/ok.gif", HttpResponse::Ok("GIF89a"));
  Start(Project(http_.Url("/index.html")));
  EXPECT_EQ(Finish(), kCrawlDone);
  EXPECT_TRUE(Ui().Has("Status: Error retrieving page"));
  EXPECT_EQ(Ui().FilesOf("proj"), Strings{"Pictures\\proj\\ok.gif"}) << "the run went on";
  EXPECT_EQ(Status(), "Some errors occurred");
  EXPECT_EQ(test::E().lists.requestedSites.GetCount(), 1);
}

TEST_F(CrawlWorker, RefusesLocalPathsThatCannotOrMustNotBeWritten) {
  dir_.Write("Pictures/proj/blocked", "a file where a folder would go");
  const std::string escape = http_.Url("/a/../../../tvx-escape.gif");
  http_.SetHandler([](const test::HttpRequest&) { return HttpResponse::Ok("GIF89a"); });
  http_.Serve("/index.html", HttpResponse::Html("<a href=\"pic.gif?x=1\">\n<a href=\"" + escape +
                                                "\">\n<a href=\"blocked/x.gif\">\n"
                                                "<a href=\"Open.gif.Desktop\">\n"));
  Start(Project(http_.Url("/index.html")));
  EXPECT_EQ(Finish(), kCrawlDone);
  EXPECT_TRUE(Ui().Has("Status: Error creating Pictures\\proj\\blocked\\x.gif"));
  EXPECT_TRUE(Ui().Has("Status: Pictures\\proj\\..\\..\\..\\tvx-escape.gif has illegal chars"));
  EXPECT_TRUE(Ui().Has("Status: Pictures\\proj\\pic.gif?x=1 has illegal chars"));
  EXPECT_TRUE(
      Ui().Has("Status: Pictures\\proj\\open.gif.desktop is not saved: a desktop would "
               "run a file of that name"));
  EXPECT_FALSE(fs::exists("Pictures/proj/open.gif.desktop"));
  EXPECT_TRUE(Ui().FilesOf("proj").empty());
  for (const fs::path& p : {dir_.Path(), dir_.Path().parent_path(), dir_ / "Pictures"})
    EXPECT_FALSE(fs::exists(p / "tvx-escape.gif")) << p;
  EXPECT_FALSE(fs::exists("Pictures/proj/pic.gif?x=1"));
  EXPECT_EQ(Status(), "Success") << "refused paths are not errors";
}

// Three host names on loopback: 127.0.0.1 and localhost reach one server,
// 127.0.0.2 another.
class ExitDomain : public CrawlWorker {
 protected:
  void Crawl(int maxDomainCount) {
    const std::string port = std::to_string(http_.Port());
    http_.Serve("/index.html",
                HttpResponse::Html("<a href=\"http://localhost:" + port + "/l.html\">\n<a href=\"" +
                                   other_.Url("/c.html") + "\">\n<a href=\"same.html\">\n"));
    http_.Serve("/l.html", HttpResponse::Html("<a href=\"own.html\">\n"));
    http_.SetHandler([](const test::HttpRequest&) { return HttpResponse::Html(""); });
    other_.SetHandler([](const test::HttpRequest&) { return HttpResponse::Html(""); });
    SiteProject p = Project(http_.Url("/index.html"));
    p.exitDomain = 1;
    p.maxDomainCount = maxDomainCount;
    Start(p);
    EXPECT_EQ(Finish(), kCrawlDone);
  }
  test::TestHttpServer other_{"127.0.0.2"};
};

TEST_F(ExitDomain, LimitReachedEndsEveryLaterPage) {
  Crawl(2);
  EXPECT_EQ(AskedPaths(http_), (Strings{"/index.html", "/l.html"}));
  EXPECT_EQ(http_.Requests()[1].Header("Host"), "localhost:" + std::to_string(http_.Port()));
  EXPECT_TRUE(other_.Requests().empty());
  EXPECT_EQ(Status(), "Success");
}

TEST_F(ExitDomain, NoLimitFollowsEverySiteAndReportsIntoTheShownList) {
  test::Shown().Show(kListDownloadedSites);
  Crawl(0);
  EXPECT_EQ(AskedPaths(http_), (Strings{"/index.html", "/same.html", "/l.html", "/own.html"}));
  EXPECT_EQ(AskedPaths(other_), Strings{"/c.html"});
  EXPECT_TRUE(Ui().Has("insert row: proj"));
  EXPECT_TRUE(Ui().Has("row 0 status: Success"));
  EXPECT_TRUE(Ui().CallsStartingWith("delete row").empty());
  EXPECT_TRUE(Ui().CallsStartingWith("LastAction").empty()) << "the view follows another list";
}

TEST_F(CrawlWorker, PausesAndResumesMidFileThenStopsByItsFlag) {
  const std::string body = BinaryBody(200000);
  HttpResponse slow = HttpResponse::Ok(body);
  slow.dripBytes = 500;       // far slower than the test, even after a pause; each
  slow.dripIntervalMs = 150;  // read waits, so a pause finds the crawl inside one
  http_.Serve("/big.gif", slow);
  Start(Project(http_.Url("/big.gif")));
  ASSERT_TRUE(WaitFor([&] { return Status().find("k read") != std::string::npos; }));

  fx_->OnUi([&] {  // as the Stop command does it, while the worker waits in a read
    test::PauseWorker(WorkerKind::Site);
    Ui().SetStatusText(StatusField::Status, "Download Stopped");
  });
  const std::size_t calls = Ui().Calls().size();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(Ui().Calls().size(), calls) << "no progress while paused";
  EXPECT_EQ(Status(), "Download Stopped");
  const std::string shown = Status();
  test::ResumeWorker(WorkerKind::Site);
  ASSERT_TRUE(WaitFor([&] { return Status() != shown; })) << "goes on where it stopped";

  test::RequestStop(WorkerKind::Site);
  EXPECT_EQ(Finish(), kCrawlStopped);
  EXPECT_EQ(http_.RequestCount("/big.gif"), 1u);
  EXPECT_STREQ(test::E().lists.requestedSites.GetAt(0)->status, "Stopped");
  EXPECT_TRUE(Ui().Has("row 0 status: Stopped"));
  EXPECT_EQ(Status(), "Download Stopped");
  EXPECT_FALSE(fs::exists("Pictures/proj/big.gif")) << "no piece under the picture's name";
  EXPECT_FALSE(fs::exists("Pictures/proj/big.gif.part")) << "nor a partial file";
  EXPECT_TRUE(Ui().FilesOf("proj").empty());
  EXPECT_EQ(test::E().workers.Registry(WorkerKind::Site).Count(), 0);
}

TEST_F(CrawlWorker, StopsMidPageAndShowsLinkCountsForAnyRow) {
  Strings lines;
  for (int i = 0; i < 40; ++i)
    lines.push_back("<a href=\"p" + std::to_string(100 + i) + ".html\">");
  http_.Serve("/index.html", DrippedPage(lines, 20));
  followStarted_ = false;  // the status view follows another item
  Start(Project(http_.Url("/index.html")));
  ASSERT_TRUE(WaitFor([&] { return Ui().Has("Status: 3 links found"); }));
  test::RequestStop(WorkerKind::Site);
  EXPECT_EQ(Finish(), kCrawlStopped);
  EXPECT_EQ(AskedPaths(http_), Strings{"/index.html"});
  EXPECT_TRUE(Ui().Has("row 0 status: Stopped"));
  EXPECT_FALSE(Ui().Has("Status: Download Stopped"));
  EXPECT_TRUE(Ui().CallsStartingWith("LastAction").empty());
  EXPECT_EQ(test::E().lists.requestedSites.GetCount(), 1);
}

TEST_F(CrawlWorker, ProjectDeletedWhileItsCrawlRuns) {
  http_.Serve("/index.html", DrippedPage({"<a href=\"1.gif\">", "<p>.......</p>", "<p>.......</p>",
                                          "<p>.......</p>", "<a href=\"2.gif\">"},
                                         100));
  http_.SetHandler([](const test::HttpRequest&) { return HttpResponse::Ok("GIF89a"); });
  test::E().lists.requestedSites.Add(Project(http_.Url("/index.html")));
  const ItemId id = test::E().lists.requestedSites.IdAt(0);
  fx_->OnUi([&] {
    ASSERT_NE(StartCrawlWorker(test::E(), id, *test::E().lists.requestedSites.GetAt(0)), nullptr);
  });
  EXPECT_NE(test::E().workers.Find(WorkerKind::Site, id), nullptr);
  ASSERT_TRUE(WaitFor([&] { return Ui().Has("Status: 1 links found"); }));
  fx_->OnUi([] { test::E().lists.requestedSites.RemoveAt(0); });
  const std::size_t before = Ui().Calls().size();
  ASSERT_TRUE(test::WaitForWorkers());

  // It crawled on with its own copy, but touched no row and moved nothing.
  EXPECT_EQ(AskedPaths(http_), (Strings{"/index.html", "/2.gif", "/1.gif"}));
  const Strings calls = Ui().Calls();
  for (std::size_t i = before; i < calls.size(); ++i)
    EXPECT_EQ(calls[i].rfind("row ", 0), std::string::npos) << calls[i];
  EXPECT_TRUE(Ui().CallsStartingWith("delete row").empty());
  EXPECT_EQ(test::E().lists.downloadedSites.GetCount(), 0);
  EXPECT_EQ(calls.back(), "busy stop");
  EXPECT_EQ(test::E().workers.Registry(WorkerKind::Site).Count(), 0);
}

TEST_F(CrawlWorker, AtTheFreeSpaceFloorEveryFileIsRefusedAsAnError) {
  DiskLimits::fakeFreeBytes = DiskLimits::freeSpaceFloorBytes.load() + 3;
  http_.Serve("/index.html",
              HttpResponse::Html("<a href=\"a/small.gif\">\n<a href=\"big.gif\">\n"));
  http_.Serve("/a/small.gif", HttpResponse::Ok("GIF89a"));
  http_.Serve("/big.gif", HttpResponse::Ok(BinaryBody(5000)));
  Start(Project(http_.Url("/index.html")));
  EXPECT_EQ(Finish(), kCrawlDone);
  EXPECT_EQ(AskedPaths(http_), (Strings{"/index.html", "/big.gif", "/a/small.gif"}));
  // Said for each file, and again as the reason the run ends with errors.
  EXPECT_EQ(Ui().CallsStartingWith("Status: " + DiskFloorText()).size(), 3u);
  EXPECT_TRUE(Ui().Has("row 0 status: " + DiskFloorText()));
  EXPECT_TRUE(Ui().FilesOf("proj").empty());
  for (const char* left : {"big.gif", "a/small.gif", "big.gif.part", "a/small.gif.part"})
    EXPECT_FALSE(fs::exists("Pictures/proj/" + std::string(left))) << left;
  EXPECT_EQ(Status(), DiskFloorText());
  ASSERT_EQ(test::E().lists.requestedSites.GetCount(), 1);
  EXPECT_STREQ(test::E().lists.requestedSites.GetAt(0)->status, "Some errors occurred");
}

TEST_F(CrawlWorker, AnOverlongLineIsOneLineAndOnlyItsFirstPartCounts) {
  constexpr std::size_t kMax = net::ClientLimits::kMaxLine;
  std::string line = "<img src=\"before.gif\" >";
  line.resize(kMax - 10, 'x');
  line += "<a href=\"straddle.gif\">";  // the limit falls inside it
  line.resize(kMax + kMax / 2, 'x');
  line += "<a href=\"after.gif\"><img src=\"after2.gif\" >";
  line.resize(3 * kMax, 'x');
  http_.Serve("/index.html", HttpResponse::Html(line + "\n<a href=\"next.gif\">\n"));
  http_.SetHandler([](const test::HttpRequest&) { return HttpResponse::Ok("GIF89a"); });
  Start(Project(http_.Url("/index.html")));
  EXPECT_EQ(Finish(), kCrawlDone);
  EXPECT_EQ(AskedPaths(http_), (Strings{"/index.html", "/next.gif", "/before.gif"}));
  EXPECT_EQ(Status(), "Success");
}

TEST_F(CrawlWorker, NoStopFlagOutlivesItsCrawl) {
  test::TestHttpServer gone;
  const std::string unreachable = gone.Url("/");
  gone.Stop();
  http_.Serve("/slow.html", DrippedPage({"<a href=\"1.html\">", "<p>.</p>", "<p>.</p>"}, 100));
  struct Case {
    const char* name;
    std::string startUrl;
    int exitCode;
  };
  const Case cases[] = {
      {"unreachable", unreachable, kCrawlDone},
      {"not found", http_.Url("/missing.html"), kCrawlDone},
      {"stopped", http_.Url("/slow.html"), kCrawlStopped},
  };
  for (const Case& c : cases) {
    Start(Project(c.startUrl, c.name));
    if (c.exitCode == kCrawlStopped) {
      ASSERT_TRUE(WaitFor([&] { return Ui().Has("Status: 1 links found"); }));
      test::RequestStop(WorkerKind::Site);
    }
    EXPECT_EQ(Finish(), c.exitCode) << c.name;
  }
}

TEST_F(CrawlWorker, AStaleFlagDoesNotStopTheProjectMovingOntoItsRow) {
  test::TestHttpServer gone;
  const SiteProject a = Project(gone.Url("/"), "A");
  gone.Stop();
  const SiteProject b = Project(http_.Url("/index.html"), "B");
  http_.Serve(
      "/index.html",
      DrippedPage({"<a href=\"next.html\">", "<p>.</p>", "<p>.</p>", "<p>.</p>", "<p>.</p>"}, 100));
  http_.Serve("/next.html", DrippedPage({"<p>one</p>", "<p>two</p>", "<p>six</p>"}, 20));
  test::E().lists.requestedSites.Add(b);
  test::E().lists.requestedSites.Add(a);  // newer: A is row 0, B row 1
  Launch(a);
  EXPECT_EQ(Finish(), kCrawlDone);
  EXPECT_STREQ(test::E().lists.requestedSites.GetAt(1)->status, "Some errors occurred");

  Launch(b);
  ASSERT_TRUE(WaitFor([&] { return Ui().Has("Status: 1 links found"); }));
  fx_->OnUi([] {
    test::E().lists.requestedSites.RemoveAt(test::E().lists.requestedSites.Find("A"));
  });  // B moves to row 0
  EXPECT_EQ(Finish(), kCrawlDone);
  EXPECT_EQ(AskedPaths(http_), (Strings{"/index.html", "/next.html"}));
  ASSERT_EQ(test::E().lists.downloadedSites.GetCount(), 1);
  EXPECT_STREQ(test::E().lists.downloadedSites.GetAt(0)->status, "Success");
}

}  // namespace
}  // namespace tvx
