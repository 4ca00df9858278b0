// The add, delete, edit and send-to commands of the frame and the list panel,
// driven through their real dialogs.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <string>

#include "store/ListFiles.h"
#include "store/Lists.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "ui/DialogDriver.h"
#include "ui/dialogs/AddFileDlg.h"
#include "ui/dialogs/AddSearchDlg.h"
#include "ui/dialogs/ProjProps.h"
#include "ui/frame/ItemCommands.h"
#include "ui/views/ListPanel.h"
#include "ui/views/ListPanelCommands.h"

namespace tvx::ui {
namespace {

using test::Click;
using test::DialogScript;
using test::MessageAnswers;

constexpr int kFileTab = 1;
constexpr int kRunTab = 2;

SiteProject Site(const char* name) {
  SiteProject p{};
  SetText(p.name, name);
  SetText(p.status, kReadyForDownload);
  p.runWhenRequested = 1;
  p.stopWhenRequested = 1;
  return p;
}

SearchProject Search(const char* name, const char* text) {
  SearchProject p{};
  SetText(p.name, name);
  SetText(p.searchText, text);
  SetText(p.status, kReadyForDownload);
  p.useYahoo = 1;
  p.runWhenRequested = 1;
  p.stopWhenRequested = 1;
  return p;
}

std::string Text(const QString& s) { return s.toStdString(); }

class ItemCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ResetLists();
    SendToDraft() = SiteProject{};
  }
  void TearDown() override { test::ResetLists(); }

  void Show(int kind) {
    ListKind = kind;
    panel.RefillRows();
  }
  void Select(std::initializer_list<int> rows) {
    panel.clearSelection();
    for (int r : rows) panel.SetRowSelected(r, true);
  }
  std::vector<std::string> Rows(int column = 0) const {
    std::vector<std::string> out;
    for (int r = 0; r < panel.RowCount(); ++r) out.push_back(Text(panel.RowText(r, column)));
    return out;
  }

  CListPanel panel;
};

// Add File(s)

TEST_F(ItemCommands, AddFilesTakesUrlsWithDoubleSlashAsTyped) {
  Show(kListRequestedFiles);
  DialogScript script;
  for (const char* typed : {"ftp://127.0.0.1/a.gif", "127.0.0.1/b.jpg"})
    script.ThenAs<CAddFileDlg>([typed](CAddFileDlg& d) {
      QTest::keyClicks(d.urlEdit(), QString::fromLatin1(typed));
      Click(d.addButton());
    });
  // Cancel, and "Add" on an empty box, add nothing.
  script.ThenAs<CAddFileDlg>([](CAddFileDlg& d) {
    QTest::keyClicks(d.urlEdit(), QStringLiteral("x.gif"));
    d.reject();
  });
  script.ThenAs<CAddFileDlg>([](CAddFileDlg& d) { Click(d.addButton()); });
  for (int i = 0; i < 4; ++i) FrameAddFiles(nullptr, panel);

  EXPECT_TRUE(script.AllStepsRun());
  ASSERT_EQ(RequestedFiles.GetCount(), 2);
  EXPECT_STREQ(RequestedFiles.GetAt(0)->url, "ftp://127.0.0.1/a.gif");
  EXPECT_STREQ(RequestedFiles.GetAt(1)->url, "http://127.0.0.1/b.jpg");
  EXPECT_STREQ(RequestedFiles.GetAt(1)->status, "Ready for download");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"http://127.0.0.1/b.jpg", "ftp://127.0.0.1/a.gif"}));
  EXPECT_EQ(Text(panel.RowText(0, 1)), "Ready for download");
}

TEST_F(ItemCommands, AddFilesWhileWebSitesShownLeavesThePanelAlone) {
  RequestedSites.Add(Site("Holiday"));
  Show(kListRequestedSites);
  DialogScript script;
  script.ThenAs<CAddFileDlg>([](CAddFileDlg& d) {
    QTest::keyClicks(d.urlEdit(), QStringLiteral("http://127.0.0.1/c.png"));
    QTest::keyClick(d.urlEdit(), Qt::Key_Return);
  });
  FrameAddFiles(nullptr, panel);
  EXPECT_EQ(RequestedFiles.GetCount(), 1);
  EXPECT_EQ(Rows(), std::vector<std::string>{"Holiday"});
}

TEST_F(ItemCommands, AddFilesWithoutARowAddsNothing) {
  Show(kListRequestedFiles);
  panel.SetRowLimitForTest(0);
  MessageAnswers boxes;
  DialogScript script;
  script.ThenAs<CAddFileDlg>([](CAddFileDlg& d) {
    QTest::keyClicks(d.urlEdit(), QStringLiteral("http://127.0.0.1/c.png"));
    Click(d.addButton());
  });
  FrameAddFiles(nullptr, panel);
  EXPECT_EQ(boxes.texts, QStringList{"Error adding files to list"});
  EXPECT_EQ(RequestedFiles.GetCount(), 0);
  EXPECT_FALSE(RequestedFiles.IsModified());
}

// Add Web Site

TEST_F(ItemCommands, AddWebSiteRefusesANameInOtherLetterCase) {
  RequestedSites.Add(Site("Holiday Pictures"));
  Show(kListRequestedSites);
  MessageAnswers boxes;
  DialogScript script;
  script.ThenAs<CProjProps>([](CProjProps& s) {
    EXPECT_EQ(s.windowTitle(), QStringLiteral("Add New Web Project"));
    s.tabs()->setCurrentIndex(kRunTab);
    EXPECT_TRUE(s.run().controls()->runWhenRequested()->isChecked());
    EXPECT_TRUE(s.run().controls()->stopWhenRequested()->isChecked());
    s.general().nameEdit()->setText(QStringLiteral("HOLIDAY pictures"));
    Click(s.okButton());
  });
  FrameAddWebSite(nullptr, panel);
  EXPECT_EQ(boxes.texts, QStringList{"A project with that name already exists!"});
  EXPECT_EQ(RequestedSites.GetCount(), 1);
  EXPECT_EQ(panel.RowCount(), 1);
}

TEST_F(ItemCommands, AddWebSiteWithoutANameEndsSilently) {
  MessageAnswers boxes;
  DialogScript script;
  script.ThenAs<CProjProps>([](CProjProps& s) {
    s.general().addressEdit()->setText(QStringLiteral("http://127.0.0.1/"));
    Click(s.okButton());
  });
  FrameAddWebSite(nullptr, panel);
  EXPECT_TRUE(boxes.texts.isEmpty());
  EXPECT_EQ(RequestedSites.GetCount(), 0);
}

// "Run when requested" with 10:30 in the boxes: adding zeroes the start time,
// editing keeps what the boxes say.
TEST_F(ItemCommands, AddWebSiteZeroesRequestedTimesWhilePropertiesKeepsThem) {
  Show(kListRequestedSites);
  auto typeTimes = [](CProjProps& s) {
    s.tabs()->setCurrentIndex(kRunTab);
    RunTimeControls* t = s.run().controls();
    Click(t->startRunningAt());
    t->startHour()->clear();
    QTest::keyClicks(t->startHour(), QStringLiteral("10"));
    t->startMinute()->clear();
    QTest::keyClicks(t->startMinute(), QStringLiteral("30"));
    Click(t->runWhenRequested());
  };
  DialogScript script;
  script.ThenAs<CProjProps>([&](CProjProps& s) {
    QTest::keyClicks(s.general().nameEdit(), QStringLiteral("Garden"));
    typeTimes(s);
    Click(s.okButton());
  });
  FrameAddWebSite(nullptr, panel);
  ASSERT_EQ(RequestedSites.GetCount(), 1);
  const SiteProject* p = RequestedSites.GetAt(0);
  EXPECT_EQ(p->runWhenRequested, 1);
  EXPECT_EQ(p->startHour, 0);
  EXPECT_EQ(p->startMinute, 0);
  EXPECT_EQ(p->downloadAllFiles, 1);
  EXPECT_STREQ(p->status, "Ready for download");
  EXPECT_EQ(Rows(), std::vector<std::string>{"Garden"});

  RequestedSites.SetModified(false);
  Select({0});
  script.ThenAs<CProjProps>([&](CProjProps& s) {
    EXPECT_EQ(s.windowTitle(), QStringLiteral("Web Project Properties"));
    typeTimes(s);
    Click(s.okButton());
  });
  FrameProperties(nullptr, panel);
  EXPECT_EQ(p->startHour, 10);
  EXPECT_EQ(p->startMinute, 30);
  EXPECT_TRUE(RequestedSites.IsModified());
}

TEST_F(ItemCommands, NamesLongerThanTheirFieldAreCut) {
  Show(kListRequestedSites);
  const QString accented = QString(50, QChar(0xE9));  // 100 bytes in UTF-8
  DialogScript script;
  script.ThenAs<CProjProps>([](CProjProps& s) {
    s.general().nameEdit()->setText(QString(100, QLatin1Char('n')));
    Click(s.okButton());
  });
  script.ThenAs<CProjProps>([&](CProjProps& s) {
    s.general().nameEdit()->setText(accented);
    Click(s.okButton());
  });
  FrameAddWebSite(nullptr, panel);
  FrameAddWebSite(nullptr, panel);
  ASSERT_EQ(RequestedSites.GetCount(), 2);
  EXPECT_EQ(std::string(RequestedSites.GetAt(0)->name), std::string(79, 'n'));
  // Cut before the character that no longer fits, never inside it.
  EXPECT_EQ(QString::fromUtf8(RequestedSites.GetAt(1)->name), accented.left(39));
  EXPECT_EQ(Text(panel.RowText(1, 0)), std::string(79, 'n'));
  EXPECT_EQ(panel.RowText(0, 0), accented.left(39));
}

// Add Search Project

TEST_F(ItemCommands, AddSearchProjectConvertsEveryTimeBox) {
  Show(kListSearchProjects);
  DialogScript script;
  script.ThenAs<CAddSearchDlg>([](CAddSearchDlg& d) {
    QTest::keyClicks(d.nameEdit(), QStringLiteral("Cats"));
    QTest::keyClicks(d.searchEdit(), QStringLiteral("cat"));
    Click(d.engineBox(0));
    Click(d.runTimes()->startRunningAt());
    QTest::keyClicks(d.runTimes()->startHour(), QStringLiteral("7"));
    QTest::keyClicks(d.runTimes()->startMinute(), QStringLiteral("05"));
    Click(d.runTimes()->runWhenRequested());
    QTest::keyClick(d.nameEdit(), Qt::Key_Return);
  });
  FrameAddSearchProject(nullptr, panel);
  ASSERT_EQ(SearchProjects.GetCount(), 1);
  const SearchProject* p = SearchProjects.GetAt(0);
  EXPECT_EQ(p->runWhenRequested, 1);
  EXPECT_EQ(p->startHour, 7);
  EXPECT_EQ(p->startMinute, 5);
  EXPECT_EQ(p->useAltaVista, 1);
  EXPECT_STREQ(p->status, "Ready for download");
  EXPECT_EQ(Rows(), std::vector<std::string>{"Cats"});
}

// Delete Entry

TEST_F(ItemCommands, DeleteRowsZeroAndTwoOfFiveAsksOnce) {
  for (const char* url : {"a", "b", "c", "d", "e"}) RequestedFiles.AddUrl(url);
  Show(kListRequestedFiles);
  Select({0, 2});
  MessageAnswers boxes;
  FrameDeleteEntry(nullptr, panel);
  EXPECT_EQ(boxes.texts, QStringList{"Are you sure you want to delete those entries?"});
  ASSERT_EQ(RequestedFiles.GetCount(), 3);
  EXPECT_STREQ(RequestedFiles.GetAt(0)->url, "a");
  EXPECT_STREQ(RequestedFiles.GetAt(1)->url, "b");
  EXPECT_STREQ(RequestedFiles.GetAt(2)->url, "d");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"d", "b", "a"}));
}

TEST_F(ItemCommands, DeleteAnsweredNoKeepsEverything) {
  SearchProjects.Add(Search("one", "x"));
  SearchProjects.Add(Search("two", "y"));
  Show(kListSearchProjects);
  Select({1});
  MessageAnswers boxes({QMessageBox::No});
  PanelDeleteEntry(panel);
  EXPECT_EQ(boxes.texts, QStringList{"Are you sure you want to delete that entry?"});
  EXPECT_EQ(SearchProjects.GetCount(), 2);
  EXPECT_EQ(panel.RowCount(), 2);

  PanelDeleteEntry(panel);  // answered Yes this time
  ASSERT_EQ(SearchProjects.GetCount(), 1);
  EXPECT_STREQ(SearchProjects.GetAt(0)->name, "two");
  EXPECT_EQ(Rows(), std::vector<std::string>{"two"});
}

TEST_F(ItemCommands, DeleteIsRefusedInTheDownloadedAndResultLists) {
  DownloadedFiles.Add(MakeFileRecord("http://127.0.0.1/a.gif", "Success"));
  for (int kind : {kListDownloadedFiles, kListDownloadedSites, kListSearchResults}) {
    Show(kind);
    MessageAnswers boxes;
    FrameDeleteEntry(nullptr, panel);  // nothing selected
    if (kind == kListDownloadedFiles) {
      Select({0});
      PanelDeleteEntry(panel);
    }
    EXPECT_EQ(boxes.texts.size(), kind == kListDownloadedFiles ? 2 : 1);
    for (const QString& text : boxes.texts)
      EXPECT_EQ(text, QStringLiteral("You are not alowed to delete entries in this panel"));
  }
  EXPECT_EQ(DownloadedFiles.GetCount(), 1);
}

// Properties

// Two projects of one name: each selected row edits the record it shows.
TEST_F(ItemCommands, PropertiesOnTwoSearchProjectsOfOneName) {
  SearchProjects.Add(Search("Cats", "older"));
  SearchProjects.Add(Search("Cats", "newer"));
  Show(kListSearchProjects);
  panel.SetRowText(0, 1, QStringLiteral("Searching..."));
  Select({0, 1});
  QStringList opened;
  DialogScript script;
  for (const char* rename : {"Cats new", "Cats old"})
    script.ThenAs<CAddSearchDlg>([&opened, rename](CAddSearchDlg& d) {
      opened << d.searchEdit()->text();
      d.nameEdit()->setText(QString::fromLatin1(rename));
      Click(d.findChild<QPushButton*>(QStringLiteral("ok")));
    });
  PanelProperties(panel);
  EXPECT_EQ(opened, QStringList({"newer", "older"}));
  EXPECT_STREQ(SearchProjects.GetAt(0)->name, "Cats old");
  EXPECT_STREQ(SearchProjects.GetAt(1)->name, "Cats new");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Cats new", "Cats old"}));
  EXPECT_EQ(Text(panel.RowText(0, 1)), "Searching...");
  EXPECT_TRUE(SearchProjects.IsModified());
}

TEST_F(ItemCommands, PropertiesCancelAndOtherListsChangeNothing) {
  RequestedSites.Add(Site("Holiday"));
  Show(kListRequestedSites);
  RequestedSites.SetModified(false);
  Select({0});
  DialogScript script;
  script.ThenAs<CProjProps>([](CProjProps& s) {
    s.general().nameEdit()->setText(QStringLiteral("Other"));
    QTest::keyClick(&s, Qt::Key_Escape);
  });
  FrameProperties(nullptr, panel);
  EXPECT_STREQ(RequestedSites.GetAt(0)->name, "Holiday");
  EXPECT_FALSE(RequestedSites.IsModified());

  // In the requested files no dialog opens at all.
  RequestedFiles.AddUrl("http://127.0.0.1/a.gif");
  Show(kListRequestedFiles);
  Select({0});
  FrameProperties(nullptr, panel);
  PanelProperties(panel);
  EXPECT_EQ(script.DialogsSeen(), 1);
}

// Send To

class SendTo : public ItemCommands {
 protected:
  void SetUp() override {
    ItemCommands::SetUp();
    SearchResults.Add(MakeFileRecord(longUrl, "Cats"));
    SearchResults.Add(MakeFileRecord("http://127.0.0.1/site/", "Cats"));
    SearchResults.Add(MakeFileRecord("http://127.0.0.1/b.gif", "Cats"));
    Show(kListSearchResults);
  }
  const std::string longUrl = "http://127.0.0.1/" + std::string(100, 'p') + "/a.jpg";
};

TEST_F(SendTo, RequestedFilesEndsAtALinkEndingInSlash) {
  // Rows 0, 1, 2 show b.gif, the "/" link and the long picture link.
  Select({0, 1, 2});
  PanelSendToRequestedFiles(panel);
  ASSERT_EQ(RequestedFiles.GetCount(), 1);
  EXPECT_STREQ(RequestedFiles.GetAt(0)->url, "http://127.0.0.1/b.gif");
  EXPECT_STREQ(RequestedFiles.GetAt(0)->status, "Ready for donwload");
  EXPECT_EQ(panel.RowCount(), 3);
}

TEST_F(SendTo, FrameDraftKeepsThePreviousChoices) {
  Select({0, 2});
  DialogScript script;
  script.ThenAs<CProjProps>([&](CProjProps& s) {
    EXPECT_EQ(s.windowTitle(), QStringLiteral("Web Project Properties"));
    EXPECT_EQ(s.general().nameEdit()->text(), QStringLiteral("Cats"));
    EXPECT_EQ(s.general().addressEdit()->text(), QStringLiteral("http://127.0.0.1/b.gif"));
    s.tabs()->setCurrentIndex(kFileTab);
    Click(s.files().searchForTypes());
    Click(s.files().typeBox(CFileSettings::kJpg));
    Click(s.okButton());
  });
  script.ThenAs<CProjProps>([&](CProjProps& s) { Click(s.okButton()); });
  FrameSendToRequestedSites(nullptr, panel);
  ASSERT_EQ(RequestedSites.GetCount(), 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_STREQ(RequestedSites.GetAt(i)->name, "Cats");
    EXPECT_EQ(RequestedSites.GetAt(i)->typeJpg, 1);
    EXPECT_EQ(RequestedSites.GetAt(i)->downloadAllFiles, 0);
    EXPECT_STREQ(RequestedSites.GetAt(i)->status, "Ready for download");
  }
  // The whole start address, not only its first 79 characters.
  EXPECT_EQ(std::string(RequestedSites.GetAt(1)->startUrl), longUrl);
  EXPECT_EQ(panel.RowCount(), 3);

  Select({1});
  script.ThenAs<CProjProps>([](CProjProps& s) {
    EXPECT_EQ(s.files().types[CFileSettings::kJpg], 1);
    EXPECT_EQ(s.files().downloadAll, 0);
    s.reject();
  });
  FrameSendToRequestedSites(nullptr, panel);
  EXPECT_EQ(RequestedSites.GetCount(), 2);
  EXPECT_TRUE(script.AllStepsRun());
}

TEST_F(SendTo, PanelStartsEachProjectAfresh) {
  Select({0, 2});
  DialogScript script;
  script.ThenAs<CProjProps>([](CProjProps& s) {
    EXPECT_EQ(s.windowTitle(), QStringLiteral("New Web Project "));
    s.tabs()->setCurrentIndex(kFileTab);
    Click(s.files().searchForTypes());
    Click(s.files().typeBox(CFileSettings::kGif));
    Click(s.okButton());
  });
  script.ThenAs<CProjProps>([](CProjProps& s) {
    EXPECT_EQ(s.files().types[CFileSettings::kGif], 0);
    Click(s.okButton());
  });
  PanelSendToRequestedSites(panel);
  ASSERT_EQ(RequestedSites.GetCount(), 2);
  EXPECT_EQ(RequestedSites.GetAt(0)->typeGif, 1);
  EXPECT_EQ(RequestedSites.GetAt(1)->typeGif, 0);
  EXPECT_EQ(RequestedSites.GetAt(1)->downloadAllFiles, 1);
  EXPECT_EQ(std::string(RequestedSites.GetAt(1)->startUrl), longUrl);
}

TEST_F(SendTo, NothingOutsideTheSearchResults) {
  RequestedFiles.AddUrl("http://127.0.0.1/a.gif");
  Show(kListRequestedFiles);
  Select({0});
  DialogScript script;
  FrameSendToRequestedSites(nullptr, panel);
  PanelSendToRequestedSites(panel);
  PanelSendToRequestedFiles(panel);
  EXPECT_EQ(script.DialogsSeen(), 0);
  EXPECT_EQ(RequestedSites.GetCount(), 0);
  EXPECT_EQ(RequestedFiles.GetCount(), 1);
}

}  // namespace
}  // namespace tvx::ui

namespace tvx::ui {
namespace {

namespace fs = std::filesystem;

// What the dialogs made is in the list files once the program has saved them
// at exit, in the files' own layout.
TEST(ItemCommandFiles, ListFilesHoldWhatTheDialogsMade) {
  test::TempDir dir("tvx-dialog-files");
  fs::path old = fs::current_path();
  fs::current_path(dir.Path());
  test::ResetLists();
  CListPanel panel;
  DialogScript script;
  script.ThenAs<CAddFileDlg>([](CAddFileDlg& d) {
    QTest::keyClicks(d.urlEdit(), QStringLiteral("127.0.0.1/pics/cat.gif"));
    Click(d.addButton());
  });
  script.ThenAs<CProjProps>([](CProjProps& s) {
    s.general().nameEdit()->setText(QStringLiteral("Garden walk"));
    s.general().addressEdit()->setText(QStringLiteral("http://127.0.0.1/garden/"));
    Click(s.okButton());
  });
  script.ThenAs<CAddSearchDlg>([](CAddSearchDlg& d) {
    QTest::keyClicks(d.nameEdit(), QStringLiteral("Boats"));
    QTest::keyClicks(d.searchEdit(), QStringLiteral("red sail boats"));
    Click(d.engineBox(2));  // Yahoo
    QTest::keyClick(d.searchEdit(), Qt::Key_Return);
  });
  FrameAddFiles(nullptr, panel);
  FrameAddWebSite(nullptr, panel);
  FrameAddSearchProject(nullptr, panel);
  EXPECT_TRUE(script.AllStepsRun());
  SaveAllLists();  // the exit step
  EXPECT_EQ(test::ReadFile("reqpics.data"), "http://127.0.0.1/pics/cat.gif\r\n");
  EXPECT_EQ(test::ReadFile("reqpicwebs.data"),
            "Garden walk\r\nhttp://127.0.0.1/garden/\r\n1\r\n0 0 0 0 0 0 0\r\n1 0 0\r\n1 0 0\r\n"
            "0 0 0\r\n*\r\n");
  EXPECT_EQ(test::ReadFile("reqpicsearch.data"),
            "Boats\r\nred sail boats\r\n0 0 1 0 0 0 0\r\n1 0 0\r\n1 0 0\r\n*\r\n");
  EXPECT_FALSE(fs::exists("dnldpics.data"));
  test::ResetLists();
  fs::current_path(old);
}

}  // namespace
}  // namespace tvx::ui
