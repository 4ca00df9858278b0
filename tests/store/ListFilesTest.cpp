#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "store/ListFiles.h"
#include "store/Lists.h"
#include "support/Files.h"
#include "support/RecordingReporter.h"

namespace tvx {
namespace {

using test::ReadFile;

namespace fs = std::filesystem;

void WriteFile(const std::string& name, const std::string& data) {
  std::ofstream out(name, std::ios::binary);
  out << data;
}

const std::vector<std::string> kFiles = {"reqpics.data",  "reqpicwebs.data",  "reqpicsearch.data",
                                         "dnldpics.data", "dnldpicwebs.data", "picsearchres.data"};

// Each test works in a fresh folder of its own with empty lists.
class ListFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    char tmpl[] = "/tmp/tvx-lists-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    fs::current_path(dir_);
    test::ResetLists();
    test::E().Store().SetMessageHook([this](const std::string& m) { messages_.push_back(m); });
  }
  void TearDown() override {
    test::E().Store().SetMessageHook(nullptr);
    test::E().Store().SetWriteFaultForTest("");
    test::ResetLists();
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  fs::path old_, dir_;
  std::vector<std::string> messages_;
};

SiteProject HolidayProject() {
  SiteProject p{};
  SetText(p.name, "Holiday pictures");
  SetText(p.startUrl, "http://pics.example/holiday/index.html");
  p.typeGif = 1;
  p.typeJpg = 1;
  p.startMinute = 30;
  p.startHour = 22;
  p.stopWhenRequested = 1;
  p.maxDomainCount = 5;
  p.exitDomain = 1;
  SetText(p.userName, "me");
  SetText(p.password, "secret");
  SetText(p.otherTypes, ".avi");
  return p;
}

TEST_F(ListFiles, NoFilesGiveEmptyListsAndNothingIsCreated) {
  test::E().Store().LoadAll();
  EXPECT_EQ(
      test::E().lists.requestedFiles.GetCount() + test::E().lists.requestedSites.GetCount() +
          test::E().lists.searchProjects.GetCount() + test::E().lists.downloadedFiles.GetCount() +
          test::E().lists.downloadedSites.GetCount() + test::E().lists.searchResults.GetCount(),
      0);
  test::E().Store().SaveAll();
  for (const auto& f : kFiles) EXPECT_FALSE(fs::exists(f)) << f;
  EXPECT_TRUE(messages_.empty());
}

TEST_F(ListFiles, UnchangedListsKeepTheirFilesByteForByte) {
  // Odd but valid content: LF endings, blank lines, trailing spaces.
  const std::string files = "http://a/1.gif\n\n  http://a/2.gif   \n";
  WriteFile("reqpics.data", files);
  WriteFile("dnldpics.data", "x\r\n");
  test::E().Store().LoadAll();
  EXPECT_EQ(test::E().lists.requestedFiles.GetCount(), 2);
  EXPECT_FALSE(test::E().lists.requestedFiles.IsModified());
  struct stat before {};
  stat("reqpics.data", &before);
  test::E().Store().SaveAll();
  EXPECT_EQ(ReadFile("reqpics.data"), files);
  EXPECT_EQ(ReadFile("dnldpics.data"), "x\r\n");
}

TEST_F(ListFiles, FileRecordsRoundTripWithLoadStatuses) {
  test::E().lists.requestedFiles.AddUrl("http://a/1.gif");
  test::E().lists.requestedFiles.AddUrl("ftp://b/dir/2.jpg");
  test::E().lists.downloadedFiles.AddUrl("http://c/3.png");
  test::E().lists.searchResults.Add(MakeFileRecord("http://d/page.html", "my project"));
  test::E().Store().SaveAll();
  EXPECT_EQ(ReadFile("reqpics.data"), "http://a/1.gif\r\nftp://b/dir/2.jpg\r\n");
  EXPECT_EQ(ReadFile("dnldpics.data"), "http://c/3.png\r\n");
  EXPECT_EQ(ReadFile("picsearchres.data"), "http://d/page.html\r\n");
  test::ResetLists();
  test::E().Store().LoadAll();
  ASSERT_EQ(test::E().lists.requestedFiles.GetCount(), 2);
  EXPECT_STREQ(test::E().lists.requestedFiles.GetAt(1)->url, "ftp://b/dir/2.jpg");
  EXPECT_STREQ(test::E().lists.requestedFiles.GetAt(0)->status, "Ready for download");
  EXPECT_STREQ(test::E().lists.downloadedFiles.GetAt(0)->status, "Success");
  EXPECT_STREQ(test::E().lists.searchResults.GetAt(0)->status, "New Project");
  EXPECT_FALSE(test::E().lists.searchResults.IsModified());
}

TEST_F(ListFiles, SiteProjectLayoutAndRoundTrip) {
  test::E().lists.requestedSites.Add(HolidayProject());
  SiteProject second = HolidayProject();
  SetText(second.name, "New Web Project");
  second.runWhenRequested = 1;
  second.reserved = 7;
  test::E().lists.downloadedSites.Add(second);
  test::E().Store().SaveAll();
  EXPECT_EQ(ReadFile("reqpicwebs.data"),
            "Holiday pictures\r\nhttp://pics.example/holiday/index.html\r\n0\r\n"
            "0 1 1 0 0 0 0\r\n0 30 22\r\n1 0 0\r\n5 0 1\r\n*\r\n");
  test::ResetLists();
  test::E().Store().LoadAll();
  ASSERT_EQ(test::E().lists.requestedSites.GetCount(), 1);
  const SiteProject& p = *test::E().lists.requestedSites.GetAt(0);
  EXPECT_STREQ(p.name, "Holiday pictures");
  EXPECT_EQ(p.startMinute, 30);
  EXPECT_EQ(p.startHour, 22);
  EXPECT_EQ(p.stopWhenRequested, 1);
  EXPECT_EQ(p.maxDomainCount, 5);
  EXPECT_EQ(p.exitDomain, 1);
  EXPECT_STREQ(p.userName, "") << "not stored";
  EXPECT_STREQ(p.password, "");
  EXPECT_STREQ(p.otherTypes, "");
  EXPECT_STREQ(p.status, "Ready for download");
  ASSERT_EQ(test::E().lists.downloadedSites.GetCount(), 1);
  EXPECT_STREQ(test::E().lists.downloadedSites.GetAt(0)->name, "New Web Project");
  EXPECT_EQ(test::E().lists.downloadedSites.GetAt(0)->reserved, 7);
  EXPECT_STREQ(test::E().lists.downloadedSites.GetAt(0)->status, "Success");
  // Saving what was loaded again reproduces the files byte for byte.
  std::string req = ReadFile("reqpicwebs.data"), dnld = ReadFile("dnldpicwebs.data");
  test::E().lists.requestedSites.SetModified(true);
  test::E().lists.downloadedSites.SetModified(true);
  test::E().Store().SaveAll();
  EXPECT_EQ(ReadFile("reqpicwebs.data"), req);
  EXPECT_EQ(ReadFile("dnldpicwebs.data"), dnld);
}

TEST_F(ListFiles, SiteLineFiveIsFlagMinuteHour) {
  WriteFile("reqpicwebs.data", "P\nhttp://h/\n1\n1 1 1 1 1 1 1\n0 5 7\n1 0 0\n0 0 0\n*\n");
  test::E().Store().LoadAll();
  ASSERT_EQ(test::E().lists.requestedSites.GetCount(), 1);
  EXPECT_EQ(test::E().lists.requestedSites.GetAt(0)->runWhenRequested, 0);
  EXPECT_EQ(test::E().lists.requestedSites.GetAt(0)->startMinute, 5);
  EXPECT_EQ(test::E().lists.requestedSites.GetAt(0)->startHour, 7);
}

TEST_F(ListFiles, SearchProjectRoundTripKeepsSeveralWords) {
  SearchProject s{};
  SetText(s.name, "Cats");
  SetText(s.searchText, "black  cats on roofs");
  s.useAltaVista = 1;
  s.useYahoo = 1;
  s.runWhenRequested = 1;
  s.stopMinute = 15;
  s.stopHour = 23;
  test::E().lists.searchProjects.Add(s);
  test::E().Store().SaveAll();
  EXPECT_EQ(ReadFile("reqpicsearch.data"),
            "Cats\r\nblack  cats on roofs\r\n1 0 1 0 0 0 0\r\n1 0 0\r\n0 15 23\r\n*\r\n");
  test::ResetLists();
  test::E().Store().LoadAll();
  ASSERT_EQ(test::E().lists.searchProjects.GetCount(), 1);
  EXPECT_STREQ(test::E().lists.searchProjects.GetAt(0)->searchText, "black  cats on roofs");
  EXPECT_EQ(test::E().lists.searchProjects.GetAt(0)->stopHour, 23);
}

TEST_F(ListFiles, ReaderWhitespaceRules) {
  // Two words on a line give two records; CR LF and LF alike.
  WriteFile("reqpics.data", "http://a/1.gif http://a/2.gif\r\n\r\nhttp://a/3.gif");
  // A name with leading blanks keeps them only as the first record.
  WriteFile("reqpicwebs.data",
            "  First\r\nhttp://h/\r\n0\r\n0 0 0 0 0 0 0\r\n1 0 0\r\n1 0 0\r\n0 0 0\r\n*\r\n"
            "  Second\r\nhttp://h/\r\n0\r\n0 0 0 0 0 0 0\r\n1 0 0\r\n1 0 0\r\n0 0 0\r\n*\r\n\r\n");
  WriteFile("dnldpics.data", " \r\n \n");
  test::E().Store().LoadAll();
  ASSERT_EQ(test::E().lists.requestedFiles.GetCount(), 3);
  EXPECT_STREQ(test::E().lists.requestedFiles.GetAt(1)->url, "http://a/2.gif");
  ASSERT_EQ(test::E().lists.requestedSites.GetCount(), 2);
  EXPECT_STREQ(test::E().lists.requestedSites.GetAt(0)->name, "  First");
  EXPECT_STREQ(test::E().lists.requestedSites.GetAt(1)->name, "Second");
  EXPECT_EQ(test::E().lists.downloadedFiles.GetCount(), 0);
}

TEST_F(ListFiles, EmptiedListLosesItsFileOthersStay) {
  WriteFile("reqpics.data", "http://a/1.gif\r\n");
  WriteFile("dnldpics.data", "http://a/2.gif\r\n");
  test::E().Store().LoadAll();
  test::E().lists.requestedFiles.RemoveAt(0);
  test::E().Store().SaveAll();
  EXPECT_FALSE(fs::exists("reqpics.data"));
  EXPECT_EQ(ReadFile("dnldpics.data"), "http://a/2.gif\r\n");
}

TEST_F(ListFiles, OverlongHandEditedFieldsAreCutAndTheRestDropped) {
  std::string longName(300, 'N');
  std::string longText(600, 'T');
  WriteFile("reqpicsearch.data", longName + "\n" + longText + "\n1 0 1 0 0 0 0\n1 0 0\n1 0 0\n*\n");
  std::string longUrl(1000, 'u');
  WriteFile("reqpics.data", longUrl + "\nhttp://ok/a.gif\n");
  test::E().Store().LoadAll();
  ASSERT_EQ(test::E().lists.searchProjects.GetCount(), 1)
      << "the rest of a long line is not the next field";
  EXPECT_EQ(std::string(test::E().lists.searchProjects.GetAt(0)->name), std::string(79, 'N'));
  EXPECT_EQ(std::string(test::E().lists.searchProjects.GetAt(0)->searchText),
            std::string(255, 'T'));
  EXPECT_EQ(test::E().lists.searchProjects.GetAt(0)->useYahoo, 1);
  ASSERT_EQ(test::E().lists.requestedFiles.GetCount(), 2);
  EXPECT_EQ(TextOf(test::E().lists.requestedFiles.GetAt(0)->url).size(), 254u);
  EXPECT_STREQ(test::E().lists.requestedFiles.GetAt(1)->url, "http://ok/a.gif");
}

TEST_F(ListFiles, DamagedFilesLoadWithoutHangOrOverrun) {
  std::string garbage;
  unsigned seed = 12345;
  for (int i = 0; i < 200000; ++i) {
    seed = seed * 1103515245 + 12345;
    garbage.push_back(static_cast<char>(seed >> 16));
  }
  WriteFile("reqpicwebs.data", garbage);
  WriteFile("reqpicsearch.data", garbage);
  WriteFile("picsearchres.data", garbage);
  // A record with a missing "*" and a truncated last record.
  WriteFile("dnldpicwebs.data",
            "A\nhttp://a/\n0\n0 0 0 0 0 0 0\n1 0 0\n1 0 0\n0 0 0\nB\nhttp://b/\n0\n0 1");
  // One line of 100 MB without an end.
  {
    std::ofstream out("reqpics.data", std::ios::binary);
    std::string chunk(1 << 20, 'x');
    for (int i = 0; i < 100; ++i) out << chunk;
  }
  test::E().Store().LoadAll();
  EXPECT_EQ(test::E().lists.requestedFiles.GetCount(), 1);
  EXPECT_GE(test::E().lists.requestedSites.GetCount(), 1);
  EXPECT_GE(test::E().lists.downloadedSites.GetCount(), 2);
  EXPECT_STREQ(test::E().lists.downloadedSites.GetAt(0)->name, "A");
  auto sites = test::E().lists.requestedSites.Snapshot();
  for (const auto& s : sites) {
    EXPECT_LT(strnlen(s.name, sizeof s.name), sizeof s.name);
    EXPECT_LT(strnlen(s.startUrl, sizeof s.startUrl), sizeof s.startUrl);
  }
}

TEST_F(ListFiles, SaveErrorShowsTheListTextAndKeepsTheOldFile) {
  WriteFile("dnldpics.data", "http://old/1.gif\r\n");
  test::E().Store().LoadAll();
  test::E().lists.downloadedFiles.AddUrl("http://new/2.gif");
  test::E().lists.requestedFiles.AddUrl("http://req/3.gif");
  test::E().Store().SetWriteFaultForTest("dnldpics.data");
  test::E().Store().SaveAll();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "Error saving the 'Requested Files' list!");
  EXPECT_EQ(ReadFile("dnldpics.data"), "http://old/1.gif\r\n");
  EXPECT_EQ(ReadFile("reqpics.data"), "http://req/3.gif\r\n") << "other lists still saved";
  EXPECT_FALSE(fs::exists("dnldpics.data.tmp"));
}

TEST_F(ListFiles, ErrorTextsFollowTheListFile) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"reqpicwebs.data", "Error saving the 'Requested Web Sites' list!"},
      {"reqpicsearch.data", "Error saving the 'Requested Search Projects' list!"},
      {"dnldpicwebs.data", "Error saving the 'Requested Web Sites' list!"},
      {"picsearchres.data", "Error saving the 'Requested Files' list!"},
  };
  test::E().lists.requestedSites.Add(HolidayProject());
  test::E().lists.downloadedSites.Add(HolidayProject());
  SearchProject s{};
  SetText(s.name, "S");
  test::E().lists.searchProjects.Add(s);
  test::E().lists.searchResults.AddUrl("http://x/");
  for (const auto& [file, text] : cases) {
    messages_.clear();
    test::E().Store().SetWriteFaultForTest(file);
    test::E().Store().SaveAll();
    ASSERT_EQ(messages_.size(), 1u) << file;
    EXPECT_EQ(messages_[0], text);
  }
}

TEST_F(ListFiles, UnwritableFolderShowsErrorAndGoesOn) {
  test::E().lists.requestedFiles.AddUrl("http://a/1.gif");
  // The file lies in a folder that does not exist: no temporary file can be
  // made beside it.
  fs::create_symlink("missing-folder/reqpics.data", "reqpics.data");
  test::E().lists.searchResults.AddUrl("http://b/");
  test::E().Store().SaveAll();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "Error saving the 'Requested Files' list!");
  EXPECT_EQ(ReadFile("picsearchres.data"), "http://b/\r\n");
}

}  // namespace
}  // namespace tvx
