// The tree of lists and the list panel: what they show, the list switch, the
// selection report and the context menu.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <cstdlib>

#include "commands/CommandIds.h"
#include "store/Lists.h"
#include "support/ListReset.h"
#include "support/RecordingReporter.h"
#include "ui/DialogDriver.h"
#include "ui/views/ListPanel.h"
#include "ui/views/StatusView.h"
#include "ui/views/TreePanel.h"
#include "workers/WorkerControl.h"

namespace tvx::ui {
namespace {

SiteProject Site(const char* name) {
  SiteProject p{};
  SetText(p.name, name);
  SetText(p.status, kReadyForDownload);
  return p;
}

SearchProject Search(const char* name) {
  SearchProject p{};
  SetText(p.name, name);
  SetText(p.status, kReadyForDownload);
  return p;
}

class ViewPanels : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ResetLists();
    tree.SetPanels(&list, &status);
    tree.SetModel(&test::E(), &shown);
    list.SetModel(&test::E(), &shown);
    list.SetStatusView(&status);
    tree.OnInitialUpdate();
    tree.resize(220, 300);
    list.resize(600, 300);
    tree.show();
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
  }
  void TearDown() override { test::ResetLists(); }

  QStringList Column(int column) const {
    QStringList texts;
    for (int r = 0; r < list.RowCount(); ++r) texts << list.RowText(r, column);
    return texts;
  }
  void ClickTreeItem(const QString& text) {
    QTreeWidgetItem* item = tree.FindItem(text);
    ASSERT_NE(item, nullptr) << text.toStdString();
    if (item->parent()) item->parent()->setExpanded(true);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(item).center());
  }
  QPoint RowPoint(int row) const { return list.visualItemRect(list.topLevelItem(row)).center(); }
  void ClickRow(int row, Qt::KeyboardModifiers mods = {}) {
    QTest::mouseClick(list.viewport(), Qt::LeftButton, mods, RowPoint(row));
  }

  CTreePanel tree;
  CListPanel list;
  CStatusView status;
  test::RecordingReporter sink;
  ShownList shown{test::E().lists, sink};
};

TEST_F(ViewPanels, TreeHasTheSixListsUnderTwoRootsAndStartsOnFiles) {
  ASSERT_EQ(tree.topLevelItemCount(), 2);
  QTreeWidgetItem* requested = tree.topLevelItem(0);
  QTreeWidgetItem* downloaded = tree.topLevelItem(1);
  EXPECT_EQ(requested->text(0), "Requested Items");
  EXPECT_EQ(downloaded->text(0), "Downloaded Items");
  QStringList children;
  for (QTreeWidgetItem* root : {requested, downloaded})
    for (int i = 0; i < root->childCount(); ++i) children << root->child(i)->text(0);
  EXPECT_EQ(children, (QStringList{"Files", "Web Sites", "Search Projects", "Downloaded Files",
                                   "Downloaded Sites", "Search Results"}));
  EXPECT_TRUE(requested->isExpanded());
  EXPECT_FALSE(downloaded->isExpanded());
  EXPECT_EQ(tree.currentItem(), requested->child(0));
  // Selecting "Files" at start shows nothing by itself.
  EXPECT_EQ(status.LastAction(), "Waiting for command");
  EXPECT_EQ(shown.Shown(), kListRequestedFiles);
}

TEST_F(ViewPanels, EachListShowsNewestFirstWithItsSummary) {
  test::E().lists.requestedFiles.AddUrl("http://a/1.jpg");
  test::E().lists.requestedSites.Add(Site("A"));
  test::E().lists.requestedSites.Add(Site("B"));
  test::E().lists.requestedSites.Add(Site("C"));
  test::E().lists.downloadedFiles.Add(MakeFileRecord("http://d/1.jpg", "Success"));
  test::E().lists.downloadedFiles.Add(MakeFileRecord("http://d/2.jpg", "Success"));
  test::E().lists.searchProjects.Add(Search("cats"));
  test::E().lists.searchResults.Add(MakeFileRecord("http://r/1.jpg", "cats"));

  struct Case {
    const char* item;
    int kind;
    const char* lastAction;
    const char* status;
    QStringList rows;
  };
  const Case cases[] = {
      {"Web Sites",
       2,
       "Requested Web Sites List Selected",
       " 3 projects ready for download",
       {"C", "B", "A"}},
      {"Downloaded Files",
       3,
       "Downloaded Files List Selected",
       " 2 files downloaded",
       {"http://d/2.jpg", "http://d/1.jpg"}},
      {"Downloaded Sites", 4, "Downloaded Web Sites List Selected", " 0 projects downloaded", {}},
      {"Search Projects",
       5,
       "Required Search Projects List Selected",
       " 1 search projects ready for download",
       {"cats"}},
      {"Search Results",
       6,
       "Search Results List Selected",
       " 1 search projects completed",
       {"http://r/1.jpg"}},
      {"Files",
       1,
       "Requested Files List Selected",
       " 1 files ready for download",
       {"http://a/1.jpg"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    status.SetCurrentProject("something");
    ClickTreeItem(c.item);
    EXPECT_EQ(shown.Shown(), c.kind);
    EXPECT_EQ(status.CurrentProject(), "None");
    EXPECT_EQ(status.LastAction(), c.lastAction);
    EXPECT_EQ(status.Status(), c.status);
    EXPECT_EQ(Column(0), c.rows);
  }
  ClickTreeItem("Downloaded Files");
  EXPECT_EQ(Column(1), (QStringList{"Success", "Success"}));
}

TEST_F(ViewPanels, PickingTheShownListOrARootChangesNothing) {
  test::E().lists.requestedFiles.AddUrl("http://a/1.jpg");
  list.RefillRows();
  status.SetLastAction("marker");
  test::E().lists.requestedFiles.AddUrl(
      "http://a/2.jpg");  // not shown until the list is picked again
  ClickTreeItem("Files");
  ClickTreeItem("Requested Items");
  ClickTreeItem("Downloaded Items");
  EXPECT_EQ(shown.Shown(), kListRequestedFiles);
  EXPECT_EQ(status.LastAction(), "marker");
  EXPECT_EQ(Column(0), QStringList{"http://a/1.jpg"});
}

TEST_F(ViewPanels, ArrowKeysSwitchWhenTheKeyIsReleased) {
  test::E().lists.requestedSites.Add(Site("A"));
  tree.setFocus();
  QTest::keyClick(&tree, Qt::Key_Down);
  EXPECT_EQ(tree.currentItem()->text(0), "Web Sites");
  EXPECT_EQ(shown.Shown(), kListRequestedSites);
  EXPECT_EQ(Column(0), QStringList{"A"});
}

TEST_F(ViewPanels, RowThatCannotBeInsertedStopsTheFilling) {
  test::MessageAnswers answers;
  for (const char* url : {"http://a/1", "http://a/2", "http://a/3"})
    test::E().lists.requestedFiles.AddUrl(url);
  list.SetRowLimitForTest(2);
  list.RefillRows();
  EXPECT_EQ(answers.texts, QStringList{"Error updating list"});
  EXPECT_EQ(Column(0), (QStringList{"http://a/2", "http://a/1"}));
}

TEST_F(ViewPanels, ColumnsAndSelectionMode) {
  ASSERT_EQ(list.columnCount(), 2);
  EXPECT_EQ(list.headerItem()->text(0), "Project");
  EXPECT_EQ(list.headerItem()->text(1), "Status");
  EXPECT_EQ(list.columnWidth(0), 250);
  EXPECT_GE(list.columnWidth(1), 300);
  EXPECT_EQ(list.selectionMode(), QAbstractItemView::ExtendedSelection);
}

TEST_F(ViewPanels, RowOperationsIgnoreRowsThatAreNotThere) {
  EXPECT_TRUE(list.InsertTopRow("old", "s1"));
  EXPECT_TRUE(list.InsertTopRow("new", "s2"));
  list.SetRowText(1, 1, "changed");
  list.SetRowText(5, 1, "nowhere");
  list.SetRowText(0, 2, "no column");
  list.DeleteRow(7);
  list.DeleteRow(-1);
  EXPECT_EQ(Column(0), (QStringList{"new", "old"}));
  EXPECT_EQ(Column(1), (QStringList{"s2", "changed"}));
  EXPECT_EQ(list.RowText(9, 0), "");
  list.SetRowSelected(1, true);
  EXPECT_EQ(list.SelectedRows(), std::vector<int>{1});
  list.DeleteRow(0);
  EXPECT_EQ(Column(0), QStringList{"old"});
}

TEST_F(ViewPanels, ClickingARowReportsItInTheStatusView) {
  test::E().lists.requestedFiles.AddUrl("http://a/1.jpg");
  test::E().lists.requestedFiles.Add(MakeFileRecord("http://a/2.jpg", "Stopped"));
  list.RefillRows();
  ClickRow(1);
  EXPECT_EQ(status.LastAction(), "http://a/1.jpg selected");
  EXPECT_EQ(status.Status(), "Ready for download");
  EXPECT_EQ(status.CurrentProject(), "None");
  EXPECT_EQ(shown.RowOf(shown.Followed()), 1);

  // With two rows selected the lower one's values remain.
  ClickRow(0, Qt::ControlModifier);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{0, 1}));
  EXPECT_EQ(status.LastAction(), "http://a/1.jpg selected");
  EXPECT_EQ(shown.RowOf(shown.Followed()), 1);

  // Arrow keys report on release.
  ClickRow(1);
  QTest::keyClick(list.viewport(), Qt::Key_Up);
  EXPECT_EQ(list.SelectedRows(), std::vector<int>{0});
  EXPECT_EQ(status.LastAction(), "http://a/2.jpg selected");
  EXPECT_EQ(status.Status(), "Stopped");
  EXPECT_EQ(shown.RowOf(shown.Followed()), 0);
}

TEST_F(ViewPanels, CurrentProjectFollowsWebSitesOnly) {
  test::E().lists.requestedSites.Add(Site("Holiday"));
  test::E().lists.searchResults.Add(MakeFileRecord("http://r/1.jpg", "cats"));
  ClickTreeItem("Web Sites");
  ClickRow(0);
  EXPECT_EQ(status.CurrentProject(), "Holiday");
  EXPECT_EQ(status.LastAction(), "Holiday selected");

  ClickTreeItem("Search Results");
  status.SetCurrentProject("kept");
  ClickRow(0);
  EXPECT_EQ(status.CurrentProject(), "kept");
  EXPECT_EQ(status.LastAction(), "http://r/1.jpg selected");
  EXPECT_EQ(status.Status(), "cats");
}

// Presses the right button on a row and returns the texts and enabled states
// of the menu that opens ("" when none opens), closing it again.
QString RightClickMenu(CListPanel& list, QPoint at) {
  QString seen;
  QTimer::singleShot(50, [&seen] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      QStringList parts;
      for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
          parts << "-";
        } else if (a->menu()) {
          QStringList sub;
          for (QAction* s : a->menu()->actions())
            sub << s->text() + (s->isEnabled() ? "" : " (off)");
          parts << a->text() + "[" + sub.join(",") + "]";
        } else {
          parts << a->text();
        }
      }
      seen = parts.join("|");
      menu->close();
    }
  });
  QTest::mousePress(list.viewport(), Qt::RightButton, {}, at);
  QTest::qWait(150);
  QTest::mouseRelease(list.viewport(), Qt::RightButton, {}, at);
  if (auto* popup = QApplication::activePopupWidget()) popup->close();
  return seen;
}

TEST_F(ViewPanels, ContextMenuEnablesSendToOnlyForSearchResults) {
  test::E().lists.requestedFiles.AddUrl("http://a/1.jpg");
  test::E().lists.searchResults.Add(MakeFileRecord("http://r/1.jpg", "cats"));
  list.RefillRows();
  EXPECT_TRUE(list.SendToEnabled());  // until the first right-button press

  EXPECT_EQ(RightClickMenu(list, RowPoint(0)),
            "Delete\tDel|-|Send To[&Requested Files List (off),Requested &Web Sites (off)]|-|"
            "Properties...");
  EXPECT_FALSE(list.SendToEnabled());
  EXPECT_EQ(list.IsCommandEnabled(kCmdSendToRequestedFiles), false);

  ClickTreeItem("Search Results");
  EXPECT_EQ(RightClickMenu(list, RowPoint(0)),
            "Delete\tDel|-|Send To[&Requested Files List,Requested &Web Sites]|-|Properties...");
  EXPECT_TRUE(list.SendToEnabled());
  EXPECT_EQ(list.IsCommandEnabled(kCmdSendToRequestedSites), true);
}

TEST_F(ViewPanels, NoContextMenuWithoutASelectedRow) {
  test::E().lists.requestedFiles.AddUrl("http://a/1.jpg");
  list.RefillRows();
  const QPoint belowRows(50, list.viewport()->height() - 5);
  EXPECT_EQ(RightClickMenu(list, belowRows), "");
  EXPECT_TRUE(list.SelectedRows().empty());
}

TEST_F(ViewPanels, ContextMenuCommandsReachThePanelsHandlers) {
  test::MessageAnswers answers;
  test::E().lists.downloadedFiles.Add(MakeFileRecord("http://d/1.jpg", "Success"));
  ClickTreeItem("Downloaded Files");
  list.SetRowSelected(0, true);
  QMenu* menu = list.CreateContextMenu(&list);
  menu->actions().first()->trigger();  // Delete
  delete menu;
  EXPECT_EQ(answers.texts, QStringList{"You are not alowed to delete entries in this panel"});
  EXPECT_EQ(test::E().lists.downloadedFiles.GetCount(), 1);
}

}  // namespace
}  // namespace tvx::ui

namespace tvx::ui {
namespace {

// A row's bar stays with its row as rows come and go above it, leaves the
// status text as it is, and goes with total 0.
TEST_F(ViewPanels, ProgressBarsMoveWithTheirRowsBehindTheStatusText) {
  list.InsertTopRow("http://h/a.jpg", "Downloading...");
  list.InsertTopRow("http://h/b.jpg", "Downloading...");
  list.SetRowProgress(1, 250, 1000);  // a.jpg
  EXPECT_DOUBLE_EQ(list.RowProgress(1), 0.25);
  EXPECT_LT(list.RowProgress(0), 0) << "a size not known shows no bar";

  list.InsertTopRow("http://h/c.jpg", "Ready for download");
  EXPECT_DOUBLE_EQ(list.RowProgress(2), 0.25);
  list.DeleteRow(0);
  list.DeleteRow(0);
  EXPECT_DOUBLE_EQ(list.RowProgress(0), 0.25);
  EXPECT_EQ(list.RowText(0, 1), "Downloading...");

  list.SetRowProgress(0, 0, 0);
  EXPECT_LT(list.RowProgress(0), 0);
}

// The bar shows on a selected row as on any other (it used to be drawn in
// the selection colour over the selection), and goes with its total.
TEST_F(ViewPanels, ProgressBarsAreSeenOnSelectedAndUnselectedRows) {
  list.InsertTopRow("http://h/a.jpg", "Downloading...");
  list.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&list));
  const QRect cell = list.visualRect(list.model()->index(0, 1));
  auto distance = [](QColor a, QColor b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
           std::abs(a.blue() - b.blue());
  };
  for (bool selected : {false, true}) {
    SCOPED_TRACE(selected ? "selected" : "not selected");
    list.SetRowSelected(0, selected);
    list.SetRowProgress(0, 500, 1000);
    QImage shot = list.viewport()->grab().toImage();
    const QColor filled = shot.pixelColor(cell.left() + 6, cell.bottom() - 4);
    const QColor empty = shot.pixelColor(cell.right() - 8, cell.bottom() - 4);
    EXPECT_GE(distance(filled, empty), 60)
        << filled.name().toStdString() << " against " << empty.name().toStdString();
    list.SetRowProgress(0, 0, 0);
    shot = list.viewport()->grab().toImage();
    EXPECT_EQ(shot.pixelColor(cell.left() + 6, cell.bottom() - 4),
              shot.pixelColor(cell.right() - 8, cell.bottom() - 4));
  }
}

// Long status texts ("The file changed on the server: ...") are read in full:
// the Status column takes the rest of the pane, and the cell's tooltip is
// its whole text.
TEST_F(ViewPanels, StatusColumnFillsThePaneAndItsTooltipIsTheWholeText) {
  const QString text = "The file changed on the server: downloading it again from the start";
  list.InsertTopRow("http://h/a.jpg", text);
  list.InsertTopRow("http://h/b.jpg", "The server said <b>busy</b> & closed");
  for (int width : {700, 1200}) {
    list.resize(width, 300);
    QTest::qWait(20);
    EXPECT_EQ(list.columnWidth(0), 250);
    EXPECT_EQ(list.columnWidth(0) + list.columnWidth(1), list.viewport()->width()) << width;
  }
  list.resize(400, 300);  // narrower than the text
  QTest::qWait(20);
  for (int row : {1, 0}) {
    const QPoint at = list.visualRect(list.model()->index(row, 1)).center();
    QHelpEvent tip(QEvent::ToolTip, at, list.viewport()->mapToGlobal(at));
    QApplication::sendEvent(list.viewport(), &tip);
    ASSERT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 5000));
    // As the tooltip shows it: as written, or as the markup it holds reads.
    QString shown = QToolTip::text();
    if (Qt::mightBeRichText(shown)) {
      QTextDocument document;
      document.setHtml(shown);
      shown = document.toPlainText();
    }
    EXPECT_EQ(shown, list.RowText(row, 1));
    QToolTip::hideText();
  }
  EXPECT_EQ(list.RowText(1, 1), text);
}

}  // namespace
}  // namespace tvx::ui
