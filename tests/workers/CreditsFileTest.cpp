// A picture a search found with its credit: once saved, its credit line is in
// Pictures/CREDITS.txt.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "store/Lists.h"
#include "support/Files.h"
#include "support/RecordingReporter.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"
#include "workers/FileWorkers.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
using test::HttpResponse;
using test::ReadFile;

class CreditsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    fs::current_path(dir_.Path());
  }
  void TearDown() override {
    fx_.reset();
    fs::current_path(old_);
  }
  // Downloads url as the Download command does, its row followed, and waits.
  void Download(const std::string& url) {
    const ItemId id = test::E().lists.requestedFiles.AddUrl(url);
    test::Shown().FollowItem({kListRequestedFiles, id});
    ASSERT_NE(StartFileWorker(test::E(), id, *test::E().lists.requestedFiles.CopyOf(id)), nullptr);
    ASSERT_TRUE(test::WaitForWorkers());
  }

  test::TempDir dir_{"tvx-credits"};
  fs::path old_;
  std::unique_ptr<test::EngineFixture> fx_ = std::make_unique<test::EngineFixture>();
  test::TestHttpServer http_;
};

TEST_F(CreditsFile, EachSavedPictureWithACreditAddsItsLine) {
  for (const char* name : {"/phare.jpg", "/plain.jpg", "/keeper.png"})
    http_.Serve(name, HttpResponse::Ok(std::string("picture ") + name));
  test::E().credits.Set(http_.Url("/phare.jpg"),
                        {"Phare de Cr\xC3\xA9"
                         "ac'h",
                         "Ann \xC3\x89vrard", "CC BY-SA 4.0", "https://pages.example/1"});
  test::E().credits.Set(http_.Url("/keeper.png"), {"Keeper", "", "CC0 1.0", ""});
  Download(http_.Url("/phare.jpg"));
  Download(http_.Url("/plain.jpg"));  // no credit: no line
  Download(http_.Url("/keeper.png"));
  EXPECT_EQ(ReadFile("Pictures/CREDITS.txt"),
            "phare.jpg \xE2\x80\x94 Phare de Cr\xC3\xA9"
            "ac'h by Ann \xC3\x89vrard, CC BY-SA 4.0, "
            "https://pages.example/1\n"
            "keeper.png \xE2\x80\x94 Keeper, CC0 1.0\n");
  EXPECT_EQ(fx_->reporter.Text(StatusField::Status), "Success");
  EXPECT_EQ(test::E().lists.downloadedFiles.GetCount(), 3);
}

// Only a plain file named CREDITS.txt is written: a link in its place is
// refused (the download itself stands) and says so.
TEST_F(CreditsFile, ALinkInItsPlaceIsNotWrittenThrough) {
  http_.Serve("/phare.jpg", HttpResponse::Ok("picture"));
  test::E().credits.Set(http_.Url("/phare.jpg"), {"Phare", "Ann", "CC BY 4.0", ""});
  fs::create_directory("Pictures");
  std::ofstream("elsewhere.txt") << "mine\n";
  fs::create_symlink("../elsewhere.txt", "Pictures/CREDITS.txt");
  Download(http_.Url("/phare.jpg"));
  EXPECT_EQ(ReadFile("elsewhere.txt"), "mine\n");
  EXPECT_EQ(ReadFile("Pictures/phare.jpg"), "picture");
  EXPECT_EQ(fx_->reporter.Text(StatusField::Status), "Error creating Pictures\\CREDITS.txt");
  EXPECT_EQ(test::E().lists.downloadedFiles.GetCount(), 1);
}

}  // namespace
}  // namespace tvx
