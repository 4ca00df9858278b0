// The search project dialog: its checks, radio rules and loading for editing.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstddef>
#include <cstring>

#include "ui/DialogDriver.h"
#include "ui/dialogs/AddSearchDlg.h"

namespace tvx::ui {
namespace {

using test::Click;
using test::DialogScript;
using test::MessageAnswers;

QPushButton* Ok(CAddSearchDlg& d) { return d.findChild<QPushButton*>(QStringLiteral("ok")); }

TEST(DialogAddSearch, OkChecksRunInOrderAndKeepTheDialogOpen) {
  MessageAnswers boxes;
  CAddSearchDlg dialog;
  int result = -1;
  DialogScript script;
  script.ThenAs<CAddSearchDlg>([&](CAddSearchDlg& d) {
    auto pressOk = [&] { QTest::mouseClick(Ok(d), Qt::LeftButton); };
    pressOk();  // everything empty: only the first message
    QTest::keyClicks(d.nameEdit(), QStringLiteral("Cats"));
    pressOk();
    QTest::keyClicks(d.searchEdit(), QStringLiteral("cat pictures"));
    for (int i = 0; i < 3; ++i) Click(d.todayBox(i));  // ticked for a new project
    pressOk();
    Click(d.engineBox(1));  // HotBot alone is enough
    Click(d.runTimes()->startRunningAt());
    QTest::keyClicks(d.runTimes()->startHour(), QStringLiteral("7"));
    pressOk();  // minute missing
    QTest::keyClicks(d.runTimes()->startMinute(), QStringLiteral("99"));
    Click(d.runTimes()->stopRunningAt());
    QTest::keyClicks(d.runTimes()->stopMinute(), QStringLiteral("5"));
    pressOk();  // stop hour missing
    EXPECT_TRUE(d.isVisible());
    QTest::keyClicks(d.runTimes()->stopHour(), QStringLiteral("23"));
    pressOk();
  });
  result = dialog.exec();

  EXPECT_EQ(boxes.texts, QStringList({"Enter the project's name!", "Enter the search string",
                                      "Select at least one search engine", "Enter the start time",
                                      "Enter the stop time"}));
  ASSERT_EQ(result, QDialog::Accepted);
  SearchProject stored{};
  dialog.StoreInto(stored);
  EXPECT_STREQ(stored.name, "Cats");
  EXPECT_STREQ(stored.searchText, "cat pictures");
  EXPECT_EQ(stored.useHotBot, 1);
  EXPECT_EQ(stored.useAltaVista + stored.useYahoo, 0);
  EXPECT_EQ(stored.runWhenRequested, 0);
  EXPECT_EQ(stored.stopWhenRequested, 0);
  // No range check: a minute of 99 stays 99.
  EXPECT_EQ(stored.startHour, 7);
  EXPECT_EQ(stored.startMinute, 99);
  EXPECT_EQ(stored.stopHour, 23);
  EXPECT_EQ(stored.stopMinute, 5);
}

TEST(DialogAddSearch, RunWhenRequestedPassesWhateverTheBoxesHold) {
  MessageAnswers boxes;
  CAddSearchDlg dialog;
  DialogScript script;
  script.ThenAs<CAddSearchDlg>([](CAddSearchDlg& d) {
    QTest::keyClicks(d.nameEdit(), QStringLiteral("Dogs"));
    QTest::keyClicks(d.searchEdit(), QStringLiteral("dog"));
    Click(d.engineBox(2));
    // A start hour typed, then the user goes back to "Run when requested".
    Click(d.runTimes()->startRunningAt());
    QTest::keyClicks(d.runTimes()->startHour(), QStringLiteral("8"));
    Click(d.runTimes()->runWhenRequested());
    EXPECT_FALSE(d.runTimes()->startHour()->isEnabled());
    EXPECT_EQ(d.runTimes()->startHour()->text(), QStringLiteral("8"));
    // Enter in a text box presses the default button.
    QTest::keyClick(d.searchEdit(), Qt::Key_Return);
  });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join('|').toStdString();
  EXPECT_EQ(dialog.Values().times.runWhenRequested, 1);
  EXPECT_EQ(dialog.Values().times.startHour, QStringLiteral("8"));
}

TEST(DialogAddSearch, EscapeCancelsWithoutChecks) {
  MessageAnswers boxes;
  CAddSearchDlg dialog;
  DialogScript script;
  script.ThenAs<CAddSearchDlg>([](CAddSearchDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); });
  EXPECT_EQ(dialog.exec(), QDialog::Rejected);
  EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST(DialogAddSearch, EditingAProjectStoredAt705) {
  SearchProject project{};
  SetText(project.name, "Birds");
  SetText(project.searchText, "parrot");
  project.useYahoo = 1;
  project.useMsn = 1;  // a greyed engine may still come ticked from the file
  project.runWhenRequested = 0;
  project.stopWhenRequested = 1;
  project.startHour = 7;
  project.startMinute = 5;
  project.stopHour = 0;
  project.stopMinute = 30;

  CAddSearchDlg dialog;
  dialog.Load(project);
  dialog.show();
  RunTimeControls* t = dialog.runTimes();
  EXPECT_EQ(dialog.nameEdit()->text(), QStringLiteral("Birds"));
  EXPECT_EQ(dialog.searchEdit()->text(), QStringLiteral("parrot"));
  EXPECT_TRUE(t->startRunningAt()->isChecked());
  EXPECT_FALSE(t->runWhenRequested()->isChecked());
  EXPECT_EQ(t->startHour()->text(), QStringLiteral("7"));
  EXPECT_EQ(t->startMinute()->text(), QStringLiteral("5"));
  EXPECT_TRUE(t->startHour()->isEnabled() && t->startMinute()->isEnabled());
  EXPECT_TRUE(t->stopWhenRequested()->isChecked());
  EXPECT_EQ(t->stopMinute()->text(), QStringLiteral("30"));
  EXPECT_FALSE(t->stopHour()->isEnabled() || t->stopMinute()->isEnabled());
  for (int i = 0; i < 7; ++i) EXPECT_EQ(dialog.engineBox(i)->isEnabled(), i < 3) << i;
  EXPECT_TRUE(dialog.engineBox(5)->isChecked());

  // A project from the list files asks no engine of today until ticked.
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(dialog.todayBox(i)->isChecked()) << i;

  // Untouched, the project comes back as it was.
  MessageAnswers boxes;
  dialog.accept();
  EXPECT_TRUE(boxes.texts.isEmpty());
  SearchProject back{};
  dialog.StoreInto(back);
  EXPECT_EQ(std::memcmp(&back.name, &project.name, offsetof(SearchProject, status)), 0);
  EXPECT_EQ(dialog.Values().today, TodayEngines{});
}

TEST(DialogAddSearch, EnginesOfTodayAreTickedForANewProjectAndShownAsStored) {
  MessageAnswers boxes;
  CAddSearchDlg dialog;
  DialogScript script;
  script.ThenAs<CAddSearchDlg>([](CAddSearchDlg& d) {
    const QStringList labels{"Openverse", "Wikimedia Commons", "DuckDuckGo"};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(d.todayBox(i)->text(), labels[i]);
      EXPECT_TRUE(d.todayBox(i)->isChecked() && d.todayBox(i)->isEnabled());
      EXPECT_GT(d.todayBox(i)->mapTo(&d, QPoint()).y(), d.engineBox(6)->mapTo(&d, QPoint()).y())
          << "below the engines of the record";
    }
    EXPECT_EQ(d.todayBox(0)->parentWidget()->property("title").toString(),
              QStringLiteral("Engines of today"));
    // Commons alone is engine enough.
    QTest::keyClicks(d.nameEdit(), QStringLiteral("Lights"));
    QTest::keyClicks(d.searchEdit(), QStringLiteral("lighthouse"));
    Click(d.todayBox(0));
    Click(d.todayBox(2));
    QTest::mouseClick(Ok(d), Qt::LeftButton);
  });
  ASSERT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join('|').toStdString();
  EXPECT_EQ(dialog.Values().today, (TodayEngines{false, true, false}));

  CAddSearchDlg editing;
  editing.Load(SearchProject{}, {true, false, true});
  EXPECT_TRUE(editing.todayBox(0)->isChecked());
  EXPECT_FALSE(editing.todayBox(1)->isChecked());
  EXPECT_TRUE(editing.todayBox(2)->isChecked());
}

TEST(DialogAddSearch, TimedRadiosMoveTheFocusAndBoxesTakeDigitsOnly) {
  CAddSearchDlg dialog;
  dialog.show();
  RunTimeControls* t = dialog.runTimes();
  EXPECT_FALSE(t->startHour()->isEnabled());
  Click(t->startRunningAt());
  EXPECT_TRUE(t->startHour()->isEnabled());
  EXPECT_EQ(dialog.focusWidget(), t->startHour());
  QTest::keyClicks(t->startHour(), QStringLiteral("1a:2"));
  EXPECT_EQ(t->startHour()->text(), QStringLiteral("12"));
  Click(t->stopRunningAt());
  EXPECT_EQ(dialog.focusWidget(), t->stopHour());
  // The pairs are independent of each other.
  EXPECT_TRUE(t->startRunningAt()->isChecked());
  Click(t->runWhenRequested());
  EXPECT_TRUE(t->stopRunningAt()->isChecked());
  EXPECT_FALSE(t->startHour()->isEnabled());
  EXPECT_TRUE(t->stopHour()->isEnabled());
}

}  // namespace
}  // namespace tvx::ui
