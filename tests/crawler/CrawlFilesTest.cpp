// A crawl's picture takes its name only when whole, in both crawls: a good
// picture saved before stays as it is while its replacement is fetched, and
// when that replacement breaks, is stopped or the program ends under it; a
// whole one replaces it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "crawler/SiteCrawlFixture.h"
#include "files/PartialFile.h"
#include "store/SiteOptions.h"
#include "support/Files.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
using test::HttpResponse;

class CrawlFiles : public test::SiteCrawlFixture {
 protected:
  void TearDown() override {
    SiteCrawlFixture::TearDown();
    test::E().siteOptions.Reset();
  }
};

TEST_F(CrawlFiles, AGoodPictureOutlivesAReplacementThatDoesNotEndWhole) {
  const std::string good = "GIF89a good " + test::BinaryBody(3000);
  const std::string newer = "GIF89a newer " + test::BinaryBody(5000);
  HttpResponse broken = HttpResponse::Ok(test::BinaryBody(8000));
  broken.contentLength = 16000;
  broken.closeAfterBytes = 8000;
  HttpResponse slow = HttpResponse::Ok(test::BinaryBody(200000));
  slow.dripBytes = 500;  // far slower than the test: it is stopped mid-way
  slow.dripIntervalMs = 100;
  http_.Serve("/broken.gif", broken);
  http_.Serve("/slow.gif", slow);
  http_.Serve("/whole.gif", HttpResponse::Ok(newer));
  enum class End { Whole, Broken, Stopped, Quit };
  const char* const names[] = {"whole.gif", "broken.gif", "slow.gif", "slow.gif"};
  for (const bool modern : {false, true}) {
    for (const End end : {End::Whole, End::Broken, End::Stopped, End::Quit}) {
      const char* name = names[static_cast<int>(end)];
      SCOPED_TRACE(std::string(modern ? "modern " : "classic ") + name +
                   (end == End::Quit ? " quit" : ""));
      const std::string path = "Pictures/proj/" + std::string(name);
      const std::string part = path + ".part";
      dir_.Write(path, good);
      test::E().siteOptions.Reset();
      if (modern) test::E().siteOptions.Set("proj", SiteOptions{true, 4});
      const std::size_t treeFiles = Ui().FilesOf("proj").size();
      Start(Project(http_.Url("/" + std::string(name))));
      if (end == End::Stopped || end == End::Quit) {
        // Mid-picture: the old picture is whole under its name, the new
        // bytes go to the partial file (all a killed process could leave).
        ASSERT_TRUE(test::WaitFor([&] { return Status().find("k read") != std::string::npos; }));
        ASSERT_TRUE(fs::exists(part));
        EXPECT_EQ(test::ReadFile(path), good);
        if (end == End::Quit) {
          // As the program does at its end once the workers were asked to stop.
          EXPECT_GE(RemoveOpenPartialFiles(), 1u);
          EXPECT_FALSE(fs::exists(part));
        }
        test::RequestStop(WorkerKind::Site);
      }
      const bool stopped = end == End::Stopped || end == End::Quit;
      EXPECT_EQ(Finish(), stopped ? kCrawlStopped : kCrawlDone);
      EXPECT_EQ(test::ReadFile(path), end == End::Whole ? newer : good) << "byte for byte";
      EXPECT_FALSE(fs::exists(part));
      EXPECT_EQ(Ui().FilesOf("proj").size() - treeFiles, end == End::Whole ? 1u : 0u);
      if (end == End::Whole) {
        EXPECT_EQ(Status(), "Success");
        test::E().lists.downloadedSites.RemoveAt(0);
        test::Shown().FollowRow(0);
      } else {
        EXPECT_EQ(Status(), stopped ? "Download Stopped" : "Some errors occurred");
        test::E().lists.requestedSites.RemoveAt(0);
      }
      fs::remove_all("Pictures");
      Ui().Clear();
    }
  }
}

}  // namespace
}  // namespace tvx
