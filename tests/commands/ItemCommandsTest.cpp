// The add, delete, edit and send-to commands without a window: the dialogs
// are stood in for by functions that answer as the user would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/Commands.h"
#include "commands/ItemCommands.h"
#include "files/LocalPath.h"
#include "store/Lists.h"
#include "support/RecordingReporter.h"

namespace tvx {
namespace {

SiteProject Site(const std::string& name) {
  SiteProject p = NewWebSiteProject();
  SetText(p.name, name);
  SetText(p.status, kReadyForDownload);
  return p;
}

SearchProject Search(const std::string& name, const std::string& text) {
  SearchProject p{};
  SetText(p.name, name);
  SetText(p.searchText, text);
  p.useYahoo = 1;
  p.runWhenRequested = p.stopWhenRequested = 1;
  return p;
}

// The items of rows of a list as the window shows it (row 0 newest), in the
// order given.
template <class T>
std::vector<ItemId> Rows(const RecordList<T>& list, std::initializer_list<int> rows) {
  std::vector<ItemId> ids;
  for (int row : rows) ids.push_back(list.IdAt(IndexOfRow(list.GetCount(), row)));
  return ids;
}

int ShownList() { return test::Shown().Shown(); }

template <class T>
std::vector<std::string> Keys(const RecordList<T>& list) {
  std::vector<std::string> keys;
  for (const T& r : list.Snapshot()) keys.emplace_back(KeyOf(r));
  return keys;
}

const EditSearch kNoSearchDialog = [](const SearchEdit&) -> std::optional<SearchEdit> {
  ADD_FAILURE() << "no search dialog expected";
  return std::nullopt;
};
const EditSite kNoSiteSheet = [](const SiteEdit&) -> std::optional<SiteEdit> {
  ADD_FAILURE() << "no sheet expected";
  return std::nullopt;
};

class ItemCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    test::E().sendToDraft = SiteProject{};
    test::E().sendToDraftOptions = NewSiteOptions();
    test::E().siteOptions.Reset();
    test::E().searchOptions.Reset();
    test::E().archive.Reset();
  }
  void TearDown() override {
    test::E().siteOptions.Reset();
    test::E().searchOptions.Reset();
    test::E().archive.Reset();
  }
  // A picture a crawl of the project saved.
  static void Archive(const char* project, const char* url) {
    ArchiveEntry e;
    e.url = url;
    e.path = std::string("Pictures\\") + project + "\\a.jpg";
    e.sha256 = std::string(64, 'a');
    test::E().archive.Record(project, e);
  }
  test::RecordingReporter& Ui() { return fx.reporter; }
  test::EngineFixture fx;
};

TEST_F(ItemCommands, AddFilesPutsHttpInFrontOfUrlsWithoutDoubleSlash) {
  AddFiles(test::E(), "ftp://127.0.0.1/a.gif");
  AddFiles(test::E(), "127.0.0.1/b.jpg");
  AddFiles(test::E(), "");
  EXPECT_EQ(Keys(test::E().lists.requestedFiles),
            (std::vector<std::string>{"ftp://127.0.0.1/a.gif", "http://127.0.0.1/b.jpg"}));
  EXPECT_STREQ(test::E().lists.requestedFiles.GetAt(1)->status, "Ready for download");
  EXPECT_EQ(Ui().CallsStartingWith("insert row: "),
            (std::vector<std::string>{"insert row: ftp://127.0.0.1/a.gif",
                                      "insert row: http://127.0.0.1/b.jpg"}));
  EXPECT_TRUE(Ui().Has("row 0 status: Ready for download"));

  // While another list is shown the record is added without a row.
  Ui().Clear();
  test::Shown().Show(kListRequestedSites);
  AddFiles(test::E(), "http://127.0.0.1/c.png");
  AddSearchProject(test::E(), Search("Boats", "red boats"));
  EXPECT_EQ(test::E().lists.requestedFiles.GetCount(), 2 + 1);
  EXPECT_STREQ(test::E().lists.searchProjects.GetAt(0)->status, "Ready for download");
  EXPECT_TRUE(Ui().Calls().empty());
}

TEST_F(ItemCommands, AddWebSiteRefusesEmptyAndTakenNames) {
  test::E().lists.requestedSites.Add(Site("Holiday Pictures"));
  test::Shown().Show(kListRequestedSites);
  AddWebSite(test::E(), Site(""));
  EXPECT_TRUE(Ui().Calls().empty()) << "an empty name ends the command silently";
  AddWebSite(test::E(), Site("HOLIDAY pictures"));
  EXPECT_EQ(Ui().Calls(),
            std::vector<std::string>{"message: A project with that name already exists!"});
  EXPECT_EQ(test::E().lists.requestedSites.GetCount(), 1);
}

// "Run when requested" with 10:30 in the boxes: adding keeps no time,
// editing keeps what the boxes say.
TEST_F(ItemCommands, AddWebSiteZeroesRequestedTimesWhilePropertiesKeepsThem) {
  SiteProject fromSheet = Site("Garden");
  fromSheet.startHour = 10;
  fromSheet.startMinute = 30;
  fromSheet.stopHour = 4;
  fromSheet.reserved = 7;
  test::Shown().Show(kListRequestedSites);
  AddWebSite(test::E(), fromSheet);
  ASSERT_EQ(test::E().lists.requestedSites.GetCount(), 1);
  SiteProject added = *test::E().lists.requestedSites.CopyAt(0);
  EXPECT_EQ(added.startHour + added.startMinute + added.stopHour, 0);
  EXPECT_EQ(added.reserved, 0);
  EXPECT_TRUE(Ui().Has("insert row: Garden"));

  test::E().lists.requestedSites.SetModified(false);
  EditProjects(
      test::E(), ShownList(), Rows(test::E().lists.requestedSites, {0}),
      [&](const SiteEdit& shown) -> std::optional<SiteEdit> {
        SiteEdit edited = shown;
        edited.project.startHour = 10;
        edited.project.startMinute = 30;
        SetText(edited.project.status, "Stopped");
        return edited;
      },
      kNoSearchDialog);
  EXPECT_EQ(test::E().lists.requestedSites.GetAt(0)->startHour, 10);
  EXPECT_EQ(test::E().lists.requestedSites.GetAt(0)->startMinute, 30);
  EXPECT_STREQ(test::E().lists.requestedSites.GetAt(0)->status, "Ready for download");
  EXPECT_TRUE(test::E().lists.requestedSites.IsModified());
}

// A project name names the project's folder below Pictures: a name that
// cannot is refused wherever a web-site project is made or edited.
TEST_F(ItemCommands, NamesThatCannotNameAFolderAreRefusedEverywhere) {
  test::E().lists.searchResults.Add(MakeFileRecord("http://127.0.0.1/a/", "Cats"));
  test::E().lists.requestedSites.Add(Site("Old"));
  const std::string names[] = {".", "..", "a/b", "a\\b", "tab\there", "\x7f"};
  for (const std::string& bad : names) {
    SCOPED_TRACE(bad);
    const std::string problem = ProjectNameProblem(bad);
    ASSERT_FALSE(problem.empty());
    EXPECT_EQ(SiteNameProblem(bad, SiteNameUse::Adding), problem);
    EXPECT_EQ(SiteNameProblem(bad, SiteNameUse::Editing), problem);
    auto rename = [&](const SiteEdit& p) -> std::optional<SiteEdit> {
      SiteEdit edited = p;
      SetText(edited.project.name, bad);
      return edited;
    };
    Ui().Clear();
    test::Shown().Show(kListRequestedSites);
    AddWebSite(test::E(), rename({Site("x"), {}})->project);
    EditProjects(test::E(), ShownList(), Rows(test::E().lists.requestedSites, {0}), rename,
                 kNoSearchDialog);
    test::Shown().Show(kListSearchResults);
    SendToRequestedSites(test::E(), {{"http://127.0.0.1/a/", "Cats"}}, SendToOrigin::ListPanel,
                         rename);
    EXPECT_EQ(Ui().Calls(), std::vector<std::string>(3, "message: " + problem));
    EXPECT_EQ(Keys(test::E().lists.requestedSites), std::vector<std::string>{"Old"});
  }
  // Only Add Web Site lets an empty name through, to end silently.
  EXPECT_TRUE(SiteNameProblem("", SiteNameUse::Adding).empty());
  EXPECT_FALSE(SiteNameProblem("", SiteNameUse::Editing).empty());
  EXPECT_TRUE(SiteNameProblem("Holiday pictures", SiteNameUse::Editing).empty());
}

TEST_F(ItemCommands, DeleteRemovesTheRecordsOfTheSelectedRows) {
  for (const char* url : {"a", "b", "c", "d", "e"}) test::E().lists.requestedFiles.AddUrl(url);
  EXPECT_EQ(CheckDeleteEntries(ShownList(), 2).question,
            "Are you sure you want to delete those entries?");
  EXPECT_EQ(CheckDeleteEntries(ShownList(), 1).question,
            "Are you sure you want to delete that entry?");
  EXPECT_TRUE(CheckDeleteEntries(ShownList(), 0).question.empty());
  // Rows 0 and 2 show e and c; an item that is gone meanwhile is passed over.
  std::vector<ItemId> rows = Rows(test::E().lists.requestedFiles, {0, 2});
  rows.push_back(NewItemId());
  DeleteEntries(test::E(), ShownList(), rows);
  EXPECT_EQ(Keys(test::E().lists.requestedFiles), (std::vector<std::string>{"a", "b", "d"}));
  EXPECT_EQ(Ui().Calls(), (std::vector<std::string>{"delete row 0", "delete row 1"}));
}

TEST_F(ItemCommands, DeleteIsRefusedInTheDownloadedAndResultLists) {
  test::E().lists.downloadedFiles.AddUrl("http://127.0.0.1/a.gif");
  for (int kind : {kListDownloadedFiles, kListDownloadedSites, kListSearchResults}) {
    test::Shown().Show(kind);
    const DeleteCheck check = CheckDeleteEntries(ShownList(), 0);
    EXPECT_EQ(check.refusal, "You are not alowed to delete entries in this panel");
    EXPECT_TRUE(check.question.empty());
  }
  test::Shown().Show(kListDownloadedFiles);
  DeleteEntries(test::E(), ShownList(), Rows(test::E().lists.downloadedFiles, {0}));
  EXPECT_EQ(test::E().lists.downloadedFiles.GetCount(), 1);
}

// Each row edits the record it shows, also when two share a name, and even
// when the list changes while a dialog is open.
TEST_F(ItemCommands, PropertiesEditsEachRowsOwnRecordAfterTheDialog) {
  test::E().lists.searchProjects.Add(Search("Cats", "older"));
  test::E().lists.searchProjects.Add(Search("Cats", "newer"));
  test::Shown().Show(kListSearchProjects);
  std::vector<std::string> opened;
  EditProjects(test::E(), ShownList(), Rows(test::E().lists.searchProjects, {0, 1}), kNoSiteSheet,
               [&](const SearchEdit& p) -> std::optional<SearchEdit> {
                 opened.emplace_back(TextOf(p.project.searchText));
                 // A search project added meanwhile goes to the end of the list.
                 test::E().lists.searchProjects.Add(
                     Search("Cats", "added " + std::to_string(opened.size())));
                 SearchEdit edited = p;
                 SetText(edited.project.name, opened.size() == 1 ? "Cats new" : "Cats old");
                 return edited;
               });
  EXPECT_EQ(opened, (std::vector<std::string>{"newer", "older"}));
  EXPECT_EQ(Keys(test::E().lists.searchProjects),
            (std::vector<std::string>{"Cats old", "Cats new", "Cats", "Cats"}));
  EXPECT_EQ(Ui().Calls(),
            (std::vector<std::string>{"row 1 text: Cats new", "row 3 text: Cats old"}));

  // Cancel, a record gone while its dialog was open (its namesake is not
  // edited instead), and lists without projects to edit change nothing.
  test::E().lists.searchProjects.SetModified(false);
  Ui().Clear();
  EditProjects(test::E(), ShownList(), Rows(test::E().lists.searchProjects, {0}), kNoSiteSheet,
               [](const SearchEdit&) { return std::optional<SearchEdit>(); });
  EditProjects(
      test::E(), ShownList(), Rows(test::E().lists.searchProjects, {1}), kNoSiteSheet,
      [](const SearchEdit& p) {
        test::E().lists.searchProjects.RemoveAt(test::E().lists.searchProjects.GetCount() - 2);
        SearchEdit edited = p;
        SetText(edited.project.name, "renamed");
        return std::optional<SearchEdit>(edited);
      });
  test::E().lists.requestedFiles.AddUrl("http://127.0.0.1/a.gif");
  test::Shown().Show(kListRequestedFiles);
  EditProjects(test::E(), ShownList(), Rows(test::E().lists.requestedFiles, {0}), kNoSiteSheet,
               kNoSearchDialog);
  EXPECT_EQ(Keys(test::E().lists.searchProjects),
            (std::vector<std::string>{"Cats old", "Cats new", "Cats"}));
  EXPECT_TRUE(Ui().Calls().empty());
}

// The frame's Send To keeps the sheet's choices for the next one; the
// list panel's starts afresh. Both make projects that run when requested.
TEST_F(ItemCommands, SendToRequestedSitesFromFrameAndPanel) {
  test::Shown().Show(kListSearchResults);
  const std::string longUrl = "http://127.0.0.1/" + std::string(100, 'p') + "/a.jpg";
  std::vector<SiteProject> shown;
  auto tickJpg = [&](const SiteEdit& p) -> std::optional<SiteEdit> {
    shown.push_back(p.project);
    SiteEdit edited = p;
    edited.project.typeJpg = 1;
    edited.project.downloadAllFiles = 0;
    return edited;
  };
  const std::vector<SearchResultRow> two = {{longUrl, "Cats"}, {"http://127.0.0.1/b/", "Cats"}};
  SendToRequestedSites(test::E(), two, SendToOrigin::Frame, tickJpg);
  SendToRequestedSites(test::E(), two, SendToOrigin::ListPanel, tickJpg);
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(std::string(TextOf(shown[0].startUrl)), longUrl);
  EXPECT_EQ(shown[1].typeJpg, 1) << "the frame's second sheet shows the first one's choice";
  EXPECT_EQ(shown[3].typeJpg, 0) << "the panel's sheets start afresh";
  for (const SiteProject& p : shown) {
    EXPECT_STREQ(p.name, "Cats");
    EXPECT_EQ(p.runWhenRequested + p.stopWhenRequested, 2);
  }
  ASSERT_EQ(test::E().lists.requestedSites.GetCount(), 4);
  for (const SiteProject& p : test::E().lists.requestedSites.Snapshot()) {
    EXPECT_EQ(p.runWhenRequested + p.stopWhenRequested, 2);
    EXPECT_STREQ(p.status, "Ready for download");
  }
  EXPECT_TRUE(Ui().Calls().empty()) << "the panel shows the results: no row";
}

// A project's options and the archive of what its crawls saved, kept beside
// the lists, follow it: stored when it is added, moved along with a rename,
// carried by the frame's Send To, dropped when it is deleted and when all
// the lists go.
TEST_F(ItemCommands, SiteOptionsFollowTheirProject) {
  test::Shown().Show(kListRequestedSites);
  AddWebSite(test::E(), Site("Garden"), {true, 8});
  EXPECT_EQ(test::E().siteOptions.Get("garden"), (SiteOptions{true, 8}));
  Archive("Garden", "http://h/a.jpg");
  EditProjects(
      test::E(), ShownList(), Rows(test::E().lists.requestedSites, {0}),
      [](const SiteEdit& shown) -> std::optional<SiteEdit> {
        EXPECT_EQ(shown.options, (SiteOptions{true, 8})) << "the sheet shows the options";
        SiteEdit edited = shown;
        SetText(edited.project.name, "Yard");
        return edited;
      },
      kNoSearchDialog);
  EXPECT_EQ(test::E().siteOptions.Get("Yard"), (SiteOptions{true, 8}));
  EXPECT_EQ(test::E().siteOptions.Get("Garden"), SiteOptions{});
  EXPECT_TRUE(test::E().archive.Find("yard", "http://h/a.jpg"));
  EXPECT_EQ(test::E().archive.EntriesOf("Garden"), 0u);

  test::Shown().Show(kListSearchResults);
  SendToRequestedSites(test::E(), {{"http://127.0.0.1/c/", "Cats"}}, SendToOrigin::Frame,
                       [](const SiteEdit& shown) -> std::optional<SiteEdit> {
                         SiteEdit made = shown;
                         made.options.modernLinks = true;
                         return made;
                       });
  EXPECT_TRUE(test::E().siteOptions.Get("Cats").modernLinks);
  Archive("Cats", "http://h/c.jpg");

  test::Shown().Show(kListRequestedSites);
  // While a downloaded site has the name, its options stay.
  test::E().lists.downloadedSites.Add(Site("yard"));
  DeleteEntries(test::E(), ShownList(), Rows(test::E().lists.requestedSites, {1}));  // Yard
  EXPECT_EQ(Keys(test::E().lists.requestedSites), std::vector<std::string>{"Cats"});
  EXPECT_EQ(test::E().siteOptions.Get("Yard"), (SiteOptions{true, 8}));
  EXPECT_EQ(test::E().archive.EntriesOf("Yard"), 1u);
  test::E().lists.downloadedSites.RemoveAt(0);
  test::E().lists.requestedSites.Add(Site("Yard"));
  DeleteEntries(test::E(), ShownList(), Rows(test::E().lists.requestedSites, {0}));
  EXPECT_EQ(test::E().siteOptions.Get("Yard"), SiteOptions{});
  EXPECT_EQ(test::E().archive.EntriesOf("Yard"), 0u);
  EXPECT_EQ(test::E().archive.EntriesOf("Cats"), 1u);
  DeleteAllLists(test::E());
  EXPECT_EQ(test::E().siteOptions.Get("Cats"), SiteOptions{});
  EXPECT_EQ(test::E().archive.EntriesOf("Cats"), 0u);
}

// A new project crawls the modern way unless the user unticks it, from Add
// Web Site and from both Send To; a project of the lists without options
// stays as it was. A downloaded project is sent back to run again, keeping
// its options and archive; one whose name is requested already stays.
TEST_F(ItemCommands, NewProjectsAreModernAndDownloadedOnesRunAgain) {
  EXPECT_TRUE(NewSiteOptions().modernLinks);
  EXPECT_FALSE(test::E().siteOptions.Get("Old").modernLinks);
  test::Shown().Show(kListSearchResults);
  for (SendToOrigin origin : {SendToOrigin::Frame, SendToOrigin::ListPanel}) {
    int sheets = 0;
    SendToRequestedSites(test::E(), {{"http://127.0.0.1/c/", "Cats"}}, origin,
                         [&](const SiteEdit& shown) -> std::optional<SiteEdit> {
                           ++sheets;
                           EXPECT_TRUE(shown.options.modernLinks);
                           return shown;
                         });
    EXPECT_EQ(sheets, 1);
  }
  EXPECT_TRUE(test::E().siteOptions.Get("Cats").modernLinks);

  RecordList<SiteProject>& done = test::E().lists.downloadedSites;
  SiteProject twice = Site("Cats"), once = Site("Dogs");
  SetText(once.status, "Success");
  done.Add(twice);
  done.Add(once);
  Archive("Dogs", "http://h/d.jpg");
  test::E().siteOptions.Set("Dogs", {true, 3});
  test::Shown().Show(kListDownloadedSites);
  SendDownloadedSitesToRequested(test::E(), {done.IdAt(0), done.IdAt(1)});
  EXPECT_TRUE(Ui().Has("message: A project with that name already exists!"));
  EXPECT_EQ(Keys(done), std::vector<std::string>{"Cats"});
  const auto requested = test::E().lists.requestedSites.Snapshot();
  ASSERT_EQ(requested.size(), 3u);
  EXPECT_STREQ(requested.back().name, "Dogs");
  EXPECT_STREQ(requested.back().status, "Ready for download");
  EXPECT_EQ(test::E().siteOptions.Get("Dogs"), (SiteOptions{true, 3}));
  EXPECT_EQ(test::E().archive.EntriesOf("Dogs"), 1u);
}

// A search project's choice of the engines of today, kept beside the lists,
// follows it as a web site's options do; projects may share a name, and the
// choice stays while one of them bears it. Credits go with all the lists.
TEST_F(ItemCommands, TheChoiceOfEnginesOfTodayFollowsItsProject) {
  test::Shown().Show(kListSearchProjects);
  const TodayEngines both{true, false, true};
  EXPECT_NE(AddSearchProject(test::E(), Search("Boats", "red boats"), both), 0u);
  AddSearchProject(test::E(), Search("Boats", "blue boats"), both);
  AddSearchProject(test::E(), Search("Old", "kept as it was"));
  EXPECT_EQ(test::E().searchOptions.Get("BOATS"), both);
  EXPECT_EQ(test::E().searchOptions.Get("Old"), TodayEngines{});

  // Renaming one of the two keeps the other's choice; the dialog shows it.
  auto rename = [](const char* name, TodayEngines today) {
    return [=](const SearchEdit& shown) -> std::optional<SearchEdit> {
      SearchEdit edited = shown;
      SetText(edited.project.name, name);
      edited.today = today;
      return edited;
    };
  };
  std::vector<TodayEngines> shown;
  EditProjects(test::E(), ShownList(), Rows(test::E().lists.searchProjects, {1}), kNoSiteSheet,
               [&](const SearchEdit& edit) {
                 shown.push_back(edit.today);
                 return rename("Ships", {false, true, false})(edit);
               });
  EXPECT_EQ(shown, std::vector<TodayEngines>{both});
  EXPECT_EQ(test::E().searchOptions.Get("Ships"), (TodayEngines{false, true, false}));
  EXPECT_EQ(test::E().searchOptions.Get("Boats"), both);
  // The last of its name takes it along; ticking none forgets it.
  EditProjects(test::E(), ShownList(), Rows(test::E().lists.searchProjects, {2}), kNoSiteSheet,
               rename("Sails", kEveryTodayEngine));
  EXPECT_EQ(test::E().searchOptions.Get("Boats"), TodayEngines{});
  EXPECT_EQ(test::E().searchOptions.Get("Sails"), kEveryTodayEngine);
  EditProjects(test::E(), ShownList(), Rows(test::E().lists.searchProjects, {0}), kNoSiteSheet,
               rename("Old", {}));
  EXPECT_EQ(test::E().searchOptions.Get("Old"), TodayEngines{});

  DeleteEntries(test::E(), ShownList(), Rows(test::E().lists.searchProjects, {2}));  // Sails
  EXPECT_EQ(test::E().searchOptions.Get("Sails"), TodayEngines{});
  EXPECT_EQ(test::E().searchOptions.Get("Ships"), (TodayEngines{false, true, false}));

  test::E().credits.Set("http://127.0.0.1/a.jpg", {"A", "B", "CC0", ""});
  DeleteAllLists(test::E());
  EXPECT_EQ(test::E().searchOptions.Get("Ships"), TodayEngines{});
  EXPECT_FALSE(test::E().credits.Get("http://127.0.0.1/a.jpg"));
}

}  // namespace
}  // namespace tvx
