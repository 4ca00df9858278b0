// Seeing the saved pictures: thumbnails in the shared cache, the tooltip of
// the downloaded-files tree, the Preview pane; and the overall rate.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCryptographicHash>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHelpEvent>
#include <QImageReader>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <atomic>
#include <mutex>
#include <thread>

#include "store/Lists.h"
#include "support/RecordingReporter.h"
#include "ui/MainTestSupport.h"
#include "ui/PictureFiles.h"
#include "ui/frame/MainFrame.h"
#include "ui/frame/RateIndicator.h"
#include "ui/views/DnldList.h"
#include "ui/views/PictureDecode.h"
#include "ui/views/PreviewPane.h"
#include "ui/views/Thumbnails.h"
#include "workers/WorkerControl.h"

namespace tvx::ui {
namespace {

int ModeOf(const QString& path) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0) return -1;
  return static_cast<int>(info.st_mode & 0777);
}

// A private thumbnail cache and working folder for each test.
class SavedPictures : public ::testing::Test {
 protected:
  void SetUp() override {
    oldCache_ = qEnvironmentVariable("XDG_CACHE_HOME");
    cache_ = QString::fromStdString((workDir_.Dir().Path() / "cache").string());
    qputenv("XDG_CACHE_HOME", cache_.toUtf8());
    QDir().mkpath("Pictures/proj");
  }
  void TearDown() override { qputenv("XDG_CACHE_HOME", oldCache_.toUtf8()); }

  // Saves a picture below Pictures/proj and returns its absolute path.
  QString SavePicture(const QString& name, QSize size, const char* format = "PNG") {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    const QString path = QDir::current().absoluteFilePath("Pictures/proj/" + name);
    EXPECT_TRUE(image.save(path, format));
    return path;
  }

  test::ScopedWorkDir workDir_;
  QString cache_, oldCache_;
};

TEST_F(SavedPictures, ThumbnailsGoIntoTheSharedCacheAndAreUsedWhileTheFileIsUnchanged) {
  const QString wide = SavePicture("wide.png", QSize(1000, 500));
  const QString small = SavePicture("small.png", QSize(40, 30));
  const QString root = ThumbnailRoot();
  EXPECT_EQ(root, cache_ + "/thumbnails");

  ThumbInfo info = FindOrMakeThumbnail(root, wide);
  ASSERT_FALSE(info.failed);
  EXPECT_EQ(info.pixels, QSize(1000, 500));
  EXPECT_EQ(info.thumbFile, LargeThumbnailPath(root, wide));
  EXPECT_EQ(QImageReader(info.thumbFile, "png").size(), QSize(256, 128)) << "longest side 256";
  const auto keys = PngTexts(info.thumbFile);
  EXPECT_EQ(keys.value("Thumb::URI"), "file://" + wide);
  EXPECT_EQ(keys.value("Thumb::MTime"),
            QString::number(QFileInfo(wide).lastModified().toSecsSinceEpoch()));
  EXPECT_EQ(keys.value("Thumb::Size"), QString::number(QFileInfo(wide).size()));
  EXPECT_EQ(keys.value("Thumb::Image::Width"), "1000");
  EXPECT_EQ(keys.value("Thumb::Image::Height"), "500");
  const QString md5 =
      QCryptographicHash::hash(("file://" + wide).toUtf8(), QCryptographicHash::Md5).toHex();
  EXPECT_EQ(QFileInfo(info.thumbFile).fileName(), md5 + ".png");
  EXPECT_EQ(ModeOf(info.thumbFile), 0600);
  for (const char* folder : {"/thumbnails", "/thumbnails/large"})
    EXPECT_EQ(ModeOf(cache_ + folder), 0700);
  EXPECT_EQ(QImageReader(FindOrMakeThumbnail(root, small).thumbFile).size(), QSize(40, 30))
      << "never enlarged";

  // Found again without decoding: a marked entry is taken as it stands.
  QImage marked(info.thumbFile);
  marked.setText("Thumb::Image::Width", "777");
  marked.save(info.thumbFile);
  EXPECT_EQ(FindOrMakeThumbnail(root, wide).pixels.width(), 777);
  // A newer file is made again.
  {
    QFile touch(wide);
    ASSERT_TRUE(touch.open(QIODevice::ReadWrite));
    touch.setFileTime(QFileInfo(wide).lastModified().addSecs(60),
                      QFileDevice::FileModificationTime);
  }
  EXPECT_EQ(FindOrMakeThumbnail(root, wide).pixels.width(), 1000);

  // What Qt cannot decode is recorded as a failure and only sized.
  QFile broken("Pictures/proj/broken.jpg");
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("not a picture at all");
  broken.close();
  const QString brokenPath = QFileInfo(broken).absoluteFilePath();
  info = FindOrMakeThumbnail(root, brokenPath);
  EXPECT_TRUE(info.failed);
  EXPECT_EQ(info.bytes, 20);
  EXPECT_TRUE(QFileInfo::exists(FailedThumbnailPath(root, brokenPath)));
  EXPECT_TRUE(FailedThumbnailPath(root, brokenPath).contains("/thumbnails/fail/tavrinox-1.0/"));
}

TEST_F(SavedPictures, TreeTooltipShowsTheThumbnailWithPixelAndByteSize) {
  const QString pic = SavePicture("a.png", QSize(800, 600));
  SavePicture("b.jpg", QSize(10, 10));
  QFile::resize("Pictures/proj/b.jpg", 5);  // cut: no longer decodable
  CDnldList tree;
  tree.OnInitialUpdate();
  const ProjectNode node = tree.FindOrAddProject("proj");
  tree.AddFile(node, "Pictures\\proj\\a.png");
  tree.AddFile(node, "Pictures\\proj\\b.jpg");
  tree.AddFile(node, "Pictures\\proj\\gone.jpg");
  QTreeWidgetItem* project = tree.topLevelItem(0);

  EXPECT_EQ(tree.FileOfItem(project->child(0)), pic);
  EXPECT_EQ(tree.ToolTipFor(project), "") << "projects have none";
  EXPECT_EQ(tree.ToolTipFor(project->child(2)), "") << "nor files that are gone";
  const QString bytes = FormatByteSize(static_cast<double>(QFileInfo(pic).size()));
  EXPECT_EQ(tree.ToolTipFor(project->child(0)), bytes) << "while the thumbnail is made";
  tree.ToolTipFor(project->child(1));
  ASSERT_TRUE(QTest::qWaitFor([&] { return tree.ToolTipFor(project->child(0)) != bytes; }, 10000));
  const QString tip = tree.ToolTipFor(project->child(0));
  EXPECT_TRUE(tip.contains("<img src=\"file://" + cache_ + "/thumbnails/large/"))
      << tip.toStdString();
  EXPECT_TRUE(tip.contains(QString::fromUtf8("800 \u00d7 600 pixels")));
  EXPECT_TRUE(tip.endsWith(bytes));
  ASSERT_TRUE(QTest::qWaitFor([&] { return tree.Thumbnails().WaitIdle(100); }, 10000));
  QCoreApplication::processEvents();
  EXPECT_EQ(tree.ToolTipFor(project->child(1)), "5 bytes") << "cannot be decoded: size only";
}

// Hidden at first; F3 shows it with the chosen file; the arrow keys move
// through the tree's files and the pane follows.
TEST_F(SavedPictures, PreviewPaneFollowsTheTreeAndStartsHidden) {
  SavePicture("one.png", QSize(1200, 900));
  SavePicture("two.jpg", QSize(300, 200), "JPEG");
  test::ResetLists();
  CMainFrame frame(test::E());
  frame.OnInitialUpdate();
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  CPreviewPane* pane = frame.PreviewPane();
  EXPECT_FALSE(pane->isVisible());
  EXPECT_FALSE(frame.RatePane()->isVisible());
  for (QAction* menu : frame.menuBar()->actions()) EXPECT_NE(menu->text(), "&View");

  CDnldList* tree = frame.DnldList();
  const ProjectNode node = tree->FindOrAddProject("proj");
  tree->AddFile(node, "Pictures\\proj\\one.png");
  tree->AddFile(node, "Pictures\\proj\\two.jpg");
  tree->setFocus();
  tree->setCurrentItem(tree->topLevelItem(0)->child(0));
  frame.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
  QTest::keyClick(tree, Qt::Key_F3);
  ASSERT_TRUE(pane->isVisible());
  EXPECT_TRUE(frame.PreviewAction()->isChecked());
  EXPECT_EQ(frame.PreviewAction()->text(), "Preview");
  EXPECT_EQ(pane->NameText()->text(), "one.png");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !pane->Picture()->pixmap().isNull(); }, 10000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !pane->Decoding(); }, 10000));
  const QSize shown = pane->Picture()->pixmap().size();
  EXPECT_LE(shown.width(), pane->Picture()->width());
  EXPECT_LE(shown.height(), pane->Picture()->height());
  EXPECT_NEAR(double(shown.width()) / shown.height(), 4.0 / 3.0, 0.02) << "scaled to fit";
  EXPECT_TRUE(pane->SizeText()->text().startsWith(QString::fromUtf8("1200 \u00d7 900 pixels, ")));

  QTest::keyClick(tree, Qt::Key_Down);
  EXPECT_EQ(pane->NameText()->text(), "two.jpg");
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return pane->SizeText()->text().startsWith(QString::fromUtf8("300 \u00d7 200")); },
      10000));
  QTest::keyClick(tree, Qt::Key_F3);
  EXPECT_FALSE(pane->isVisible());
}

// The gaps between two turns of the window's event loop, while it lives.
class StallProbe {
 public:
  StallProbe() {
    clock_.start();
    timer_.setInterval(0);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.elapsed();
      longest_ = std::max(longest_, now - last_);
      last_ = now;
    });
    timer_.start();
  }
  qint64 LongestMs() const { return std::max(longest_, clock_.elapsed() - last_); }

 private:
  QElapsedTimer clock_;
  QTimer timer_;
  qint64 last_ = 0;
  qint64 longest_ = 0;
};

// A picture within the pixel budget is decoded to fit; past it, only where
// the reader shrinks it while decoding (JPEG), else it is too large to
// preview; an abandoned decode gives nothing and records nothing.
TEST_F(SavedPictures, DecodesKeepToThePixelBudget) {
  const QString small = SavePicture("small.png", QSize(400, 300));
  const QString huge = QDir::current().absoluteFilePath("Pictures/proj/huge.png");
  ASSERT_TRUE(test::WriteBlackPng(huge, 60000, 60000));
  const QString hollow = QDir::current().absoluteFilePath("Pictures/proj/hollow.jpg");
  ASSERT_TRUE(test::WriteHollowJpeg(hollow, 12000, 9000));
  std::atomic<bool> abandoned{true};
  using Outcome = DecodedPicture::Outcome;
  const struct {
    QString file;
    const std::atomic<bool>* abandon;
    Outcome outcome;
    QSize pixels, image;
  } cases[] = {
      {small, nullptr, Outcome::Decoded, {400, 300}, {200, 150}},
      {huge, nullptr, Outcome::TooLarge, {60000, 60000}, {}},
      {hollow, nullptr, Outcome::Decoded, {12000, 9000}, {200, 150}},
      {small, &abandoned, Outcome::Abandoned, {}, {}},
      {QDir::current().absoluteFilePath("Pictures/proj/gone.png"),
       nullptr,
       Outcome::Missing,
       {},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.toStdString());
    const DecodedPicture got = DecodeToFit(c.file, QSize(200, 200), c.abandon);
    EXPECT_EQ(int(got.outcome), int(c.outcome));
    if (c.pixels.isValid()) {
      EXPECT_EQ(got.pixels, c.pixels);
    }
    EXPECT_EQ(got.image.isNull() ? QSize() : got.image.size(), c.image);
  }

  // The thumbnail of a picture too large is recorded as a failure with its
  // pixel size, and found so again; an abandoned one leaves no trace.
  const QString root = ThumbnailRoot();
  for (int again = 0; again < 2; ++again) {
    const ThumbInfo info = FindOrMakeThumbnail(root, huge);
    EXPECT_TRUE(info.failed && info.tooLarge);
    EXPECT_EQ(info.pixels, QSize(60000, 60000));
  }
  EXPECT_TRUE(QFileInfo::exists(FailedThumbnailPath(root, huge)));
  EXPECT_TRUE(FindOrMakeThumbnail(root, small, nullptr, &abandoned).failed);
  EXPECT_FALSE(QFileInfo::exists(FailedThumbnailPath(root, small)));
  EXPECT_FALSE(QFileInfo::exists(LargeThumbnailPath(root, small)));
}

// The Preview of a 60000 x 60000 PNG (a valid file whose decode used to take
// most of a minute, made again at every resize) says it is too large, and the
// window goes on answering while it is resized. Only a gross stall fails:
// the machine may be busy, the fault held the window for minutes.
TEST_F(SavedPictures, PreviewOfAHugePictureNeverHoldsUpTheWindow) {
  ASSERT_TRUE(test::WriteBlackPng(QDir::current().absoluteFilePath("Pictures/proj/huge.png"), 60000,
                                  60000));
  SavePicture("small.png", QSize(300, 200));
  test::ResetLists();
  CMainFrame frame(test::E());
  frame.OnInitialUpdate();
  frame.resize(900, 600);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  CDnldList* tree = frame.DnldList();
  const ProjectNode node = tree->FindOrAddProject("proj");
  tree->AddFile(node, "Pictures\\proj\\huge.png");
  tree->AddFile(node, "Pictures\\proj\\small.png");
  tree->setCurrentItem(tree->topLevelItem(0)->child(0));
  CPreviewPane* pane = frame.PreviewPane();

  StallProbe probe;
  frame.PreviewAction()->trigger();
  for (int i = 1; i <= 6; ++i) {
    frame.resize(900 + 40 * i, 600 + 30 * (i % 2));
    QTest::qWait(150);
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return pane->Picture()->text() == TooLargeText(); }, 20000));
  EXPECT_TRUE(pane->SizeText()->text().startsWith(QString::fromUtf8("60000 \u00d7 60000 pixels, ")))
      << pane->SizeText()->text().toStdString();
  tree->setCurrentItem(tree->topLevelItem(0)->child(1));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !pane->Picture()->pixmap().isNull(); }, 20000));
  EXPECT_LT(probe.LongestMs(), 2000) << "the window's thread was held up";
  EXPECT_TRUE(pane->WaitIdle(20000));
}

// One decode at a time: a job submitted while another waits replaces it, and
// the running one is told to stop.
TEST(LatestOnlyRunner, ASupersededJobNeverStartsAndTheRunningOneIsAbandoned) {
  LatestOnlyRunner runner;
  std::mutex mutex;
  QString ran;
  std::atomic<bool> started{false}, release{false}, sawAbandon{false};
  auto record = [&](QChar job) {
    std::lock_guard lock(mutex);
    ran += job;
  };
  runner.Submit([&](const std::atomic<bool>& abandon) {
    started = true;
    for (int i = 0; i < 2000 && !release; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    sawAbandon = abandon.load();
    record('A');
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return started.load(); }, 10000));
  runner.Submit([&](const std::atomic<bool>&) { record('B'); });
  runner.Submit([&](const std::atomic<bool>&) { record('C'); });
  release = true;
  ASSERT_TRUE(runner.WaitIdle(20000));
  EXPECT_TRUE(sawAbandon);
  EXPECT_EQ(ran, "AC");
}

TEST(RatePane, ShowsTheRateOnlyWhileWorkersRun) {
  EXPECT_EQ(RateText(812), "812 bytes/s");
  EXPECT_EQ(RateText(1.2 * 1024 * 1024), "1.2 MB/s");
  CRateIndicator rate;
  test::EngineFixture fx;
  rate.SetWorkers(&test::E().workers);
  rate.Sample();
  EXPECT_TRUE(rate.isHidden()) << "no worker runs";
  std::atomic<bool> release{false};
  auto worker = test::E().workers.Launch(
      test::E(), WorkerKind::File, {kListRequestedFiles, 1}, "x", kFileStack, [&](WorkerEnv&) {
        while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      });
  ASSERT_NE(worker, nullptr);
  rate.Sample();
  EXPECT_FALSE(rate.isHidden());
  EXPECT_TRUE(rate.text().endsWith("/s")) << rate.text().toStdString();
  release = true;
  ASSERT_TRUE(test::WaitForWorkers());
  rate.Sample();
  EXPECT_TRUE(rate.isHidden());
}

}  // namespace
}  // namespace tvx::ui
