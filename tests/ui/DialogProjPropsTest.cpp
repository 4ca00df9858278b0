// The web project property sheet: page order, loading, the File and Run
// Settings rules, and what a page never opened hands back.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <cstring>
#include <functional>
#include <string>

#include "ui/DialogDriver.h"
#include "ui/dialogs/ProjProps.h"

namespace tvx::ui {
namespace {

using test::Click;
using test::DialogScript;
constexpr int kFileTab = 1;
constexpr int kRunTab = 2;
constexpr int kAdvancedTab = 3;

SiteProject FullProject() {
  SiteProject p{};
  SetText(p.name, "Holiday pictures");
  SetText(p.startUrl, "http://127.0.0.1/holiday/");
  p.typeGif = 1;
  p.typeTif = 1;
  SetText(p.otherTypes, "pcx");
  p.runWhenRequested = 0;
  p.stopWhenRequested = 1;
  p.startHour = 22;
  p.startMinute = 30;
  p.stopHour = 4;
  p.stopMinute = 15;
  p.maxDomainCount = 5;
  p.exitDomain = 1;
  SetText(p.userName, "anna");
  SetText(p.password, "secret");
  return p;
}

// Shows the sheet modally, lets `act` work on it, then presses OK.
SiteProject RunSheet(const SiteProject& loaded, const std::function<void(CProjProps&)>& act) {
  CProjProps sheet(QString::fromLatin1(kWebProjectPropertiesTitle));
  sheet.Load(loaded);
  DialogScript script;
  script.ThenAs<CProjProps>([&](CProjProps& s) {
    act(s);
    QTest::mouseClick(s.okButton(), Qt::LeftButton);
  });
  EXPECT_EQ(sheet.exec(), QDialog::Accepted);
  SiteProject out{};
  sheet.StoreInto(out);
  return out;
}

TEST(DialogProjProps, TabsComeInOrderAndGeneralShowsFirst) {
  CProjProps sheet(QStringLiteral("Add New Web Project"));
  ASSERT_EQ(sheet.tabs()->count(), 4);
  EXPECT_EQ(sheet.tabs()->tabText(0), QStringLiteral("General Settings"));
  EXPECT_EQ(sheet.tabs()->tabText(1), QStringLiteral("File Settings"));
  EXPECT_EQ(sheet.tabs()->tabText(2), QStringLiteral("Run Settings"));
  EXPECT_EQ(sheet.tabs()->tabText(3), QStringLiteral("Advanced Settings"));
  EXPECT_EQ(sheet.windowTitle(), QStringLiteral("Add New Web Project"));
  sheet.show();
  EXPECT_EQ(sheet.tabs()->currentIndex(), 0);
  EXPECT_TRUE(sheet.okButton()->isDefault());
  EXPECT_FALSE(sheet.general().hint()->isEnabled());
  EXPECT_TRUE(sheet.general().hint()->text().startsWith(QStringLiteral("ex : ")));
}

TEST(DialogProjProps, PagesNeverOpenedHandBackWhatWasLoaded) {
  const SiteProject loaded = FullProject();
  const SiteProject back = RunSheet(loaded, [](CProjProps& s) {
    EXPECT_FALSE(s.files().WasShown());
    EXPECT_FALSE(s.run().WasShown());
  });
  EXPECT_EQ(std::memcmp(&back, &loaded, sizeof back), 0);
}

TEST(DialogProjProps, EveryPageOpenedAndUntouchedHandsBackTheSame) {
  const SiteProject loaded = FullProject();
  const SiteProject back = RunSheet(loaded, [](CProjProps& s) {
    for (int tab = 1; tab < 4; ++tab) s.tabs()->setCurrentIndex(tab);
    EXPECT_EQ(s.files().otherTypesEdit()->text(), QStringLiteral("pcx"));
    EXPECT_EQ(s.advanced().passwordEdit()->echoMode(), QLineEdit::Normal);
  });
  EXPECT_EQ(std::memcmp(&back, &loaded, sizeof back), 0);
}

TEST(DialogProjProps, NewProjectWithoutFileSettingsDownloadsAll) {
  SiteProject fresh{};
  fresh.runWhenRequested = 1;
  fresh.stopWhenRequested = 1;
  const SiteProject back = RunSheet(fresh, [](CProjProps&) {});
  EXPECT_EQ(back.downloadAllFiles, 1);
  EXPECT_EQ(back.typeCdr + back.typeGif + back.typeJpg + back.typeBmp + back.typePng +
                back.typeTga + back.typeTif,
            0);
}

TEST(DialogProjProps, FileSettingsGreyTypesButKeepTheirTicks) {
  SiteProject gifOnly{};
  gifOnly.typeGif = 1;
  const SiteProject back = RunSheet(gifOnly, [](CProjProps& s) {
    s.tabs()->setCurrentIndex(kFileTab);
    CFileSettings& f = s.files();
    EXPECT_TRUE(f.searchForTypes()->isChecked());
    EXPECT_TRUE(f.typeBox(CFileSettings::kGif)->isChecked());
    for (int t = 0; t < CFileSettings::kTypeCount; ++t) EXPECT_TRUE(f.typeBox(t)->isEnabled());
    EXPECT_TRUE(f.otherTypesBox()->isEnabled() && f.otherTypesEdit()->isEnabled());

    Click(f.typeBox(CFileSettings::kJpg));
    Click(f.otherTypesBox());
    Click(f.downloadAllFiles());
    for (int t = 0; t < CFileSettings::kTypeCount; ++t) EXPECT_FALSE(f.typeBox(t)->isEnabled());
    EXPECT_FALSE(f.otherTypesBox()->isEnabled() || f.otherTypesEdit()->isEnabled());
    EXPECT_TRUE(f.typeBox(CFileSettings::kJpg)->isChecked());
  });
  EXPECT_EQ(back.downloadAllFiles, 1);
  EXPECT_EQ(back.typeGif, 1);
  EXPECT_EQ(back.typeJpg, 1);

  // Opened again, the project keeps "Download all files" (its ticks greyed)
  // and OK without a change does not turn it into a type search.
  const SiteProject again = RunSheet(back, [](CProjProps& s) {
    s.tabs()->setCurrentIndex(kFileTab);
    EXPECT_TRUE(s.files().downloadAllFiles()->isChecked());
    EXPECT_FALSE(s.files().typeBox(CFileSettings::kJpg)->isEnabled());
    EXPECT_TRUE(s.files().typeBox(CFileSettings::kJpg)->isChecked());
    // The "Other types" tick is kept nowhere.
    EXPECT_FALSE(s.files().otherTypesBox()->isChecked());
  });
  EXPECT_EQ(again.downloadAllFiles, 1);
  EXPECT_EQ(again.typeJpg, 1);
}

TEST(DialogProjProps, RunSettingsPairsAndKeptTexts) {
  SiteProject p{};
  p.runWhenRequested = 1;
  p.stopWhenRequested = 0;
  p.stopHour = 6;
  const SiteProject back = RunSheet(p, [](CProjProps& s) {
    s.tabs()->setCurrentIndex(kRunTab);
    RunTimeControls* t = s.run().controls();
    EXPECT_TRUE(t->runWhenRequested()->isChecked());
    EXPECT_TRUE(t->stopRunningAt()->isChecked());
    EXPECT_FALSE(t->startHour()->isEnabled() || t->startMinute()->isEnabled());
    EXPECT_TRUE(t->stopHour()->isEnabled() && t->stopMinute()->isEnabled());
    EXPECT_EQ(t->stopHour()->text(), QStringLiteral("6"));

    Click(t->startRunningAt());
    t->startHour()->clear();
    QTest::keyClicks(t->startHour(), QStringLiteral("8"));
    t->startMinute()->clear();
    QTest::keyClicks(t->startMinute(), QStringLiteral("15"));
    Click(t->runWhenRequested());
    t->stopMinute()->clear();  // an empty box comes back as 0
  });
  EXPECT_EQ(back.runWhenRequested, 1);
  EXPECT_EQ(back.startHour, 8);
  EXPECT_EQ(back.startMinute, 15);
  EXPECT_EQ(back.stopWhenRequested, 0);
  EXPECT_EQ(back.stopMinute, 0);
}

TEST(DialogProjProps, AdvancedMaxDomainCountTakesDigitsOnly) {
  const SiteProject back = RunSheet(SiteProject{}, [](CProjProps& s) {
    s.tabs()->setCurrentIndex(kAdvancedTab);
    QLineEdit* count = s.advanced().maxDomainEdit();
    count->clear();
    QTest::keyClicks(count, QStringLiteral("-1x2 3"));
    EXPECT_EQ(count->text(), QStringLiteral("123"));
    Click(s.advanced().exitDomainBox());
  });
  EXPECT_EQ(back.maxDomainCount, 123);
  EXPECT_EQ(back.exitDomain, 1);
}

// The cookie file is one of the project's options: the sheet shows it on
// Advanced Settings, and hands back the options it has no box for as loaded.
TEST(DialogProjProps, AdvancedSettingsNameTheCookieFileAndOtherOptionsStayAsLoaded) {
  SiteOptions loaded(true, 6);
  loaded.cookieFile = "/home/anna/.mozilla/firefox/x.default/cookies.sqlite";
  loaded.obeyRobots = false;
  loaded.waitSeconds = 3;
  loaded.minWidth = 200;
  loaded.minHeight = 100;
  loaded.maxKb = 900;
  loaded.refetchDeleted = true;
  struct Case {
    const char* name;
    std::function<void(CProjProps&)> act;
    std::string cookieFile;
  };
  const Case cases[] = {
      {"never opened", [](CProjProps&) {}, loaded.cookieFile},
      {"opened and left",
       [&](CProjProps& s) {
         s.tabs()->setCurrentIndex(kAdvancedTab);
         EXPECT_EQ(s.advanced().cookieFileEdit()->text().toStdString(), loaded.cookieFile);
       },
       loaded.cookieFile},
      {"typed",
       [](CProjProps& s) {
         s.tabs()->setCurrentIndex(kAdvancedTab);
         s.advanced().cookieFileEdit()->clear();
         QTest::keyClicks(s.advanced().cookieFileEdit(), QStringLiteral(" /tmp/cookies.txt "));
       },
       "/tmp/cookies.txt"},
      {"emptied",
       [](CProjProps& s) {
         s.tabs()->setCurrentIndex(kAdvancedTab);
         s.advanced().cookieFileEdit()->clear();
       },
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CProjProps sheet(QString::fromLatin1(kWebProjectPropertiesTitle));
    sheet.Load(FullProject(), loaded);
    DialogScript script;
    script.ThenAs<CProjProps>([&](CProjProps& s) {
      c.act(s);
      QTest::mouseClick(s.okButton(), Qt::LeftButton);
    });
    ASSERT_EQ(sheet.exec(), QDialog::Accepted);
    SiteOptions expected = loaded;
    expected.cookieFile = c.cookieFile;
    EXPECT_EQ(sheet.Options(), expected);
  }
}

TEST(DialogProjProps, CancelIsReported) {
  CProjProps sheet(QString::fromLatin1(kAddWebProjectTitle));
  sheet.Load(FullProject());
  DialogScript script;
  script.ThenAs<CProjProps>([](CProjProps& s) { QTest::keyClick(&s, Qt::Key_Escape); });
  EXPECT_EQ(sheet.exec(), QDialog::Rejected);
}

}  // namespace
}  // namespace tvx::ui
