#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "store/ListFiles.h"
#include "store/Lists.h"
#include "store/SiteOptions.h"
#include "support/Files.h"
#include "support/ListReset.h"
#include "support/TempDir.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

class SiteOptionsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    fs::current_path(dir_.Path());
    test::ResetLists();
    test::E().siteOptions.Reset();
    test::E().Store().ResetForTest();
    test::E().Store().SetMessageHook([this](const std::string& m) { messages_.push_back(m); });
  }
  void TearDown() override {
    test::E().Store().SetMessageHook(nullptr);
    test::E().siteOptions.Reset();
    test::E().Store().ResetForTest();
    test::ResetLists();
    fs::current_path(old_);
  }
  static SiteProject Site(const char* name) {
    SiteProject p{};
    SetText(p.name, name);
    SetText(p.startUrl, "https://pics.example/");
    p.typeJpg = 1;
    return p;
  }
  test::TempDir dir_{"tvx-opts"};
  fs::path old_;
  std::vector<std::string> messages_;
};

TEST_F(SiteOptionsFile, SavedBesideTheListsWhichKeepTheirFormat) {
  test::E().lists.requestedSites.Add(Site("Holiday pictures"));
  test::E().siteOptions.Set("Holiday pictures", {true, 8});
  test::E().siteOptions.Set("B", {true, 99});      // kept within 1..16
  test::E().siteOptions.Set("Plain", {false, 4});  // the defaults: no entry
  test::E().Store().SaveAll();
  EXPECT_EQ(ReadFile(kSiteOptionsFile), "1 8 Holiday pictures\r\n1 16 B\r\n");
  EXPECT_EQ(ReadFile("reqpicwebs.data"),
            "Holiday pictures\r\nhttps://pics.example/\r\n0\r\n0 0 1 0 0 0 0\r\n0 0 0\r\n"
            "0 0 0\r\n0 0 0\r\n*\r\n");

  test::E().siteOptions.Reset();
  test::ResetLists();
  test::E().Store().LoadAll();
  EXPECT_EQ(test::E().siteOptions.Get("holiday PICTURES"), (SiteOptions{true, 8}));
  EXPECT_EQ(test::E().siteOptions.Get("Plain"), SiteOptions{});
  EXPECT_TRUE(messages_.empty());

  // Unchanged options are not written again.
  std::ofstream(kSiteOptionsFile, std::ios::binary) << "1 8 Holiday pictures\n";
  test::E().siteOptions.Reset();
  test::E().Store().LoadAll();
  test::E().Store().SaveAll();
  EXPECT_EQ(ReadFile(kSiteOptionsFile), "1 8 Holiday pictures\n");
}

TEST_F(SiteOptionsFile, ReadsWhatItCanOfAnEditedFile) {
  test::E().siteOptions.Read(
      "1 4 Spaced name \r\n"
      "0 9 Narrow\n"
      "1 0 Zero\n"
      "2 4 Bad flag\n"
      "x 4 Bad number\n"
      "1 4\n"
      "\n"
      "1 3 narrow");
  EXPECT_FALSE(test::E().siteOptions.Modified());
  EXPECT_EQ(test::E().siteOptions.Get("Spaced name "), (SiteOptions{true, 4}));
  EXPECT_EQ(test::E().siteOptions.Get("NARROW"), (SiteOptions{true, 3}))
      << "the last line of a name counts";
  EXPECT_EQ(test::E().siteOptions.Get("Zero"), (SiteOptions{true, 1}));
  EXPECT_EQ(test::E().siteOptions.Get("Bad flag"), SiteOptions{});
  EXPECT_EQ(test::E().siteOptions.Get("Bad number"), SiteOptions{});
}

// The settings of a modern crawl go on lines of their own below their
// project's, only where they differ from the defaults; they come back as
// written, and lines of a setting this version does not know are passed over.
TEST_F(SiteOptionsFile, FurtherSettingsRoundTripBelowTheirProject) {
  SiteOptions all{true, 6};
  all.cookieFile = "/home/u/cookies.txt\nx";
  all.obeyRobots = false;
  all.waitSeconds = 75;  // kept within 0..60
  all.minWidth = 100;
  all.minHeight = 80;
  all.minKb = 5;
  all.maxKb = 900;
  all.refetchDeleted = true;
  all.copiesAcrossProjects = true;
  test::E().siteOptions.Set("All", all);
  test::E().siteOptions.Set("Plain", {true, 4});
  test::E().Store().SaveAll();
  const std::string written = ReadFile(kSiteOptionsFile);
  EXPECT_EQ(written,
            "1 6 All\r\n\tcookies /home/u/cookies.txtx\r\n\trobots 0\r\n\twait 75\r\n"
            "\tmin-size 100x80\r\n\tmin-kb 5\r\n\tmax-kb 900\r\n\trefetch-deleted 1\r\n"
            "\tcopies-across-projects 1\r\n1 4 Plain\r\n");
  std::ofstream(kSiteOptionsFile, std::ios::binary)
      << written << "\tcolour blue\n\twait soon\n0 2 Other\n\trobots 0\n";
  test::E().siteOptions.Reset();
  test::E().Store().ResetForTest();
  test::E().Store().LoadAll();
  SiteOptions back = test::E().siteOptions.Get("all");
  all.cookieFile = "/home/u/cookies.txtx";
  all.waitSeconds = 60;
  EXPECT_EQ(back, all);
  EXPECT_EQ(test::E().siteOptions.Get("Plain"), (SiteOptions{true, 4}));
  SiteOptions other{false, 2};
  other.obeyRobots = false;
  EXPECT_EQ(test::E().siteOptions.Get("Other"), other);
}

// Entries follow their projects: renamed with them, kept while a project of
// that name remains (moved to the downloaded sites), dropped when deleted.
TEST_F(SiteOptionsFile, EntriesFollowTheirProjects) {
  test::E().siteOptions.Set("Old", {true, 2});
  test::E().siteOptions.Set("New", {true, 3}, "old");
  EXPECT_EQ(test::E().siteOptions.Get("Old"), SiteOptions{});
  EXPECT_EQ(test::E().siteOptions.Get("New"), (SiteOptions{true, 3}));

  test::E().siteOptions.Forget("new");
  EXPECT_EQ(test::E().siteOptions.Get("New"), SiteOptions{});

  test::E().siteOptions.Set("A", {true, 5});
  EXPECT_TRUE(test::E().Store().Write(SaveScope::ChangedSinceSave).empty());
  ASSERT_TRUE(fs::exists(kSiteOptionsFile));
  test::E().siteOptions.ForgetAll();
  EXPECT_TRUE(test::E().Store().Write(SaveScope::ChangedSinceSave).empty());
  EXPECT_FALSE(fs::exists(kSiteOptionsFile)) << "no options, no file";
}

// As for the lists: an unreadable file is left alone and the options go to
// a file beside it.
TEST_F(SiteOptionsFile, AnUnreadableFileIsNeverWrittenOver) {
  fs::create_directory(kSiteOptionsFile);
  test::E().Store().LoadAll();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_[0].find("'picwebopts.data'"), std::string::npos) << messages_[0];
  test::E().siteOptions.Set("A", {true, 5});
  test::E().Store().SaveAll();
  EXPECT_TRUE(fs::is_directory(kSiteOptionsFile));
  EXPECT_EQ(ReadFile("picwebopts.data.unsaved"), "1 5 A\r\n");
  EXPECT_EQ(messages_.size(), 1u);

  // A file that cannot be written is reported, once by the background save.
  test::E().Store().ResetForTest();
  fs::remove(kSiteOptionsFile);
  test::E().Store().SetWriteFaultForTest(kSiteOptionsFile);
  test::E().siteOptions.Set("A", {true, 6});
  EXPECT_EQ(test::E().Store().Write(SaveScope::ChangedSinceSave),
            std::vector<std::string>{"Error saving the web site options!"});
  EXPECT_TRUE(test::E().Store().Write(SaveScope::ChangedSinceSave).empty());
  test::E().Store().SetWriteFaultForTest("");
}

}  // namespace
}  // namespace tvx
