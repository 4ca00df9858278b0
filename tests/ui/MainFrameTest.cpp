// The main frame: menus, keys, toolbar, status bar, panes, command routing,
// the start-up question and the help page.
#include <QtTest/qtestspontaneevent.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "commands/CommandIds.h"
#include "store/Lists.h"
#include "support/ListReset.h"
#include "ui/DialogDriver.h"
#include "ui/MainTestSupport.h"
#include "ui/dialogs/AddFileDlg.h"
#include "ui/dialogs/AddSearchDlg.h"
#include "ui/dialogs/ProjProps.h"
#include "ui/dialogs/StartDlg.h"
#include "ui/frame/MainFrame.h"
#include "ui/views/DnldList.h"
#include "ui/views/ListPanel.h"
#include "ui/views/StatusView.h"
#include "ui/views/TreePanel.h"
#include "workers/WorkerControl.h"

namespace tvx::ui {
namespace {

class MainFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ResetLists(kListDownloadedSites);  // the frame must set it back to 1
    frame = std::make_unique<CMainFrame>(test::E());
    frame->OnInitialUpdate();
    frame->resize(1000, 700);
    frame->show();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
  }
  void TearDown() override {
    frame.reset();
    test::ResetLists();
  }

  // A menu as text: entries separated by '|', '-' for a separator, a submenu
  // in brackets.
  static QString MenuText(QMenu* menu) {
    QStringList parts;
    for (QAction* a : menu->actions()) {
      if (a->isSeparator())
        parts << "-";
      else if (a->menu())
        parts << a->text() + "[" + MenuText(a->menu()) + "]";
      else
        parts << a->text();
    }
    return parts.join("|");
  }

  void PressKey(int key, Qt::KeyboardModifiers mods = {}) {
    // A closed modal dialog leaves no active window behind on the offscreen
    // platform; keys only reach an active window.
    if (!frame->isActiveWindow()) {
      frame->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    }
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : frame.get();
    QTest::keyClick(target, Qt::Key(key), mods);
  }

  test::ScopedWorkDir workDir;  // the first update reads list files from here
  test::ShellOpens opens;
  std::unique_ptr<CMainFrame> frame;
};

TEST_F(MainFrameTest, MenusHaveTheirLabelsSeparatorsAndPrompts) {
  QStringList menus;
  for (QAction* a : frame->menuBar()->actions()) menus << a->text() + ":" + MenuText(a->menu());
  EXPECT_EQ(menus, (QStringList{
                       "&File:&Delete All Lists|-|E&xit",
                       "&Entry:&Add File(s) \tIns|Add &Web Site \t+|Add Search Project\tCtrl+S|-|"
                       "&Delete Entry \tDel|-|Send To[Requested Files List|Requested Web Sites]|-|"
                       "Properties...",
                       "&Download:&Selected Projects|-|Stop Downloading",
                       "&Help:&Table of Contents...|-|&About Quillanto...",
                   }));
  EXPECT_EQ(frame->MenuAction(kCmdAddFiles)->statusTip(),
            "Add one or more files in the 'Requested' list");
  EXPECT_EQ(frame->MenuAction(kCmdAddWebSite)->statusTip(),
            "Add a web site to the 'Requested' list");
  EXPECT_EQ(frame->MenuAction(kCmdDeleteEntry)->statusTip(), "Delete selected entries");
  EXPECT_EQ(frame->MenuAction(kCmdAppExit)->statusTip(),
            "Quit the application; prompts to save documents");
  for (int id : {kCmdDeleteAllLists, kCmdAddSearchProject, kCmdSendToRequestedFiles,
                 kCmdSendToRequestedSites, kCmdProperties, kCmdDownloadSelected,
                 kCmdStopDownloading, kCmdHelpContents})
    EXPECT_TRUE(frame->MenuAction(id)->statusTip().isEmpty()) << id;
}

TEST_F(MainFrameTest, KeysAreBoundToTheirCommands) {
  EXPECT_EQ(frame->MenuAction(kCmdAddFiles)->shortcut(), QKeySequence(Qt::Key_Insert));
  EXPECT_EQ(frame->MenuAction(kCmdDeleteEntry)->shortcut(), QKeySequence(Qt::Key_Delete));
  EXPECT_EQ(frame->NextPaneAction()->shortcut(), QKeySequence(Qt::Key_F6));
  EXPECT_EQ(frame->PrevPaneAction()->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F6));

  // Each key opens its command's dialog; Cancel leaves everything as it was.
  QStringList titles;
  test::DialogScript script;
  auto cancel = [&titles](QWidget* w) {
    titles << QString(w->metaObject()->className()) + ":" + w->windowTitle();
    qobject_cast<QDialog*>(w)->reject();
  };
  script.Then(cancel).Then(cancel).Then(cancel);
  PressKey(Qt::Key_Insert);
  PressKey(Qt::Key_Plus, Qt::KeypadModifier);
  PressKey(Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(script.AllStepsRun());
  EXPECT_EQ(titles.join("; ").toStdString(),
            "tvx::ui::CAddFileDlg:Add File(s); tvx::ui::CProjProps:Add New Web Project; "
            "tvx::ui::CAddSearchDlg:Add a Search Project");
  EXPECT_EQ(test::E().lists.requestedFiles.GetCount() + test::E().lists.requestedSites.GetCount() +
                test::E().lists.searchProjects.GetCount(),
            0);
}

// A key as X delivers it once the shortcut map has let it pass: straight to
// the focused widget, with the key's native codes.
void DeliverAsX(QWidget* to, Qt::Key key, Qt::KeyboardModifiers mods, quint32 scanCode,
                quint32 keysym, quint32 xState, const QString& text = {}) {
  for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
    QKeyEvent event(type, key, mods, scanCode, keysym, xState, text);
    // As the window system's own events, past sendEvent, which would make it
    // a synthetic event and try the shortcut map once more.
    QSpontaneKeyEvent::setSpontaneous(&event);
    qApp->notify(to, &event);
  }
}

// The keypad "+" reaches the focused pane as Key_Plus with the keypad
// modifier, which Qt's shortcut map does not match under X: it must still
// open Add Web Site, wherever the focus is and with Num Lock off or on.
TEST_F(MainFrameTest, KeypadPlusOpensAddWebSiteFromEveryPane) {
  QStringList titles;
  test::DialogScript script;
  for (int i = 0; i < 2 * CMainFrame::kPaneCount; ++i)
    script.Then([&titles](QWidget* w) {
      titles << w->windowTitle();
      qobject_cast<QDialog*>(w)->reject();
    });
  for (quint32 numLock : {0x00u, 0x10u}) {
    for (int pane = 0; pane < CMainFrame::kPaneCount; ++pane) {
      // A closed dialog leaves no active window behind on the offscreen platform.
      frame->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
      frame->ActivatePane(pane);
      ASSERT_EQ(QApplication::focusWidget(), frame->PaneWidget(pane));
      DeliverAsX(QApplication::focusWidget(), Qt::Key_Plus, Qt::KeypadModifier, 86, 0xffab, numLock,
                 QStringLiteral("+"));
    }
  }
  EXPECT_EQ(titles, QStringList(2 * CMainFrame::kPaneCount, "Add New Web Project"));
  // The same key in a dialog's box types a "+".
  script.ThenAs<CAddFileDlg>([](CAddFileDlg& d) {
    DeliverAsX(d.urlEdit(), Qt::Key_Plus, Qt::KeypadModifier, 86, 0xffab, 0x10,
               QStringLiteral("+"));
    EXPECT_EQ(d.urlEdit()->text(), "+");
    d.reject();
  });
  frame->RouteCommand(kCmdAddFiles);
  EXPECT_TRUE(script.AllStepsRun());
}

TEST_F(MainFrameTest, ScrollLockLightsScrl) {
  QLabel* scrl = frame->Indicator(2);
  EXPECT_FALSE(scrl->isEnabled());
  frame->ActivatePane(CMainFrame::kListPane);
  ASSERT_NE(QApplication::focusWidget(), nullptr);
  for (bool lit : {true, false, true}) {
    DeliverAsX(QApplication::focusWidget(), Qt::Key_ScrollLock, Qt::NoModifier, 78, 0xff14, 0);
    EXPECT_EQ(scrl->isEnabled(), lit);
  }
}

// Both trees join their items with dotted lines, the top-level items too.
TEST_F(MainFrameTest, TreesDrawConnectingLinesAlsoAtTheRoot) {
  CDnldList* downloads = frame->DnldList();
  const ProjectNode cats = downloads->FindOrAddProject("Cats");
  downloads->AddFile(cats, "Pictures\\Cats\\a.gif");
  downloads->AddFile(cats, "Pictures\\Cats\\b.gif");
  downloads->FindOrAddProject("Dogs");
  for (QTreeWidget* tree :
       {static_cast<QTreeWidget*>(frame->TreePanel()), static_cast<QTreeWidget*>(downloads)}) {
    SCOPED_TRACE(tree->metaObject()->className());
    // The first top-level item is expanded and has a sibling after it.
    QTreeWidgetItem* child = tree->topLevelItem(0)->child(0);
    ASSERT_NE(child, nullptr);
    const QImage shot = tree->viewport()->grab().toImage();
    const QRect row = tree->visualItemRect(child);
    const int indent = tree->indentation();
    const int rootLine = row.left() - 2 * indent + indent / 2;
    const int childLine = rootLine + indent;
    const QRgb background = tree->palette().color(QPalette::Base).rgb();
    auto drawn = [&](int x, int y) { return shot.pixel(x, y) != background; };
    int rootPixels = 0, childPixels = 0, horizontal = 0;
    for (int y = row.top(); y <= row.bottom(); ++y) {
      rootPixels += drawn(rootLine, y);
      childPixels += drawn(childLine, y);
    }
    for (int x = childLine + 2; x < row.left(); ++x) horizontal += drawn(x, row.center().y());
    EXPECT_GE(rootPixels, row.height() / 2 - 1) << "the line between the top-level items";
    EXPECT_GE(childPixels, row.height() / 2 - 1);
    EXPECT_GE(horizontal, 2);
  }
}

TEST_F(MainFrameTest, F6WalksThePanesRowByRow) {
  EXPECT_EQ(frame->ActivePane(), CMainFrame::kTreePane);
  std::vector<int> seen;
  for (int i = 0; i < 4; ++i) {
    PressKey(Qt::Key_F6);
    seen.push_back(frame->ActivePane());
    EXPECT_EQ(QApplication::focusWidget(), frame->PaneWidget(frame->ActivePane()));
  }
  EXPECT_EQ(seen, (std::vector<int>{CMainFrame::kListPane, CMainFrame::kDnldPane,
                                    CMainFrame::kStatusPane, CMainFrame::kTreePane}));
  seen.clear();
  for (int i = 0; i < 4; ++i) {
    PressKey(Qt::Key_F6, Qt::ShiftModifier);
    seen.push_back(frame->ActivePane());
  }
  EXPECT_EQ(seen, (std::vector<int>{CMainFrame::kStatusPane, CMainFrame::kDnldPane,
                                    CMainFrame::kListPane, CMainFrame::kTreePane}));
}

TEST_F(MainFrameTest, ClickingAPaneMakesItActive) {
  QTest::mouseClick(frame->StatusView(), Qt::LeftButton, {}, QPoint(300, 20));
  EXPECT_EQ(frame->ActivePane(), CMainFrame::kStatusPane);
  QTest::mouseClick(frame->ListPanel()->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_EQ(frame->ActivePane(), CMainFrame::kListPane);
}

TEST_F(MainFrameTest, DelDeletesTheListPanelsSelectionFromAnyPane) {
  for (const char* url : {"http://a/A", "http://a/B", "http://a/C"})
    test::E().lists.requestedFiles.AddUrl(url);
  CListPanel* list = frame->ListPanel();
  list->RefillRows();
  ASSERT_EQ(list->RowText(0, 0), "http://a/C");

  test::MessageAnswers answers({QMessageBox::Yes, QMessageBox::Yes});
  // From the tree panel, through the frame's handler.
  ASSERT_EQ(frame->ActivePane(), CMainFrame::kTreePane);
  list->SetRowSelected(0, true);
  PressKey(Qt::Key_Delete);
  // From the list panel, through its own handler.
  frame->ActivatePane(CMainFrame::kListPane);
  list->SetRowSelected(1, true);
  PressKey(Qt::Key_Delete);

  EXPECT_EQ(answers.texts, (QStringList{"Are you sure you want to delete that entry?",
                                        "Are you sure you want to delete that entry?"}));
  ASSERT_EQ(test::E().lists.requestedFiles.GetCount(), 1);
  EXPECT_EQ(KeyOf(*test::E().lists.requestedFiles.GetAt(0)), "http://a/B");
  EXPECT_EQ(list->RowCount(), 1);
}

TEST_F(MainFrameTest, SendToFollowsTheListPanelOnlyWhileItIsActive) {
  test::E().lists.requestedFiles.AddUrl("http://a/1.jpg");
  CListPanel* list = frame->ListPanel();
  list->RefillRows();
  // A right-button press outside the search results turns Send To off.
  const QPoint row = list->visualItemRect(list->topLevelItem(0)).center();
  QTest::mousePress(list->viewport(), Qt::RightButton, {}, row);
  if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  QTest::mouseRelease(list->viewport(), Qt::RightButton, {}, row);
  ASSERT_FALSE(list->SendToEnabled());

  frame->ActivatePane(CMainFrame::kListPane);
  EXPECT_FALSE(frame->IsCommandEnabledOnRoute(kCmdSendToRequestedFiles));
  EXPECT_FALSE(frame->MenuAction(kCmdSendToRequestedSites)->isEnabled());
  EXPECT_TRUE(frame->MenuAction(kCmdDeleteEntry)->isEnabled());

  frame->ActivatePane(CMainFrame::kDnldPane);
  EXPECT_TRUE(frame->IsCommandEnabledOnRoute(kCmdSendToRequestedFiles));
  EXPECT_TRUE(frame->MenuAction(kCmdSendToRequestedSites)->isEnabled());
  // Without an application object the About and Exit commands have no handler.
  EXPECT_FALSE(frame->IsCommandEnabledOnRoute(kCmdAppAbout));
}

TEST_F(MainFrameTest, FrameSendToRequestedFilesStopsAtALinkEndingInASlash) {
  test::E().lists.searchResults.Add(MakeFileRecord("http://r/3.jpg", "cats"));
  test::E().lists.searchResults.Add(MakeFileRecord("http://r/dir/", "cats"));
  test::E().lists.searchResults.Add(MakeFileRecord("http://r/1.jpg", "cats"));
  frame->TreePanel()->SwitchTo("Search Results");
  CListPanel* list = frame->ListPanel();
  for (int r = 0; r < 3; ++r) list->SetRowSelected(r, true);
  frame->RouteCommand(kCmdSendToRequestedFiles);
  ASSERT_EQ(test::E().lists.requestedFiles.GetCount(), 1);
  EXPECT_EQ(KeyOf(*test::E().lists.requestedFiles.GetAt(0)), "http://r/1.jpg");
  EXPECT_EQ(list->RowCount(), 3);
}

// One click used to empty all six lists; now a Yes/No box asks first, and
// Enter answers No.
TEST_F(MainFrameTest, DeleteAllListsAsksFirstWithNoPreselected) {
  test::E().lists.requestedFiles.AddUrl("http://a/1.jpg");
  test::E().lists.downloadedFiles.AddUrl("http://a/2.jpg");
  test::E().lists.searchResults.AddUrl("http://a/3.jpg");
  frame->ListPanel()->RefillRows();
  test::DialogScript script;
  script.ThenAs<QMessageBox>([](QMessageBox& box) {
    EXPECT_EQ(box.windowTitle(), "Tavrinox");
    EXPECT_EQ(box.text(), "Are you sure you want to delete all the lists?");
    EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::No));
    QTest::keyClick(&box, Qt::Key_Return);
  });
  frame->RouteCommand(kCmdDeleteAllLists);
  EXPECT_EQ(test::E().lists.requestedFiles.GetCount() + test::E().lists.downloadedFiles.GetCount() +
                test::E().lists.searchResults.GetCount(),
            3);
  EXPECT_EQ(frame->ListPanel()->RowCount(), 1);

  script.ThenAs<QMessageBox>([](QMessageBox& box) { box.button(QMessageBox::Yes)->click(); });
  frame->RouteCommand(kCmdDeleteAllLists);
  EXPECT_TRUE(script.AllStepsRun());
  EXPECT_EQ(test::E().lists.requestedFiles.GetCount() + test::E().lists.downloadedFiles.GetCount() +
                test::E().lists.searchResults.GetCount(),
            0);
  EXPECT_TRUE(test::E().lists.requestedFiles.IsModified());
  EXPECT_EQ(frame->ListPanel()->RowCount(), 0);
}

TEST_F(MainFrameTest, StartsWithTheRequestedFilesAndTheOneMinuteTimer) {
  EXPECT_EQ(frame->Shown().Shown(), kListRequestedFiles);
  EXPECT_TRUE(frame->ScheduleTimer().isActive());
  EXPECT_EQ(frame->ScheduleTimer().interval(), 60000);
  EXPECT_EQ(frame->StatusView()->LastAction(), "Waiting for command");
  EXPECT_EQ(frame->DnldList()->topLevelItem(0)->text(0), "No files downloaded");
  // The engine's reports reach this window.
  test::E().Ui().SetStatusText(StatusField::Status, "reported");
  EXPECT_EQ(frame->StatusView()->Status(), "reported");
}

TEST_F(MainFrameTest, PanesStartAtTheirSizesAndRowsMoveTogether) {
  // The four panes fill the lists' tab; the gallery has the other.
  auto* tabs = qobject_cast<QTabWidget*>(frame->centralWidget());
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->tabText(0), "Lists");
  EXPECT_EQ(tabs->tabText(1), "Gallery");
  auto* columns = qobject_cast<QSplitter*>(tabs->widget(0));
  ASSERT_NE(columns, nullptr);
  EXPECT_TRUE(columns->isAncestorOf(frame->ListPanel()));
  QTest::qWait(50);
  EXPECT_EQ(frame->TreePanel()->width(), 200);
  EXPECT_EQ(frame->DnldList()->width(), 200);
  EXPECT_EQ(frame->TreePanel()->height(), 150);
  EXPECT_EQ(frame->ListPanel()->height(), 150);
  EXPECT_GT(frame->ListPanel()->width(), 600);
  EXPECT_GT(frame->StatusView()->height(), 300);

  // Growing the window grows the right column and the bottom row only.
  frame->resize(1200, 800);
  QTest::qWait(50);
  EXPECT_EQ(frame->TreePanel()->width(), 200);
  EXPECT_EQ(frame->TreePanel()->height(), 150);

  // Dragging a row bar in one column moves the other column's too.
  auto* left = qobject_cast<QSplitter*>(frame->TreePanel()->parentWidget());
  ASSERT_NE(left, nullptr);
  QSplitterHandle* handle = left->handle(1);
  const QPoint grip = handle->rect().center();
  QTest::mousePress(handle, Qt::LeftButton, {}, grip);
  QTest::mouseMove(handle, grip + QPoint(0, 60));
  QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(0, 60));
  QTest::qWait(50);
  EXPECT_NE(frame->TreePanel()->height(), 150);
  EXPECT_EQ(frame->ListPanel()->height(), frame->TreePanel()->height());
}

TEST_F(MainFrameTest, StatusBarShowsPromptsThenReady) {
  QLabel* pane = frame->MessagePane();
  EXPECT_EQ(pane->text(), "Ready");
  EXPECT_EQ(frame->Indicator(0)->text(), "CAP");
  EXPECT_EQ(frame->Indicator(1)->text(), "NUM");
  EXPECT_EQ(frame->Indicator(2)->text(), "SCRL");

  QStatusTipEvent prompt("Delete selected entries");
  QApplication::sendEvent(frame.get(), &prompt);
  EXPECT_EQ(pane->text(), "Delete selected entries");
  QStatusTipEvent none{QString()};
  QApplication::sendEvent(frame.get(), &none);
  EXPECT_EQ(pane->text(), "Ready");
}

TEST_F(MainFrameTest, ToolbarHasTheNineButtonsInOrder) {
  QToolBar* bar = frame->ToolBar();
  ASSERT_NE(bar, nullptr);
  QStringList order;
  for (QAction* a : bar->actions())
    order << (a->isSeparator() ? QString("|") : QString::number(a->data().toInt()));
  EXPECT_EQ(order.join(" "), QString("%1 %2 %3 | %4 | %5 %6 %7 | %8 | %9")
                                 .arg(kCmdAddFiles)
                                 .arg(kCmdAddWebSite)
                                 .arg(kCmdAddSearchProject)
                                 .arg(kCmdDeleteEntry)
                                 .arg(kCmdDownloadSelected)
                                 .arg(kCmdStopDownloading)
                                 .arg(kCmdProperties)
                                 .arg(kCmdGallery)
                                 .arg(kCmdAppAbout));
  EXPECT_EQ(bar->iconSize(), QSize(32, 32));
  EXPECT_EQ(frame->toolBarArea(bar), Qt::TopToolBarArea);
  EXPECT_EQ(bar->allowedAreas(), Qt::AllToolBarAreas);
  for (QAction* a : bar->actions()) {
    if (a->isSeparator()) continue;
    const int id = a->data().toInt();
    EXPECT_EQ(a->toolTip(), id == kCmdAppAbout  ? "About"
                            : id == kCmdGallery ? "Gallery (F4)"
                                                : "")
        << id;
  }
  EXPECT_EQ(frame->ToolAction(kCmdDeleteEntry)->statusTip(), "Delete selected entries");
}

TEST_F(MainFrameTest, TableOfContentsOpensTheShippedHelpPage) {
  const QString path = CMainFrame::HelpPagePath();
  ASSERT_FALSE(path.isEmpty());
  EXPECT_TRUE(path.endsWith("/Quillanto/picstoc.htm"));
  EXPECT_TRUE(QFileInfo(path).size() > 1000);
  frame->RouteCommand(kCmdHelpContents);
  ASSERT_EQ(opens.urls.size(), 1u);
  EXPECT_EQ(opens.urls[0], QUrl::fromLocalFile(path));
}

TEST_F(MainFrameTest, DownloadAndStopNeedARequestedListAndASelection) {
  test::E().lists.downloadedFiles.Add(MakeFileRecord("http://127.0.0.1:1/a.jpg", "Success"));
  frame->TreePanel()->SwitchTo("Downloaded Files");
  frame->ListPanel()->SetRowSelected(0, true);
  frame->RouteCommand(kCmdDownloadSelected);
  frame->RouteCommand(kCmdStopDownloading);
  EXPECT_EQ(frame->ListPanel()->RowText(0, 1), "Success");
  EXPECT_EQ(test::E().workers.Registry(WorkerKind::File).Count(), 0);
}

class MainStartupQuestion : public MainFrameTest {
 protected:
  // Answers the start-up question with a choice and records the dialogs that
  // follow it (cancelled).
  QStringList Ask(std::function<void(CStartDlg&)> answer, int followers) {
    QStringList titles;
    test::DialogScript script;
    script.ThenAs<CStartDlg>(answer);
    for (int i = 0; i < followers; ++i)
      script.Then([&titles](QWidget* w) {
        titles << w->windowTitle();
        qobject_cast<QDialog*>(w)->reject();
      });
    frame->AskStartupQuestion();
    EXPECT_TRUE(script.AllStepsRun());
    EXPECT_EQ(script.DialogsSeen(), 1 + followers);
    return titles;
  }
  static std::function<void(CStartDlg&)> Choose(int choice) {
    return [choice](CStartDlg& d) {
      QTest::mouseClick(d.choiceButton(choice), Qt::LeftButton);
      QTest::mouseClick(d.proceedButton(), Qt::LeftButton);
    };
  }
};

TEST_F(MainStartupQuestion, WebSiteChoiceRunsAddWebSite) {
  EXPECT_EQ(Ask(Choose(CStartDlg::kWebSiteProject), 1), QStringList{"Add New Web Project"});
}

TEST_F(MainStartupQuestion, SearchChoiceRunsAddSearchProject) {
  EXPECT_EQ(Ask(Choose(CStartDlg::kSearchProject), 1), QStringList{"Add a Search Project"});
}

TEST_F(MainStartupQuestion, StartTheProgramOrClosingDoesNothing) {
  EXPECT_TRUE(Ask(Choose(CStartDlg::kStartProgram), 0).isEmpty());
  EXPECT_TRUE(Ask([](CStartDlg& d) { d.close(); }, 0).isEmpty());
  EXPECT_TRUE(Ask([](CStartDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }, 0).isEmpty());
  EXPECT_EQ(test::E().lists.requestedSites.GetCount() + test::E().lists.searchProjects.GetCount(),
            0);
  EXPECT_EQ(frame->ListPanel()->RowCount(), 0);
}

}  // namespace
}  // namespace tvx::ui
