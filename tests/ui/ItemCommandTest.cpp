// The add, delete, edit and send-to commands from the window: the real
// dialogs, the frame's and the list panel's routes, the rows they change.
// The rules themselves are tested without a window in tests/commands.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <string>

#include "commands/CommandIds.h"
#include "commands/ItemCommands.h"
#include "files/LocalPath.h"
#include "store/ListFiles.h"
#include "store/Lists.h"
#include "support/Files.h"
#include "support/ListReset.h"
#include "ui/DialogDriver.h"
#include "ui/MainTestSupport.h"
#include "ui/dialogs/AddFileDlg.h"
#include "ui/dialogs/AddSearchDlg.h"
#include "ui/dialogs/ProjProps.h"
#include "ui/frame/MainFrame.h"
#include "ui/views/ListPanel.h"
#include "ui/views/TreePanel.h"

namespace tvx::ui {
namespace {

using test::Click;
using test::DialogScript;
using test::MessageAnswers;

constexpr int kFileTab = 1;
constexpr int kRunTab = 2;

std::string Text(const QString& s) { return s.toStdString(); }

class ItemCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ResetLists();
    test::E().sendToDraft = SiteProject{};
    frame = std::make_unique<CMainFrame>(test::E());
    frame->OnInitialUpdate();
    frame->resize(1000, 700);
    frame->show();
    // Activation comes late on a busy machine; a dialog opened before it
    // would lose the focus to the frame.
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    panel = frame->ListPanel();
  }
  void TearDown() override {
    frame.reset();
    test::ResetLists();
  }

  void Show(const char* list) { frame->TreePanel()->SwitchTo(QString::fromLatin1(list)); }
  void Select(std::initializer_list<int> rows) {
    panel->clearSelection();
    for (int r : rows) panel->SetRowSelected(r, true);
  }
  std::vector<std::string> Rows(int column = 0) const {
    std::vector<std::string> out;
    for (int r = 0; r < panel->RowCount(); ++r) out.push_back(Text(panel->RowText(r, column)));
    return out;
  }
  // Runs a command from the list panel's context menu, opened with the
  // right button on row 0.
  void FromContextMenu(int command) {
    frame->ActivatePane(CMainFrame::kListPane);
    QTimer::singleShot(0, [command] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      for (QAction* a : menu->findChildren<QAction*>())
        if (a->data().toInt() == command) {
          menu->close();
          a->trigger();
          return;
        }
    });
    const QPoint row = panel->visualItemRect(panel->topLevelItem(0)).center();
    QTest::mousePress(panel->viewport(), Qt::RightButton, {}, row);
    QTest::mouseRelease(panel->viewport(), Qt::RightButton, {}, row);
    QTest::qWait(20);
  }

  test::ScopedWorkDir workDir;
  std::unique_ptr<CMainFrame> frame;
  CListPanel* panel = nullptr;
};

TEST_F(ItemCommands, AddFilesFromTheDialogShowsTheRowOnTop) {
  DialogScript script;
  script.ThenAs<CAddFileDlg>([](CAddFileDlg& d) {
    QTest::keyClicks(d.urlEdit(), QStringLiteral("127.0.0.1/b.jpg"));
    Click(d.addButton());
  });
  // Cancel, and "Add" on an empty box, add nothing.
  script.ThenAs<CAddFileDlg>([](CAddFileDlg& d) {
    QTest::keyClicks(d.urlEdit(), QStringLiteral("x.gif"));
    d.reject();
  });
  script.ThenAs<CAddFileDlg>([](CAddFileDlg& d) { Click(d.addButton()); });
  for (int i = 0; i < 3; ++i) frame->RouteCommand(kCmdAddFiles);
  EXPECT_TRUE(script.AllStepsRun());
  ASSERT_EQ(test::E().lists.requestedFiles.GetCount(), 1);
  EXPECT_STREQ(test::E().lists.requestedFiles.GetAt(0)->url, "http://127.0.0.1/b.jpg");
  EXPECT_EQ(Rows(), std::vector<std::string>{"http://127.0.0.1/b.jpg"});
  EXPECT_EQ(Text(panel->RowText(0, 1)), "Ready for download");
}

TEST_F(ItemCommands, AddFilesWithoutARowAddsNothing) {
  panel->SetRowLimitForTest(0);
  MessageAnswers boxes;
  DialogScript script;
  script.ThenAs<CAddFileDlg>([](CAddFileDlg& d) {
    QTest::keyClicks(d.urlEdit(), QStringLiteral("http://127.0.0.1/c.png"));
    Click(d.addButton());
  });
  frame->RouteCommand(kCmdAddFiles);
  EXPECT_EQ(boxes.texts, QStringList{"Error adding files to list"});
  EXPECT_EQ(test::E().lists.requestedFiles.GetCount(), 0);
  EXPECT_FALSE(test::E().lists.requestedFiles.IsModified());
}

TEST_F(ItemCommands, AddWebSiteRefusesATakenNameAfterTheSheet) {
  SiteProject holiday = NewWebSiteProject();
  SetText(holiday.name, "Holiday Pictures");
  test::E().lists.requestedSites.Add(holiday);
  Show("Web Sites");
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
  frame->RouteCommand(kCmdAddWebSite);
  EXPECT_EQ(boxes.texts, QStringList{"A project with that name already exists!"});
  EXPECT_EQ(test::E().lists.requestedSites.GetCount(), 1);
  EXPECT_EQ(panel->RowCount(), 1);
}

// A name that cannot name the project's folder keeps the sheet open, with
// the user's input, until it is mended; in every sheet that makes or edits
// a web-site project.
TEST_F(ItemCommands, SheetsStayOpenOnANameThatCannotNameAFolder) {
  SiteProject old = NewWebSiteProject();
  SetText(old.name, "Old");
  test::E().lists.requestedSites.Add(old);
  test::E().lists.searchResults.Add(MakeFileRecord("http://127.0.0.1/cats/", "Cats"));
  MessageAnswers boxes;
  DialogScript script;
  std::vector<bool> stayedOpen;
  auto typeBadThenGood = [&](const QString& good) {
    return [&, good](CProjProps& s) {
      s.general().addressEdit()->setText(QStringLiteral("http://127.0.0.1/kept/"));
      s.general().nameEdit()->setText(QStringLiteral("../up"));
      Click(s.okButton());
      stayedOpen.push_back(s.isVisible());
      EXPECT_EQ(s.general().addressEdit()->text(), QStringLiteral("http://127.0.0.1/kept/"));
      s.general().nameEdit()->setText(good);
      Click(s.okButton());
    };
  };
  script.ThenAs<CProjProps>(typeBadThenGood("Added"));
  frame->RouteCommand(kCmdAddWebSite);
  Show("Web Sites");
  Select({0});
  script.ThenAs<CProjProps>(typeBadThenGood("Edited"));
  frame->RouteCommand(kCmdProperties);
  Show("Search Results");
  Select({0});
  script.ThenAs<CProjProps>(typeBadThenGood("Sent"));
  frame->RouteCommand(kCmdSendToRequestedSites);

  EXPECT_TRUE(script.AllStepsRun());
  EXPECT_EQ(stayedOpen, std::vector<bool>(3, true));
  EXPECT_EQ(boxes.texts, QStringList(3, QString::fromStdString(ProjectNameProblem("../up"))));
  ASSERT_EQ(test::E().lists.requestedSites.GetCount(), 3);
  EXPECT_STREQ(test::E().lists.requestedSites.GetAt(0)->name, "Old");
  EXPECT_STREQ(test::E().lists.requestedSites.GetAt(1)->name, "Edited");
  EXPECT_STREQ(test::E().lists.requestedSites.GetAt(2)->name, "Sent");
  EXPECT_STREQ(test::E().lists.requestedSites.GetAt(2)->startUrl, "http://127.0.0.1/kept/");
}

// A time box showing "0" kept it when it took the focus, so typing 1 made
// "01": the focus now selects the box's text, however it comes.
TEST_F(ItemCommands, TimeBoxesTakeTheNumberTyped) {
  SiteProject timed = NewWebSiteProject();
  SetText(timed.name, "Timed");
  timed.stopWhenRequested = 0;
  test::E().lists.requestedSites.Add(timed);
  Show("Web Sites");
  Select({0});
  DialogScript script;
  script.ThenAs<CProjProps>([](CProjProps& s) {
    s.tabs()->setCurrentIndex(kRunTab);
    RunTimeControls* t = s.run().controls();
    Click(t->startRunningAt());
    // The focus as the radio, the Tab key and the mouse bring it. (Sent
    // straight to the boxes: which window the offscreen platform makes
    // active is its own affair.)
    auto focus = [](QLineEdit* box, Qt::FocusReason reason) {
      QFocusEvent in(QEvent::FocusIn, reason);
      QApplication::sendEvent(box, &in);
    };
    focus(t->startHour(), Qt::OtherFocusReason);
    QTest::keyClicks(t->startHour(), QStringLiteral("1"));
    focus(t->startMinute(), Qt::TabFocusReason);
    QTest::keyClicks(t->startMinute(), QStringLiteral("5"));
    focus(t->stopHour(), Qt::MouseFocusReason);
    QTest::mouseClick(t->stopHour(), Qt::LeftButton);
    QTest::qWait(20);
    QTest::keyClicks(t->stopHour(), QStringLiteral("2"));
    EXPECT_EQ(t->startHour()->text(), QStringLiteral("1"));
    EXPECT_EQ(t->startMinute()->text(), QStringLiteral("5"));
    EXPECT_EQ(t->stopHour()->text(), QStringLiteral("2"));
    Click(s.okButton());
  });
  frame->RouteCommand(kCmdProperties);
  EXPECT_TRUE(script.AllStepsRun());
  EXPECT_EQ(test::E().lists.requestedSites.GetAt(0)->startHour, 1);
  EXPECT_EQ(test::E().lists.requestedSites.GetAt(0)->stopHour, 2);
}

TEST_F(ItemCommands, NamesLongerThanTheirFieldAreCut) {
  Show("Web Sites");
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
  frame->RouteCommand(kCmdAddWebSite);
  frame->RouteCommand(kCmdAddWebSite);
  ASSERT_EQ(test::E().lists.requestedSites.GetCount(), 2);
  EXPECT_EQ(std::string(test::E().lists.requestedSites.GetAt(0)->name), std::string(79, 'n'));
  // Cut before the character that no longer fits, never inside it.
  EXPECT_EQ(QString::fromUtf8(test::E().lists.requestedSites.GetAt(1)->name), accented.left(39));
  EXPECT_EQ(Text(panel->RowText(1, 0)), std::string(79, 'n'));
  EXPECT_EQ(panel->RowText(0, 0), accented.left(39));
}

TEST_F(ItemCommands, AddAndEditSearchProjectConvertEveryTimeBox) {
  Show("Search Projects");
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
  frame->RouteCommand(kCmdAddSearchProject);
  ASSERT_EQ(test::E().lists.searchProjects.GetCount(), 1);
  const SearchProject* p = test::E().lists.searchProjects.GetAt(0);
  EXPECT_EQ(p->runWhenRequested, 1);
  EXPECT_EQ(p->startHour, 7);
  EXPECT_EQ(p->startMinute, 5);
  EXPECT_EQ(p->useAltaVista, 1);
  EXPECT_STREQ(p->status, "Ready for download");
  EXPECT_EQ(Rows(), std::vector<std::string>{"Cats"});

  // Properties from the list panel renames the row; its status stays.
  panel->SetRowText(0, 1, QStringLiteral("Searching..."));
  Select({0});
  frame->ActivatePane(CMainFrame::kListPane);
  script.ThenAs<CAddSearchDlg>([](CAddSearchDlg& d) {
    EXPECT_EQ(d.runTimes()->startHour()->text(), QStringLiteral("7"));
    d.nameEdit()->setText(QStringLiteral("Kittens"));
    Click(d.findChild<QPushButton*>(QStringLiteral("ok")));
  });
  frame->RouteCommand(kCmdProperties);
  EXPECT_STREQ(test::E().lists.searchProjects.GetAt(0)->name, "Kittens");
  EXPECT_EQ(Rows(), std::vector<std::string>{"Kittens"});
  EXPECT_EQ(Text(panel->RowText(0, 1)), "Searching...");
}

TEST_F(ItemCommands, DeleteAnsweredNoKeepsEverything) {
  for (const char* url : {"a", "b", "c", "d", "e"}) test::E().lists.requestedFiles.AddUrl(url);
  panel->RefillRows();
  Select({0, 2});
  MessageAnswers boxes({QMessageBox::No});
  frame->RouteCommand(kCmdDeleteEntry);
  EXPECT_EQ(test::E().lists.requestedFiles.GetCount(), 5);
  frame->RouteCommand(kCmdDeleteEntry);  // answered Yes this time
  EXPECT_EQ(boxes.texts, QStringList(2, "Are you sure you want to delete those entries?"));
  EXPECT_EQ(Rows(), (std::vector<std::string>{"d", "b", "a"}));
  EXPECT_EQ(test::E().lists.requestedFiles.GetCount(), 3);
}

// The list panel's Send To made a project that starts and stops at 00:00;
// from either place the project runs when requested.
TEST_F(ItemCommands, SendToFromTheContextMenuMakesAProjectRunWhenRequested) {
  test::E().lists.searchResults.Add(MakeFileRecord("http://127.0.0.1/site/", "Cats"));
  Show("Search Results");
  Select({0});
  DialogScript script;
  script.ThenAs<CProjProps>([](CProjProps& s) {
    EXPECT_EQ(s.windowTitle(), QStringLiteral("New Web Project "));
    EXPECT_EQ(s.general().nameEdit()->text(), QStringLiteral("Cats"));
    s.tabs()->setCurrentIndex(kRunTab);
    EXPECT_TRUE(s.run().controls()->runWhenRequested()->isChecked());
    EXPECT_TRUE(s.run().controls()->stopWhenRequested()->isChecked());
    Click(s.okButton());
  });
  FromContextMenu(kCmdSendToRequestedSites);
  script.ThenAs<CProjProps>([](CProjProps& s) {
    EXPECT_EQ(s.windowTitle(), QStringLiteral("Web Project Properties"));
    s.tabs()->setCurrentIndex(kFileTab);
    Click(s.files().searchForTypes());
    Click(s.files().typeBox(CFileSettings::kJpg));
    Click(s.okButton());
  });
  frame->ActivatePane(CMainFrame::kTreePane);
  frame->RouteCommand(kCmdSendToRequestedSites);
  EXPECT_TRUE(script.AllStepsRun());
  ASSERT_EQ(test::E().lists.requestedSites.GetCount(), 2);
  for (const SiteProject& p : test::E().lists.requestedSites.Snapshot()) {
    EXPECT_EQ(p.runWhenRequested, 1);
    EXPECT_EQ(p.stopWhenRequested, 1);
    EXPECT_STREQ(p.startUrl, "http://127.0.0.1/site/");
  }
  EXPECT_EQ(test::E().lists.requestedSites.GetAt(1)->typeJpg, 1);
  EXPECT_EQ(panel->RowCount(), 1) << "the results keep their rows";
}

// What the dialogs made is in the list files once the program has saved them
// at exit, in the files' own layout.
TEST_F(ItemCommands, ListFilesHoldWhatTheDialogsMade) {
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
  for (int id : {kCmdAddFiles, kCmdAddWebSite, kCmdAddSearchProject}) frame->RouteCommand(id);
  EXPECT_TRUE(script.AllStepsRun());
  test::E().Store().SaveAll();  // the exit step
  EXPECT_EQ(test::ReadFile("reqpics.data"), "http://127.0.0.1/pics/cat.gif\r\n");
  EXPECT_EQ(test::ReadFile("reqpicwebs.data"),
            "Garden walk\r\nhttp://127.0.0.1/garden/\r\n1\r\n0 0 0 0 0 0 0\r\n1 0 0\r\n1 0 0\r\n"
            "0 0 0\r\n*\r\n");
  EXPECT_EQ(test::ReadFile("reqpicsearch.data"),
            "Boats\r\nred sail boats\r\n0 0 1 0 0 0 0\r\n1 0 0\r\n1 0 0\r\n*\r\n");
  EXPECT_FALSE(std::filesystem::exists("dnldpics.data"));
}

}  // namespace
}  // namespace tvx::ui
