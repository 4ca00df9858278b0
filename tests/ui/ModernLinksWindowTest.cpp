// "Modern link search" through the window: the File Settings page, and a
// project made in the dialog, ticked, run against a loopback site, its files
// in the tree; its options follow it when it is renamed or deleted.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "commands/CommandIds.h"
#include "net/Internet.h"
#include "store/ListFiles.h"
#include "store/Lists.h"
#include "store/SiteOptions.h"
#include "support/Files.h"
#include "support/ListReset.h"
#include "support/TestHttpServer.h"
#include "ui/DialogDriver.h"
#include "ui/MainTestSupport.h"
#include "ui/dialogs/ProjProps.h"
#include "ui/frame/MainFrame.h"
#include "ui/views/DnldList.h"
#include "ui/views/ListPanel.h"
#include "ui/views/TreePanel.h"
#include "workers/WorkerControl.h"

namespace tvx::ui {
namespace {

using test::Click;
using test::DialogScript;
using test::HttpResponse;
constexpr int kFileTab = 1;

TEST(ModernLinksPage, OffUnlessStoredAndHandedBackAsSet) {
  test::E().siteOptions.Reset();
  SiteProject project{};
  SetText(project.name, "Old project");
  project.typeGif = 1;

  // A project without options: unticked, the number greyed at 4; the
  // described controls as they always were.
  CProjProps sheet(QString::fromLatin1(kWebProjectPropertiesTitle));
  sheet.Load(project, test::E().siteOptions.Get("Old project"));
  auto script = std::make_unique<DialogScript>();
  script->ThenAs<CProjProps>([](CProjProps& s) {
    s.tabs()->setCurrentIndex(kFileTab);
    CFileSettings& page = s.files();
    EXPECT_EQ(page.modernLinksBox()->text(), QStringLiteral("Modern link search"));
    EXPECT_FALSE(page.modernLinksBox()->isChecked());
    EXPECT_FALSE(page.transfersBox()->isEnabled());
    EXPECT_EQ(page.transfersBox()->value(), 4);
    EXPECT_EQ(page.transfersBox()->minimum(), 1);
    EXPECT_EQ(page.transfersBox()->maximum(), 16);
    EXPECT_TRUE(page.searchForTypes()->isChecked());
    EXPECT_TRUE(page.typeBox(CFileSettings::kGif)->isChecked());
    EXPECT_GT(page.modernLinksBox()->y(), page.downloadAllFiles()->y()) << "below the types";

    Click(page.modernLinksBox());
    EXPECT_TRUE(page.transfersBox()->isEnabled());
    page.transfersBox()->setValue(6);
    QTest::mouseClick(s.okButton(), Qt::LeftButton);
  });
  ASSERT_EQ(sheet.exec(), QDialog::Accepted);
  script.reset();
  EXPECT_EQ(sheet.Options(), (SiteOptions{true, 6}));

  // A page never opened hands the stored options back unchanged; opened,
  // it shows them.
  for (bool open : {false, true}) {
    CProjProps again(QString::fromLatin1(kWebProjectPropertiesTitle));
    again.Load(project, SiteOptions{true, 9});
    DialogScript answer;
    answer.ThenAs<CProjProps>([open](CProjProps& s) {
      if (open) {
        s.tabs()->setCurrentIndex(kFileTab);
        EXPECT_TRUE(s.files().modernLinksBox()->isChecked());
        EXPECT_TRUE(s.files().transfersBox()->isEnabled());
        EXPECT_EQ(s.files().transfersBox()->value(), 9);
      }
      QTest::mouseClick(s.okButton(), Qt::LeftButton);
    });
    ASSERT_EQ(again.exec(), QDialog::Accepted);
    EXPECT_EQ(again.files().WasShown(), open);
    EXPECT_EQ(again.Options(), (SiteOptions{true, 9}));
  }
}

// The settings of a modern crawl: shown as stored, greyed with Modern link
// search unticked (and kept), handed back as changed; a setting the sheet
// does not show (a cookie file) stays.
TEST(ModernLinksPage, PoliteSettingsAreShownGreyedAndHandedBack) {
  SiteProject project{};
  SetText(project.name, "Polite");
  SiteOptions stored = NewSiteOptions();
  stored.cookieFile = "/home/me/cookies.txt";
  stored.obeyRobots = false;
  stored.waitSeconds = 5;
  stored.minWidth = 100;
  stored.minHeight = 80;
  stored.minKb = 10;
  stored.refetchDeleted = true;
  CProjProps sheet(QString::fromLatin1(kWebProjectPropertiesTitle));
  sheet.Load(project, stored);
  DialogScript script;
  script.ThenAs<CProjProps>([](CProjProps& s) {
    s.tabs()->setCurrentIndex(kFileTab);
    CFileSettings& page = s.files();
    EXPECT_EQ(page.robotsBox()->text(), QStringLiteral("Obey robots.txt"));
    EXPECT_EQ(page.refetchBox()->text(), QStringLiteral("Fetch deleted pictures again"));
    EXPECT_EQ(page.copiesBox()->text(), QStringLiteral("Skip copies across all projects"));
    QStringList labels;
    for (QLabel* label : page.modernOptions()->findChildren<QLabel*>()) labels << label->text();
    for (const char* text :
         {"Wait between requests to a host", "Smallest picture (width \u00d7 height, pixels)",
          "File size (KB) from"})
      EXPECT_TRUE(labels.contains(QString::fromUtf8(text))) << text;
    EXPECT_FALSE(page.robotsBox()->isChecked());
    EXPECT_EQ(page.waitBox()->value(), 5);
    EXPECT_EQ(page.waitBox()->maximum(), 60);
    EXPECT_EQ(page.minWidthEdit()->text(), QStringLiteral("100"));
    EXPECT_EQ(page.minHeightEdit()->text(), QStringLiteral("80"));
    EXPECT_EQ(page.minKbEdit()->text(), QStringLiteral("10"));
    EXPECT_EQ(page.maxKbEdit()->text(), QString()) << "no limit: empty";
    EXPECT_TRUE(page.refetchBox()->isChecked());
    EXPECT_FALSE(page.copiesBox()->isChecked());
    EXPECT_TRUE(page.waitBox()->isEnabled());

    Click(page.modernLinksBox());
    EXPECT_FALSE(page.waitBox()->isEnabled());
    EXPECT_FALSE(page.robotsBox()->isEnabled());
    Click(page.modernLinksBox());
    Click(page.robotsBox());
    page.waitBox()->setValue(7);
    page.minWidthEdit()->clear();
    page.minHeightEdit()->clear();
    QTest::keyClicks(page.maxKbEdit(), QStringLiteral("50x0"));  // digits only
    Click(page.copiesBox());
    QTest::mouseClick(s.okButton(), Qt::LeftButton);
  });
  ASSERT_EQ(sheet.exec(), QDialog::Accepted);
  SiteOptions expected = stored;
  expected.obeyRobots = true;
  expected.waitSeconds = 7;
  expected.minWidth = expected.minHeight = 0;
  expected.maxKb = 500;
  expected.copiesAcrossProjects = true;
  EXPECT_EQ(sheet.Options(), expected);
}

class ModernLinksWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ResetLists();
    test::E().siteOptions.Reset();
    net::ClientLimits::stallTimeoutMs = 5000;
    frame = std::make_unique<CMainFrame>(test::E());
    frame->OnInitialUpdate();
    frame->resize(1000, 700);
    frame->show();
    frame->TreePanel()->SwitchTo("Web Sites");
  }
  void TearDown() override {
    EXPECT_TRUE(QTest::qWaitFor([] { return test::E().workers.Live() == 0; }, 30000));
    frame.reset();
    test::ResetLists();
    test::E().siteOptions.Reset();
    net::ClientLimits::stallTimeoutMs = 60000;
  }
  void SelectOnly(int row) {
    frame->ListPanel()->clearSelection();
    frame->ListPanel()->SetRowSelected(row, true);
  }

  test::ScopedWorkDir workDir;
  test::ShellOpens opens;
  test::MessageAnswers answers;  // "Yes" to every question
  test::TestHttpServer http;
  std::unique_ptr<CMainFrame> frame;
};

TEST_F(ModernLinksWindow, ProjectMadeInTheDialogCrawlsTodaysGallery) {
  http.Serve("/", HttpResponse::Html("<html><body><img src=\"Photos/IMG_0001.JPG\">"
                                     "<img data-src=\"Photos/img_0001.jpg\" "
                                     "srcset=\"Photos/Big.JPG 2x\"></body></html>"));
  for (const char* path : {"/Photos/IMG_0001.JPG", "/Photos/img_0001.jpg", "/Photos/Big.JPG"})
    http.Serve(path, HttpResponse::Ok(std::string("JFIF") + path, "image/jpeg"));

  DialogScript script;
  script.ThenAs<CProjProps>([&](CProjProps& s) {
    s.general().nameEdit()->setText(QStringLiteral("Today"));
    s.general().addressEdit()->setText(QString::fromStdString(http.Url("/")));
    s.tabs()->setCurrentIndex(kFileTab);
    Click(s.files().searchForTypes());
    Click(s.files().typeBox(CFileSettings::kJpg));
    EXPECT_TRUE(s.files().modernLinksBox()->isChecked()) << "a new project is modern";
    QTest::mouseClick(s.okButton(), Qt::LeftButton);
  });
  frame->RouteCommand(kCmdAddWebSite);
  ASSERT_TRUE(script.AllStepsRun());
  ASSERT_EQ(frame->ListPanel()->RowCount(), 1);
  EXPECT_EQ(test::E().siteOptions.Get("Today"), (SiteOptions{true, 8}));

  SelectOnly(0);
  frame->RouteCommand(kCmdDownloadSelected);
  ASSERT_TRUE(QTest::qWaitFor([] { return test::E().workers.Live() == 0; }, 30000));
  for (const char* path : {"Photos/IMG_0001.JPG", "Photos/img_0001.jpg", "Photos/Big.JPG"})
    EXPECT_EQ(test::ReadFile(std::string("Pictures/Today/") + path), std::string("JFIF/") + path);
  EXPECT_EQ(test::E().lists.downloadedSites.GetCount(), 1);
  QTreeWidget* tree = frame->DnldList();
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  EXPECT_EQ(tree->topLevelItem(0)->text(0), "Today");
  EXPECT_EQ(tree->topLevelItem(0)->childCount(), 3);

  // Kept when the project moved to the downloaded sites; saved beside the lists.
  test::E().Store().SaveAll();
  EXPECT_EQ(test::ReadFile(kSiteOptionsFile), "1 8 Today\r\n");
}

TEST_F(ModernLinksWindow, OptionsFollowARenameAndGoWithADeletedProject) {
  SiteProject p{};
  SetText(p.name, "Before");
  SetText(p.startUrl, "http://127.0.0.1/");
  p.runWhenRequested = 1;
  p.stopWhenRequested = 1;
  test::E().lists.requestedSites.Add(p);
  test::E().siteOptions.Set("Before", {true, 7});
  frame->TreePanel()->SwitchTo("Files");
  frame->TreePanel()->SwitchTo("Web Sites");
  SelectOnly(0);

  DialogScript script;
  script.ThenAs<CProjProps>([](CProjProps& s) {
    s.general().nameEdit()->setText(QStringLiteral("After"));
    QTest::mouseClick(s.okButton(), Qt::LeftButton);
  });
  frame->RouteCommand(kCmdProperties);
  ASSERT_TRUE(script.AllStepsRun());
  EXPECT_EQ(test::E().siteOptions.Get("After"), (SiteOptions{true, 7}));
  EXPECT_EQ(test::E().siteOptions.Get("Before"), SiteOptions{});

  SelectOnly(0);
  frame->RouteCommand(kCmdDeleteEntry);
  EXPECT_EQ(test::E().lists.requestedSites.GetCount(), 0);
  EXPECT_EQ(test::E().siteOptions.Get("After"), SiteOptions{});
}

}  // namespace
}  // namespace tvx::ui
