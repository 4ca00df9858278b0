// The application object: start-up, quitting (the save step) and the About box.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/AboutDlg.h"
#include "app/TavrinoxApp.h"
#include "commands/CommandIds.h"
#include "store/ListFiles.h"
#include "store/Lists.h"
#include "support/ListReset.h"
#include "ui/DialogDriver.h"
#include "ui/MainTestSupport.h"
#include "ui/dialogs/StartDlg.h"
#include "ui/frame/MainFrame.h"
#include "ui/views/ListPanel.h"
#include "workers/WorkerControl.h"

namespace tvx::ui {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> FilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class MainApp : public ::testing::Test {
 protected:
  void SetUp() override { test::ResetLists(kListSearchResults); }
  void TearDown() override {
    app.reset();
    test::ResetLists();
  }

  // Starts the program, leaving the start-up question with "Proceed".
  void Start() {
    test::DialogScript script;
    script.ThenAs<CStartDlg>(
        [](CStartDlg& d) { QTest::mouseClick(d.proceedButton(), Qt::LeftButton); });
    app = std::make_unique<CTavrinoxApp>(test::E());
    ASSERT_TRUE(app->InitInstance());
    EXPECT_TRUE(script.AllStepsRun());
  }
  fs::path Dir() const { return workDir.Dir().Path(); }

  test::ScopedWorkDir workDir;
  test::ShellOpens opens;
  std::unique_ptr<CTavrinoxApp> app;
};

TEST_F(MainApp, StartsMaximisedWithItsTitleAndQuitsWithoutCreatingFiles) {
  Start();
  CMainFrame* frame = app->MainFrame();
  EXPECT_EQ(frame->windowTitle(), "Quillanto for pictures");
  EXPECT_TRUE(frame->isVisible());
  EXPECT_TRUE(frame->windowState() & Qt::WindowMaximized);
  EXPECT_EQ(QCoreApplication::organizationName(), "Local AppWizard-Generated Applications");
  EXPECT_EQ(QCoreApplication::applicationName(), "Tavrinox");
  EXPECT_EQ(frame->Shown().Shown(), kListRequestedFiles);
  EXPECT_EQ(frame->ListPanel()->RowCount(), 0);

  EXPECT_EQ(app->ExitInstance(7), 7);
  EXPECT_TRUE(FilesIn(Dir()).empty());
}

TEST_F(MainApp, ListFilesAreShownAndLeftUntouchedWhenNothingChanges) {
  const std::string files = "http://a/1.jpg\r\nhttp://a/2.jpg\n\nhttp://a/3.jpg\r\n";
  const std::string sites =
      "Holiday pictures\r\nhttp://h/\r\n0\r\n0 1 1 0 0 0 0\r\n0 30 22\r\n1 0 0\r\n5 0 1\r\n*\r\n";
  workDir.Dir().Write("reqpics.data", files);
  workDir.Dir().Write("reqpicwebs.data", sites);
  const auto stamp = fs::last_write_time(Dir() / "reqpics.data");

  Start();
  CListPanel* list = app->MainFrame()->ListPanel();
  ASSERT_EQ(list->RowCount(), 3);
  EXPECT_EQ(list->RowText(0, 0), "http://a/3.jpg");
  EXPECT_EQ(list->RowText(2, 0), "http://a/1.jpg");
  EXPECT_EQ(list->RowText(0, 1), "Ready for download");
  EXPECT_EQ(test::E().lists.requestedSites.GetCount(), 1);

  app->ExitInstance(0);
  EXPECT_EQ(FilesIn(Dir()), (std::vector<std::string>{"reqpics.data", "reqpicwebs.data"}));
  EXPECT_EQ(ReadBytes(Dir() / "reqpics.data"), files);
  EXPECT_EQ(ReadBytes(Dir() / "reqpicwebs.data"), sites);
  EXPECT_EQ(fs::last_write_time(Dir() / "reqpics.data"), stamp);
}

TEST_F(MainApp, ChangedListsAreSavedAndSaveErrorsShownInABox) {
  Start();
  test::E().lists.requestedFiles.AddUrl("http://a/new.jpg");
  test::E().lists.downloadedFiles.AddUrl("http://a/done.jpg");
  test::MessageAnswers answers;
  test::E().Store().SetWriteFaultForTest("dnldpics.data");
  app->ExitInstance(0);
  test::E().Store().SetWriteFaultForTest("");
  EXPECT_EQ(ReadBytes(Dir() / "reqpics.data"), "http://a/new.jpg\r\n");
  EXPECT_FALSE(fs::exists(Dir() / "dnldpics.data"));
  EXPECT_EQ(answers.texts, QStringList{"Error saving the 'Requested Files' list!"});
}

TEST_F(MainApp, QuittingSavesWhileWorkersRunOrSitPaused) {
  Start();
  const ItemId running = test::E().lists.requestedFiles.AddUrl("http://a/running.jpg");
  const ItemId paused = test::E().lists.requestedFiles.AddUrl("http://a/paused.jpg");
  std::atomic<bool> release{false};
  std::atomic<int> started{0};
  auto body = [&](WorkerEnv& env) {
    ++started;
    // Works through the lists and the windows until told to end.
    while (!release.load()) {
      env.Checkpoint();
      test::E().lists.requestedFiles.Find("http://a/running.jpg");
      env.OnUi([&] { env.reporter.SetStatusText(StatusField::Status, "No errors"); });
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  };
  auto launch = [&](ItemId id) {
    return test::E().workers.Launch(test::E(), WorkerKind::File, {kListRequestedFiles, id}, "x",
                                    kFileStack, body);
  };
  ASSERT_NE(launch(running), nullptr);
  ASSERT_NE(launch(paused), nullptr);
  QTRY_COMPARE_WITH_TIMEOUT(started.load(), 2, 10000);
  test::E().workers.Find(WorkerKind::File, paused)->Gate().Pause();

  // Workers that never end are given their moment, no more: the way out
  // ends whatever they do.
  app->ExitInstance(0);
  EXPECT_EQ(ReadBytes(Dir() / "reqpics.data"), "http://a/running.jpg\r\nhttp://a/paused.jpg\r\n");

  release = true;
  if (auto worker = test::E().workers.Find(WorkerKind::File, paused)) worker->Gate().Resume();
  QTRY_COMPARE_WITH_TIMEOUT(test::E().workers.Live(), 0, 10000);
}

// The start-up question comes before the main window shows; it and the
// dialogs it leads to used to open at the top-left corner of the screen.
TEST_F(MainApp, StartupQuestionAndItsDialogsAreCentredOnTheScreen) {
  const QPoint middle = QGuiApplication::primaryScreen()->availableGeometry().center();
  std::vector<QPoint> centres;
  test::DialogScript script;
  script.ThenAs<CStartDlg>([&](CStartDlg& d) {
    centres.push_back(d.frameGeometry().center());
    QTest::mouseClick(d.choiceButton(CStartDlg::kWebSiteProject), Qt::LeftButton);
    QTest::mouseClick(d.proceedButton(), Qt::LeftButton);
  });
  script.Then([&](QWidget* sheet) {
    centres.push_back(sheet->frameGeometry().center());
    qobject_cast<QDialog*>(sheet)->reject();
  });
  app = std::make_unique<CTavrinoxApp>(test::E());
  ASSERT_TRUE(app->InitInstance());
  EXPECT_TRUE(script.AllStepsRun());
  ASSERT_EQ(centres.size(), 2u);
  for (const QPoint& centre : centres) EXPECT_LE((centre - middle).manhattanLength(), 4);
}

// The box that reports an unreadable list file at start-up comes before the
// main window shows, as the start-up question does, and is centred as it is.
TEST_F(MainApp, StartupErrorBoxIsCentredOnTheScreen) {
  fs::create_directory(Dir() / "reqpics.data");
  const QPoint middle = QGuiApplication::primaryScreen()->availableGeometry().center();
  std::vector<QPoint> centres;
  QStringList texts;
  test::DialogScript script;
  script.ThenAs<QMessageBox>([&](QMessageBox& box) {
    centres.push_back(box.frameGeometry().center());
    texts << box.text();
    box.accept();
  });
  script.ThenAs<CStartDlg>([&](CStartDlg& d) {
    centres.push_back(d.frameGeometry().center());
    QTest::mouseClick(d.proceedButton(), Qt::LeftButton);
  });
  app = std::make_unique<CTavrinoxApp>(test::E());
  ASSERT_TRUE(app->InitInstance());
  EXPECT_TRUE(script.AllStepsRun());
  ASSERT_EQ(texts.size(), 1);
  EXPECT_TRUE(texts[0].contains("'reqpics.data'")) << texts[0].toStdString();
  ASSERT_EQ(centres.size(), 2u);
  for (const QPoint& centre : centres) EXPECT_LE((centre - middle).manhattanLength(), 4);
}

TEST_F(MainApp, AnUnreadableListIsShownAtStartAndNeverReplaced) {
  fs::create_directory(Dir() / "reqpicsearch.data");
  workDir.Dir().Write("reqpics.data", "http://a/1.jpg\r\n");
  test::MessageAnswers answers;
  Start();
  ASSERT_EQ(answers.texts.size(), 1);
  EXPECT_TRUE(answers.texts[0].contains("'reqpicsearch.data'")) << answers.texts[0].toStdString();
  EXPECT_TRUE(answers.texts[0].contains(QString::fromLocal8Bit(std::strerror(EISDIR))));
  EXPECT_EQ(test::E().lists.requestedFiles.GetCount(), 1);

  SearchProject project{};
  SetText(project.name, "Cats");
  test::E().lists.searchProjects.Add(project);
  EXPECT_TRUE(app->StartBackgroundSave());
  app->ExitInstance(0);
  EXPECT_TRUE(fs::is_directory(Dir() / "reqpicsearch.data"));
  EXPECT_EQ(answers.texts.size(), 1) << "no save error for it either";
}

TEST_F(MainApp, ChangedListsAreSavedInTheBackgroundWhileItRuns) {
  Start();
  test::MessageAnswers answers;
  app->SetAutoSaveInterval(std::chrono::milliseconds(20));
  test::E().lists.requestedFiles.AddUrl("http://a/new.jpg");
  QTRY_COMPARE_WITH_TIMEOUT(ReadBytes(Dir() / "reqpics.data"), std::string("http://a/new.jpg\r\n"),
                            10000);
  // A list that cannot be written is shown once, not at every round.
  test::E().Store().SetWriteFaultForTest("dnldpics.data");
  test::E().lists.downloadedFiles.AddUrl("http://a/done.jpg");
  QTRY_COMPARE_WITH_TIMEOUT(answers.texts.size(), 1, 10000);
  EXPECT_EQ(answers.texts[0], "Error saving the 'Requested Files' list!");
  test::E().lists.requestedFiles.AddUrl("http://a/second.jpg");
  QTRY_COMPARE_WITH_TIMEOUT(ReadBytes(Dir() / "reqpics.data"),
                            std::string("http://a/new.jpg\r\nhttp://a/second.jpg\r\n"), 10000);
  QTest::qWait(200);
  EXPECT_EQ(answers.texts.size(), 1);
  test::E().Store().SetWriteFaultForTest("");
  app->ExitInstance(0);
  EXPECT_EQ(ReadBytes(Dir() / "dnldpics.data"), "http://a/done.jpg\r\n");
}

TEST_F(MainApp, ExitCommandClosesTheMainWindow) {
  Start();
  CMainFrame* frame = app->MainFrame();
  frame->RouteCommand(kCmdAppExit);
  EXPECT_FALSE(frame->isVisible());
}

TEST_F(MainApp, AboutBoxClosesOnlyWithOk) {
  Start();
  const QUrl products = QUrl::fromUserInput(CAboutDlg::kProductsPage);
  EXPECT_EQ(products.path(), "/products.htm");
  EXPECT_EQ(QString(CAboutDlg::kProductsPage).indexOf("://"), -1);

  QStringList texts;
  bool stayedOpen = false;
  test::DialogScript script;
  script.ThenAs<CAboutDlg>([&](CAboutDlg& d) {
    EXPECT_EQ(d.windowTitle(), "About Quillanto for Pictures");
    for (QLabel* label : d.findChildren<QLabel*>())
      if (!label->text().isEmpty()) texts << label->text();
    EXPECT_TRUE(d.OkButton()->isDefault());
    QTest::keyClick(&d, Qt::Key_Escape);
    d.close();
    QTest::mouseClick(d.ProductsButton(), Qt::LeftButton);
    stayedOpen = d.isVisible();
    QTest::mouseClick(d.OkButton(), Qt::LeftButton);
  });
  app->MainFrame()->RouteCommand(kCmdAppAbout);
  EXPECT_TRUE(script.AllStepsRun());
  EXPECT_TRUE(stayedOpen);
  EXPECT_TRUE(texts.contains("Quillanto for pictures v1.0"));
  EXPECT_TRUE(texts.contains("The ultimate picture download tool"));
  EXPECT_EQ(texts.size(), 6);  // two lines and four products
  EXPECT_EQ(opens.urls, (std::vector<QUrl>(3, products)));
}

}  // namespace
}  // namespace tvx::ui
