// The choice of engines of today and the credits of found pictures: kept in
// files of their own beside the lists, by the lists' rules.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "store/ListFiles.h"
#include "store/PictureCredits.h"
#include "store/SearchOptions.h"
#include "support/Files.h"
#include "support/ListReset.h"
#include "support/TempDir.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

class SearchSideFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    fs::current_path(dir_.Path());
    test::ResetLists();
    test::E().Store().SetMessageHook([this](const std::string& m) { messages_.push_back(m); });
  }
  void TearDown() override {
    test::E().Store().SetMessageHook(nullptr);
    test::ResetLists();
    fs::current_path(old_);
  }
  static Engine& E() { return test::E(); }

  test::TempDir dir_{"tvx-search-files"};
  fs::path old_;
  std::vector<std::string> messages_;
};

TEST_F(SearchSideFiles, SavedBesideTheListsWhichKeepTheirFormat) {
  SearchProject project{};
  SetText(project.name, "Light houses");
  SetText(project.searchText, "lighthouse keeper");
  project.useYahoo = 1;
  project.runWhenRequested = project.stopWhenRequested = 1;
  E().lists.searchProjects.Add(project);
  E().searchOptions.Set("Light houses", {true, false, true});
  E().searchOptions.Set("Nothing of today", {});
  E().lists.searchResults.Add(MakeFileRecord("http://p.example/a.jpg", "Light houses"));
  E().lists.requestedFiles.Add(MakeFileRecord("http://p.example/b.jpg"));
  E().lists.downloadedFiles.Add(MakeFileRecord("http://p.example/c.jpg"));
  const PictureCredit a{"Phare \xC3\xA0 l'aube", "Ann\tB\xC3\xA9", "CC BY-SA 4.0",
                        "https://p.example/a"};
  E().credits.Set("http://p.example/a.jpg", a);
  E().credits.Set("http://p.example/b.jpg", {"B", "", "CC0 1.0", ""});
  // Saved already (Pictures/CREDITS.txt has it), or in no list at all.
  E().credits.Set("http://p.example/c.jpg", {"C", "", "", ""});
  E().credits.Set("http://p.example/gone.jpg", {"Gone", "", "", ""});
  E().Store().SaveAll();

  EXPECT_EQ(ReadFile(kSearchOptionsFile), "1 0 1 Light houses\r\n");
  EXPECT_EQ(ReadFile(kPictureCreditsFile),
            "http://p.example/a.jpg\tPhare \xC3\xA0 l'aube\tAnn B\xC3\xA9\tCC BY-SA 4.0\t"
            "https://p.example/a\r\n"
            "http://p.example/b.jpg\tB\t\tCC0 1.0\t\r\n");
  EXPECT_EQ(ReadFile("reqpicsearch.data"),
            "Light houses\r\nlighthouse keeper\r\n0 0 1 0 0 0 0\r\n1 0 0\r\n1 0 0\r\n*\r\n");
  EXPECT_EQ(ReadFile("picsearchres.data"), "http://p.example/a.jpg\r\n");

  test::ResetLists();
  E().Store().LoadAll();
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(E().searchOptions.Get("LIGHT HOUSES"), (TodayEngines{true, false, true}));
  EXPECT_EQ(E().credits.Get("http://p.example/a.jpg"),
            (PictureCredit{"Phare \xC3\xA0 l'aube", "Ann B\xC3\xA9", "CC BY-SA 4.0",
                           "https://p.example/a"}));
  EXPECT_FALSE(E().credits.Get("http://p.example/c.jpg"));
  EXPECT_FALSE(E().searchOptions.Modified());
  EXPECT_FALSE(E().credits.Modified());
}

TEST_F(SearchSideFiles, ReadsWhatItCanOfAnEditedFile) {
  E().searchOptions.Read(
      "1 1 1 All three\n"
      "0 1 0 Spaced name \r\n"
      "0 0 0 None\n"
      "2 1 1 Bad flag\n"
      "1 1 Too few\n"
      "1 1 1 \n"
      "\n"
      "0 0 1 all THREE");
  EXPECT_EQ(E().searchOptions.Get("All three"), (TodayEngines{false, false, true}))
      << "the last line of a name counts";
  EXPECT_EQ(E().searchOptions.Get("Spaced name "), (TodayEngines{false, true, false}));
  for (const char* none : {"None", "Bad flag", "Too few", "1 1 Too few", ""})
    EXPECT_EQ(E().searchOptions.Get(none), TodayEngines{}) << none;

  E().credits.Read(
      "http://x/1.jpg\tT\tC\tL\tP\n"
      "http://x/2.jpg\tT\tC\tL\r\n"
      "http://x/3.jpg\tT\tC\tL\tP\tExtra\n"
      "\tT\tC\tL\tP\n"
      "http://x/ 4.jpg\tT\tC\tL\tP\n"
      "http://x/5.jpg\t\t\t\t");
  EXPECT_EQ(E().credits.Get("http://x/1.jpg"), (PictureCredit{"T", "C", "L", "P"}));
  EXPECT_EQ(E().credits.Get("http://x/5.jpg"), PictureCredit{});
  for (const char* none : {"http://x/2.jpg", "http://x/3.jpg", "", "http://x/", "http://x/ 4.jpg"})
    EXPECT_FALSE(E().credits.Get(none)) << none;
  EXPECT_FALSE(E().credits.Modified());
}

// As for the lists: a file that cannot be read is left alone, and what this
// run keeps goes to a file beside it.
TEST_F(SearchSideFiles, AnUnreadableFileIsNeverWrittenOver) {
  struct Case {
    const char* file;
    std::function<void()> change;
    const char* kept;
  } cases[] = {
      {kSearchOptionsFile, [] { E().searchOptions.Set("Boats", kEveryTodayEngine); },
       "1 1 1 Boats\r\n"},
      {kPictureCreditsFile,
       [] {
         E().lists.searchResults.Add(MakeFileRecord("http://p.example/a.jpg", "Boats"));
         E().credits.Set("http://p.example/a.jpg", {"A", "Bo", "CC0 1.0", "https://p.example/"});
       },
       "http://p.example/a.jpg\tA\tBo\tCC0 1.0\thttps://p.example/\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    test::ResetLists();
    messages_.clear();
    fs::create_directory(c.file);
    E().Store().LoadAll();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find(std::string("'") + c.file + "'"), std::string::npos)
        << messages_[0];
    c.change();
    E().Store().SaveAll();
    EXPECT_TRUE(fs::is_directory(c.file));
    EXPECT_EQ(ReadFile(std::string(c.file) + ".unsaved"), c.kept);
    EXPECT_EQ(messages_.size(), 1u);
    fs::remove(c.file);
  }
}

}  // namespace
}  // namespace tvx
