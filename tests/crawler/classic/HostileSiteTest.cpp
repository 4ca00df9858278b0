// Sites that misbehave: garbage instead of a page, links that try to write
// outside the project folder, names too long for any field. Each crawl ends
// in bounded time and writes nothing outside Pictures/<project>.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "crawler/CrawlWorker.h"
#include "net/Internet.h"
#include "store/Lists.h"
#include "support/Files.h"
#include "support/RecordingReporter.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
using test::HttpResponse;

class HostileSite : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    fs::create_directories(dir_ / "work");
    fs::current_path(dir_ / "work");
    test::Shown().Show(kListRequestedSites);
  }
  void TearDown() override {
    fx_.reset();
    fs::current_path(old_);
  }
  // Crawls a project that wants every picture and may leave its site. The
  // crawl must end; how soon depends on the machine (a sanitizer, other
  // work), so the bound only catches one that never would.
  void Crawl(const std::string& startUrl, const char* name = "proj") {
    SiteProject p{};
    SetText(p.name, name);
    SetText(p.startUrl, startUrl);
    p.downloadAllFiles = 1;
    p.exitDomain = 1;
    const ItemId id = test::E().lists.requestedSites.Add(p);
    test::Shown().FollowRow(0);  // the status view follows it, as when started by command
    EXPECT_NE(StartCrawlWorker(test::E(), id, p), nullptr);
    EXPECT_TRUE(test::WaitForWorkers(std::chrono::seconds(200)));
  }
  // Every file and folder the crawl made lies below Pictures/proj.
  void ExpectNothingOutsideTheProject() {
    for (const auto& entry : fs::recursive_directory_iterator(dir_.Path())) {
      if (entry.path() == dir_ / "work") continue;
      fs::path rel = fs::relative(entry.path(), dir_ / "work");
      std::string s = rel.generic_string();
      bool inside = s == "Pictures" || s == "Pictures/proj" || s.rfind("Pictures/proj/", 0) == 0;
      EXPECT_TRUE(inside) << "written outside the project folder: " << entry.path();
    }
  }

  std::string Status() { return fx_->reporter.Text(StatusField::Status); }

  test::TempDir dir_{"tvx-hostile"};
  fs::path old_;
  std::unique_ptr<test::EngineFixture> fx_ = std::make_unique<test::EngineFixture>();
  test::TestHttpServer http_;
};

TEST_F(HostileSite, GarbageInsteadOfAPageEndsTheRunCleanly) {
  // Two megabytes of every byte value, NULs and stray quotes included, with
  // one real link buried in the middle.
  std::string garbage =
      test::BinaryBody(1 << 20) + "\n<a href=\"real.gif\">\n" + test::BinaryBody(1 << 20);
  http_.Serve("/index.html", HttpResponse::Html(garbage));
  http_.Serve("/real.gif", HttpResponse::Ok("GIF89a"));
  Crawl(http_.Url("/index.html"));
  EXPECT_EQ(test::ReadFile("Pictures/proj/real.gif"), "GIF89a");
  ExpectNothingOutsideTheProject();
}

TEST_F(HostileSite, LinksThatClimbOutOfTheProjectFolderWriteNothingOutside) {
  std::string page;
  for (const char* link :
       {"../../../../escape1.gif", "/../../escape2.gif", "a/../../../escape3.gif",
        "..\\..\\escape4.gif", "/a/%2e%2e/%2e%2e/escape5.gif", "file:///etc/passwd.gif",
        "http://127.0.0.1:1/../escape6.gif"}) {
    page += "<a href=\"" + std::string(link) + "\">x</a>\n";
  }
  page += "<a href=\"" + http_.Url("/x/../../../../escape7.gif") + "\">x</a>\n";
  http_.Serve("/index.html", HttpResponse::Html(page));
  http_.SetHandler([](const test::HttpRequest&) { return HttpResponse::Ok("ESCAPED"); });
  Crawl(http_.Url("/index.html"));
  EXPECT_GE(http_.Requests().size(), 3u) << "the links were looked at, not ignored";
  ExpectNothingOutsideTheProject();
  EXPECT_FALSE(fs::exists(dir_ / "escape1.gif"));
  EXPECT_FALSE(fs::exists(dir_ / "work/escape2.gif"));
}

TEST_F(HostileSite, OverlongNamesAreRefusedOrCutNeverOverrun) {
  std::string longName(400, 'n');
  std::string deep;
  for (int i = 0; i < 60; ++i) deep += "folder" + std::to_string(i) + "/";
  std::string page = "<a href=\"" + longName + ".gif\">x</a>\n<a href=\"" + deep +
                     "pic.gif\">x</a>\n<img src=\"" + std::string(200, 'd') + "/" +
                     std::string(200, 'e') + ".gif\" >\n";
  http_.Serve("/index.html", HttpResponse::Html(page));
  http_.SetHandler([](const test::HttpRequest&) { return HttpResponse::Ok("GIF89a"); });
  Crawl(http_.Url("/index.html"));
  ExpectNothingOutsideTheProject();
  // Nothing requested can be longer than a record's URL field.
  for (const auto& r : http_.Requests())
    EXPECT_LE(http_.Url(r.target).size(), sizeof(FileRecord{}.url) - 1) << r.target;
  // The project stays listed with a status, whatever happened to its links.
  EXPECT_EQ(test::E().lists.requestedSites.GetCount() + test::E().lists.downloadedSites.GetCount(),
            1);
}

TEST_F(HostileSite, ProjectNamesLeadingOutOfPicturesEndTheRunWithNothingWritten) {
  http_.Serve("/index.html", HttpResponse::Html("<a href=\"a/x.gif\">\n"));
  http_.SetHandler([](const test::HttpRequest&) { return HttpResponse::Ok("GIF89a"); });
  const std::pair<const char*, const char*> cases[] = {
      {"..", "/index.html"}, {"../..", "/a/b/start.gif"}, {"../a", "/index.html"}};
  for (const auto& [name, start] : cases) {
    Crawl(http_.Url(start), name);
    const std::string refused = "Pictures\\" + std::string(name) + " has illegal chars";
    EXPECT_EQ(Status(), refused);
    EXPECT_TRUE(fx_->reporter.Has("row 0 status: " + refused)) << name;
  }
  EXPECT_TRUE(http_.Requests().empty()) << "nothing is fetched for such a project";
  EXPECT_TRUE(fs::is_empty(dir_ / "work"));
  ExpectNothingOutsideTheProject();
  ASSERT_EQ(test::E().lists.requestedSites.GetCount(), 3);
  for (int i = 0; i < 3; ++i)
    EXPECT_STREQ(test::E().lists.requestedSites.GetAt(i)->status, "Some errors occurred");
  EXPECT_EQ(test::E().lists.downloadedSites.GetCount(), 0);
}

TEST_F(HostileSite, LinkedFoldersBelowPicturesAreNeverFollowed) {
  fs::create_directories(dir_ / "elsewhere");
  fs::create_directories("Pictures/proj");
  fs::create_directory_symlink(dir_ / "elsewhere", "Pictures/proj/a");
  fs::create_directory_symlink(dir_ / "elsewhere", "Pictures/other");
  http_.Serve("/index.html", HttpResponse::Html("<a href=\"a/x.gif\">\n<a href=\"a/b/y.gif\">\n"
                                                "<a href=\"c/z.gif\">\n"));
  http_.SetHandler([](const test::HttpRequest&) { return HttpResponse::Ok("GIF89a"); });
  Crawl(http_.Url("/index.html"));
  const auto& ui = fx_->reporter;
  for (const char* path : {"proj\\a\\x.gif", "proj\\a\\b\\y.gif"})
    EXPECT_TRUE(ui.Has("Status: Error creating Pictures\\" + std::string(path))) << path;
  EXPECT_EQ(test::ReadFile("Pictures/proj/c/z.gif"), "GIF89a") << "the crawl went on";
  EXPECT_EQ(fx_->reporter.FilesOf("proj"), std::vector<std::string>{"Pictures\\proj\\c\\z.gif"});
  EXPECT_EQ(test::E().lists.downloadedSites.GetCount(), 1) << "a refused file is no error";

  // The project folder itself is a link: nothing can be saved, which is an
  // error with its reason, and nothing is fetched.
  const std::size_t asked = http_.Requests().size();
  Crawl(http_.Url("/w.gif"), "other");
  EXPECT_EQ(http_.Requests().size(), asked);
  EXPECT_EQ(Status(), "Error creating Pictures\\other");
  EXPECT_TRUE(ui.Has("row 0 status: Error creating Pictures\\other"));
  EXPECT_EQ(test::E().lists.downloadedSites.GetCount(), 1);
  EXPECT_TRUE(fs::is_empty(dir_ / "elsewhere"));
}

}  // namespace
}  // namespace tvx
