// The gallery, driven through its widgets: every saved picture grouped by
// folder in the chosen order, following the disk, making only what is in
// view, and what the user does with pictures (open, show, copy, drag, trash).
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QToolBar>

#include "commands/CommandIds.h"
#include "support/ListReset.h"
#include "ui/DialogDriver.h"
#include "ui/MainTestSupport.h"
#include "ui/frame/MainFrame.h"
#include "ui/views/Gallery.h"
#include "ui/views/PreviewPane.h"
#include "ui/views/Thumbnails.h"

namespace tvx::ui {
namespace {

// A working folder, a thumbnail cache and a home with its trash of the
// test's own (the trash used is the one on the pictures' disk).
class GalleryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) {
      saved_.push_back({name, qgetenv(name)});
      const QString folder = QDir::current().absoluteFilePath(QString::fromLatin1(name).toLower());
      QDir().mkpath(folder);
      qputenv(name, folder.toUtf8());
    }
    QDir().mkpath("Pictures");
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) qputenv(name, value);
  }

  static QString Abs(const QString& below) {
    return QDir::current().absoluteFilePath("Pictures/" + below);
  }
  // Saves a picture below Pictures, padded to bytes, last changed age
  // seconds ago.
  static QString Save(const QString& below, QSize size, QColor color, int age, int bytes = 0) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, below.endsWith(".jpg") ? "JPEG" : "PNG"));
    if (bytes > data.size()) data.append(QByteArray(bytes - data.size(), '\0'));
    return Write(below, data, age);
  }
  static QString Write(const QString& below, const QByteArray& data, int age = 0) {
    const QString path = Abs(below);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.flush();  // so that closing writes nothing, and leaves the time as set
    if (age > 0)
      file.setFileTime(QDateTime::currentDateTime().addSecs(-age),
                       QFileDevice::FileModificationTime);
    return path;
  }
  // The rows as shown: "#" and a header's text, or a picture's name.
  static QStringList Rows(const CGallery& gallery) {
    QStringList rows;
    const CGalleryModel& model = *gallery.Model();
    for (int row = 0; row < model.rowCount(); ++row)
      rows << (model.PictureAt(row) ? model.PictureAt(row)->name : "#" + model.HeaderText(row));
    return rows;
  }
  static bool ShowsRows(const CGallery& gallery, const QStringList& rows) {
    return QTest::qWaitFor([&] { return Rows(gallery) == rows; }, 20000);
  }
  static QPoint Centre(CGallery& gallery, const QString& below) {
    return gallery.List()->visualRect(gallery.Model()->IndexOf(below)).center();
  }

  test::ScopedWorkDir workDir_;
  std::vector<std::pair<const char*, QByteArray>> saved_;
};

TEST_F(GalleryTest, ShowsEveryPictureGroupedByFolderInTheChosenOrder) {
  Save("top.png", {40, 30}, Qt::red, 600, 5000);
  Save("holiday/beach.jpg", {400, 300}, Qt::blue, 60, 9000);
  Save("holiday/2024/dusk.png", {100, 100}, Qt::green, 1800, 2000);
  Save("cats/tom.png", {800, 600}, Qt::yellow, 300, 7000);
  Write("cats/kit.png.part", "partial");
  Write("cats/kit.png.part.resume", "note");
  CGallery gallery;
  gallery.resize(700, 500);
  gallery.show();

  const struct {
    int sort;
    const char* filter;
    QStringList rows;
    const char* count;
  } cases[] = {
      {0,
       "",
       {"#holiday", "beach.jpg", "dusk.png", "#cats", "tom.png", "#Single files", "top.png"},
       "4 pictures"},
      {1,
       "",
       {"#Single files", "top.png", "#cats", "tom.png", "#holiday", "dusk.png", "beach.jpg"},
       "4 pictures"},
      {2,
       "",
       {"#holiday", "beach.jpg", "dusk.png", "#cats", "tom.png", "#Single files", "top.png"},
       "4 pictures"},
      {3,
       "",
       {"#cats", "tom.png", "#holiday", "beach.jpg", "dusk.png", "#Single files", "top.png"},
       "4 pictures"},
      {0, "2024", {"#holiday", "dusk.png"}, "1 of 4 pictures"},
      {1, "CATS/", {"#cats", "tom.png"}, "1 of 4 pictures"},
      {0, "nothing like it", {}, "0 of 4 pictures"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(QString("sort %1, filter '%2'").arg(c.sort).arg(c.filter).toStdString());
    gallery.SortBox()->setCurrentIndex(c.sort);
    gallery.FilterBox()->selectAll();
    QTest::keyClick(gallery.FilterBox(), Qt::Key_Backspace);
    QTest::keyClicks(gallery.FilterBox(), c.filter);
    ASSERT_TRUE(ShowsRows(gallery, c.rows)) << Rows(gallery).join(' ').toStdString();
    EXPECT_EQ(gallery.CountText()->text(), c.count);
    for (int row = 0; row < gallery.Model()->rowCount(); ++row) {
      if (gallery.Model()->PictureAt(row)) continue;
      int below = 0;
      while (gallery.Model()->PictureAt(row + 1 + below)) ++below;
      EXPECT_EQ(gallery.Model()->HeaderCount(row), below) << row;
    }
  }
}

// Pictures saved while the gallery shows appear, in known folders and new
// ones; a partial file shows once it takes its name; files removed outside
// the program go. The selection stays on its picture meanwhile.
TEST_F(GalleryTest, FollowsTheDiskAsPicturesAreSavedAndRemoved) {
  const QString a = Save("holiday/a.png", {64, 48}, Qt::red, 120);
  CGallery gallery;
  gallery.resize(600, 400);
  gallery.show();
  ASSERT_TRUE(ShowsRows(gallery, {"#holiday", "a.png"}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return gallery.ViewComplete(); }, 20000));
  // Drawn from its thumbnail, which went into the shared cache.
  const QRect tile = gallery.List()->visualRect(gallery.Model()->IndexOf("holiday/a.png"));
  const QImage shot = gallery.List()->viewport()->grab().toImage();
  const int middle = tile.top() + CGalleryDelegate::kPad + gallery.Delegate()->Side() / 2;
  EXPECT_EQ(shot.pixelColor(tile.center().x(), middle), QColor(Qt::red));
  EXPECT_TRUE(QFileInfo::exists(LargeThumbnailPath(ThumbnailRoot(), a)));
  gallery.List()->setCurrentIndex(gallery.Model()->IndexOf("holiday/a.png"));

  Save("holiday/b.png", {10, 10}, Qt::green, 10);
  Save("new/c.png", {10, 10}, Qt::blue, 5);
  Write("holiday/d.png.part", "not yet whole");
  ASSERT_TRUE(ShowsRows(gallery, {"#new", "c.png", "#holiday", "b.png", "a.png"}));
  EXPECT_EQ(gallery.SelectedFiles(), QStringList{a});

  QImage whole(8, 8, QImage::Format_RGB32);
  whole.fill(Qt::gray);
  whole.save(Abs("holiday/d.png.part"), "PNG");
  ASSERT_TRUE(QFile::rename(Abs("holiday/d.png.part"), Abs("holiday/d.png")));
  ASSERT_TRUE(ShowsRows(gallery, {"#holiday", "d.png", "b.png", "a.png", "#new", "c.png"}));
  EXPECT_EQ(gallery.SelectedFiles(), QStringList{a});

  ASSERT_TRUE(QFile::remove(Abs("holiday/b.png")));
  ASSERT_TRUE(QDir(Abs("new")).removeRecursively());
  ASSERT_TRUE(ShowsRows(gallery, {"#holiday", "d.png", "a.png"}));
  EXPECT_EQ(gallery.SelectedFiles(), QStringList{a});
}

// With no folder watched (as when the system's watches run out), changes
// still arrive by walking everything again.
TEST_F(GalleryTest, FindsWhatTheWatcherCannotSeeByWalkingAgain) {
  Save("deep/one.png", {10, 10}, Qt::red, 100);
  CGallery gallery;
  gallery.SetWatchLimitForTest(0);
  gallery.SetRescanIntervalForTest(300);
  gallery.show();
  ASSERT_TRUE(ShowsRows(gallery, {"#deep", "one.png"}));
  EXPECT_FALSE(gallery.Watcher()->directories().contains(Abs("deep")));
  Save("deep/two.png", {10, 10}, Qt::red, 50);
  ASSERT_TRUE(ShowsRows(gallery, {"#deep", "two.png", "one.png"}));
}

// Of 400 pictures only those in view are made, and the decoded thumbnails
// kept stay within their memory, the ones in view among them.
TEST_F(GalleryTest, MakesOnlyThePicturesInViewAndKeepsItsMemoryBounded) {
  QImage image(16, 16, QImage::Format_RGB32);
  image.fill(Qt::darkCyan);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  for (int i = 0; i < 400; ++i) Write(QString("many/p%1.png").arg(i, 3, 10, QChar('0')), png);
  CGallery gallery;
  constexpr qint64 kLimit = 64 * 1024;
  gallery.Thumbs()->SetMemoryLimit(kLimit);
  gallery.resize(600, 400);
  gallery.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return gallery.Model()->PictureCount() == 400; }, 20000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return gallery.ViewComplete(); }, 20000));
  ASSERT_TRUE(gallery.WaitIdle(20000));
  int inView = 0;
  for (int row : gallery.List()->RowsInView()) inView += gallery.Model()->PictureAt(row) ? 1 : 0;
  EXPECT_GT(inView, 0);
  EXPECT_LE(gallery.Thumbs()->Delivered(), 2 * inView);

  gallery.List()->scrollToBottom();
  ASSERT_TRUE(QTest::qWaitFor([&] { return gallery.ViewComplete(); }, 20000));
  ASSERT_TRUE(gallery.WaitIdle(20000));
  EXPECT_LE(gallery.Thumbs()->Delivered(), 4 * inView) << "none of those scrolled past";
  EXPECT_LE(gallery.Thumbs()->MemoryUsed(), kLimit);
  EXPECT_TRUE(gallery.ViewComplete()) << "the ones in view are kept";
}

// In the window: F4 and the toolbar button show the gallery; the Preview
// follows its current picture; Enter and a double-click open a picture;
// Copy path, Show in folder and dragging out give the files; Delete asks
// once, then moves the selection to the trash and tells the engine.
TEST_F(GalleryTest, PicturesAreOpenedCopiedShownAndMovedToTheTrashFromTheWindow) {
  const QString a = Save("holiday/a.png", {60, 40}, Qt::red, 30);
  const QString b = Save("holiday/b.png", {60, 40}, Qt::green, 20);
  const QString c = Save("c.png", {60, 40}, Qt::blue, 10);
  test::ResetLists();
  test::ShellOpens opens;
  CMainFrame frame(test::E());
  frame.OnInitialUpdate();
  frame.resize(1000, 700);
  frame.show();
  frame.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
  auto press = [&](int key, Qt::KeyboardModifiers modifiers = {}) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &frame;
    QTest::keyClick(target, Qt::Key(key), modifiers);
  };

  EXPECT_FALSE(frame.GalleryShown());
  press(Qt::Key_F4);
  ASSERT_TRUE(frame.GalleryShown());
  EXPECT_TRUE(frame.ToolAction(kCmdGallery)->isChecked());
  CGallery* gallery = frame.Gallery();
  EXPECT_EQ(QApplication::focusWidget(), gallery->List());
  ASSERT_TRUE(ShowsRows(*gallery, {"#Single files", "c.png", "#holiday", "b.png", "a.png"}));

  QWidget* grid = gallery->List()->viewport();
  QTest::mouseDClick(grid, Qt::LeftButton, {}, Centre(*gallery, "c.png"));
  ASSERT_FALSE(opens.urls.empty());
  EXPECT_EQ(opens.urls.back(), QUrl::fromLocalFile(c));

  frame.PreviewAction()->trigger();
  QTest::mouseClick(grid, Qt::LeftButton, {}, Centre(*gallery, "holiday/b.png"));
  EXPECT_EQ(frame.PreviewPane()->NameText()->text(), "b.png");
  QTest::mouseClick(grid, Qt::LeftButton, Qt::ControlModifier, Centre(*gallery, "holiday/a.png"));
  EXPECT_EQ(frame.PreviewPane()->NameText()->text(), "a.png");
  EXPECT_EQ(gallery->SelectedFiles(), (QStringList{b, a}));

  press(Qt::Key_Return);
  EXPECT_EQ(opens.urls.back(), QUrl::fromLocalFile(a));
  gallery->ShowInFolderAction()->trigger();
  EXPECT_EQ(opens.urls.back(), QUrl::fromLocalFile(QFileInfo(a).absolutePath()));
  gallery->CopyPathAction()->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), b + "\n" + a);
  EXPECT_TRUE(gallery->List()->dragEnabled());
  std::unique_ptr<QMimeData> dragged(
      gallery->Model()->mimeData(gallery->List()->selectionModel()->selectedIndexes()));
  ASSERT_NE(dragged, nullptr);
  QStringList urls;
  for (const QUrl& url : dragged->urls()) urls << url.toLocalFile();
  urls.sort();
  EXPECT_EQ(urls, (QStringList{a, b}));

  {
    test::MessageAnswers answers({QMessageBox::No, QMessageBox::Yes});
    press(Qt::Key_Delete);
    EXPECT_EQ(answers.texts, QStringList{"Move these 2 pictures to the trash?"});
    EXPECT_TRUE(QFileInfo::exists(a) && QFileInfo::exists(b));
    press(Qt::Key_Delete);
    EXPECT_EQ(answers.texts.size(), 2);
  }
  EXPECT_FALSE(QFileInfo::exists(a) || QFileInfo::exists(b));
  const QString trash = QString::fromUtf8(qgetenv("XDG_DATA_HOME")) + "/Trash/files/";
  EXPECT_TRUE(QFileInfo::exists(trash + "a.png") && QFileInfo::exists(trash + "b.png"));
  EXPECT_TRUE(test::E().DeletedByUser().Contains("holiday/a.png"));
  EXPECT_TRUE(test::E().DeletedByUser().Contains("holiday/b.png"));
  EXPECT_FALSE(test::E().DeletedByUser().Contains("c.png"));
  EXPECT_EQ(Rows(*gallery), (QStringList{"#Single files", "c.png"}));
  EXPECT_EQ(gallery->SelectedFiles(), QStringList{c}) << "the next picture to weed out";
  // A click beside the pictures chooses none: Enter then opens nothing.
  const std::size_t opened = opens.urls.size();
  QTest::mouseClick(grid, Qt::LeftButton, {}, QPoint(grid->width() - 20, grid->height() - 20));
  EXPECT_TRUE(gallery->SelectedFiles().isEmpty());
  press(Qt::Key_Return);
  EXPECT_EQ(opens.urls.size(), opened);

  QTest::mouseClick(frame.ToolBar()->widgetForAction(frame.ToolAction(kCmdGallery)),
                    Qt::LeftButton);
  EXPECT_FALSE(frame.GalleryShown());
  EXPECT_NE(frame.ActivePane(), CMainFrame::kGalleryPane);
  EXPECT_EQ(QApplication::focusWidget(), frame.PaneWidget(frame.ActivePane()));
}

// A picture the trash does not take stays where it is, is said so, and is
// not recorded as deleted (Qt reports success then, having moved the file
// into files/ below the working folder).
TEST_F(GalleryTest, APictureTheTrashRefusesStaysAndIsNotRecorded) {
  const QString x = Save("x.png", {10, 10}, Qt::red, 10);
  QFile notAFolder(QString::fromUtf8(qgetenv("XDG_DATA_HOME")) + "/Trash");
  ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
  notAFolder.write("a file where the trash folder should be");
  notAFolder.close();
  CGallery gallery;
  QStringList recorded;
  gallery.SetDeletedHook([&](const QString& path) { recorded << path; });
  gallery.show();
  ASSERT_TRUE(ShowsRows(gallery, {"#Single files", "x.png"}));
  gallery.List()->setCurrentIndex(gallery.Model()->IndexOf("x.png"));
  test::MessageAnswers answers;
  QTest::keyClick(gallery.List(), Qt::Key_Delete);
  EXPECT_EQ(answers.texts, (QStringList{"Move x.png to the trash?",
                                        "These pictures could not be moved to the trash:\nx.png"}));
  EXPECT_TRUE(QFileInfo::exists(x));
  EXPECT_FALSE(QFileInfo::exists("files") || QFileInfo::exists("info"))
      << "no trash of its own beside the lists";
  EXPECT_TRUE(recorded.isEmpty());
  EXPECT_EQ(Rows(gallery), (QStringList{"#Single files", "x.png"}));
}

}  // namespace
}  // namespace tvx::ui
