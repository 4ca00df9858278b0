// The status view and the tree of downloaded files.
#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QTest>

#include "ui/DialogDriver.h"
#include "ui/MainTestSupport.h"
#include "ui/views/BusyAnimation.h"
#include "ui/views/DnldList.h"
#include "ui/views/StatusView.h"

namespace tvx::ui {
namespace {

TEST(ViewStatus, StartsWithItsTextsInTheirBoxesAndTheClipStill) {
  CStatusView view;
  EXPECT_EQ(view.CurrentProject(), "None");
  EXPECT_EQ(view.LastAction(), "Waiting for command");
  EXPECT_EQ(view.Status(), "Ready");
  EXPECT_EQ(view.TextLabel(StatusField::CurrentProject)->geometry(), QRect(160, 40, 390, 25));
  EXPECT_EQ(view.TextLabel(StatusField::LastAction)->geometry(), QRect(130, 80, 450, 35));
  EXPECT_EQ(view.TextLabel(StatusField::Status)->geometry(), QRect(130, 130, 420, 35));
  EXPECT_EQ(view.Busy()->geometry(), QRect(50, 170, 500, 100));
  EXPECT_FALSE(view.Busy()->IsPlaying());
  EXPECT_EQ(view.Busy()->CurrentFrame(), 0);

  QStringList labels;
  for (QLabel* label : view.findChildren<QLabel*>()) {
    labels << label->text();
    EXPECT_TRUE(label->wordWrap());
    EXPECT_EQ(label->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::black));
  }
  for (const char* text : {"Current Project : ", "Last Action : ", "Status : "})
    EXPECT_TRUE(labels.contains(QString::fromLatin1(text))) << text;
}

TEST(ViewStatus, TextsAreReplacedAndLongOnesStayInTheirBox) {
  CStatusView view;
  view.SetText(StatusField::LastAction, "Finding Web Site...");
  view.SetText(StatusField::Status, "No errors");
  view.SetCurrentProject("Holiday");
  EXPECT_EQ(view.Text(StatusField::LastAction), "Finding Web Site...");
  EXPECT_EQ(view.Status(), "No errors");
  EXPECT_EQ(view.CurrentProject(), "Holiday");

  QLabel* status = view.TextLabel(StatusField::Status);
  view.SetStatus(QString("word ").repeated(200));
  // The box keeps its size: what does not fit is cut off, not spread over the
  // controls below.
  EXPECT_EQ(status->geometry().size(), QSize(420, 35));
}

TEST(ViewStatus, BusyClipPlaysFromTheFirstFrameAndStopsWhereItIs) {
  CStatusView view;
  view.show();
  view.PlayBusy();
  EXPECT_TRUE(view.Busy()->IsPlaying());
  // 15 frames a second: after about half a second the clip has moved on.
  QTRY_VERIFY_WITH_TIMEOUT(view.Busy()->CurrentFrame() >= 3, 5000);
  view.StopBusy();
  const int stoppedOn = view.Busy()->CurrentFrame();
  QTest::qWait(200);
  EXPECT_FALSE(view.Busy()->IsPlaying());
  EXPECT_EQ(view.Busy()->CurrentFrame(), stoppedOn);
  // One stop is enough however many starts came before it.
  view.PlayBusy();
  view.PlayBusy();
  EXPECT_EQ(view.Busy()->CurrentFrame(), 0);
  view.StopBusy();
  EXPECT_FALSE(view.Busy()->IsPlaying());
}

TEST(ViewStatus, ClipFramesDifferAndLoop) {
  auto frame = [](int n) {
    QImage image(CBusyAnimation::kWidth, CBusyAnimation::kHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    CBusyAnimation::DrawFrame(painter, n);
    return image;
  };
  EXPECT_NE(frame(0), frame(1));
  EXPECT_NE(frame(0), frame(16));
  EXPECT_EQ(frame(0), frame(CBusyAnimation::kFrames));
}

class ViewDownloads : public ::testing::Test {
 protected:
  void SetUp() override { tree.OnInitialUpdate(); }
  QStringList RootTexts() const {
    QStringList texts;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) texts << tree.topLevelItem(i)->text(0);
    return texts;
  }
  CDnldList tree;
};

TEST_F(ViewDownloads, FirstProjectReplacesThePlaceholder) {
  EXPECT_EQ(RootTexts(), QStringList{"No files downloaded"});
  const ProjectNode cats = tree.FindOrAddProject("Cats");
  EXPECT_EQ(RootTexts(), QStringList{"Cats"});
  tree.AddFile(cats, "Pictures\\Cats\\img\\a.jpg");
  tree.AddFile(cats, "Pictures\\Cats\\b.gif");
  QTreeWidgetItem* item = tree.ItemOf(cats);
  ASSERT_NE(item, nullptr);
  ASSERT_EQ(item->childCount(), 2);
  EXPECT_EQ(item->child(0)->text(0), "Pictures/Cats/img/a.jpg");
  EXPECT_EQ(item->child(1)->text(0), "Pictures/Cats/b.gif");
  EXPECT_TRUE(item->isExpanded());
}

TEST_F(ViewDownloads, ProjectsAreFoundByCaseSensitiveSubstring) {
  const ProjectNode cats = tree.FindOrAddProject("Cats");
  EXPECT_EQ(tree.FindOrAddProject("Cats"), cats);  // a second run of the same project
  EXPECT_EQ(tree.FindOrAddProject("Cat"), cats);   // part of "Cats"
  const ProjectNode upper = tree.FindOrAddProject("CAT");
  EXPECT_NE(upper, cats);
  const ProjectNode longer = tree.FindOrAddProject("Cats and dogs");
  EXPECT_NE(longer, cats);
  EXPECT_EQ(RootTexts(), (QStringList{"Cats", "CAT", "Cats and dogs"}));
  tree.AddFile(cats, "Pictures\\Cat\\x.jpg");
  EXPECT_EQ(tree.ItemOf(cats)->childCount(), 1);
}

TEST_F(ViewDownloads, ProjectNamedLikeThePlaceholderDoesNotClearTheTree) {
  const ProjectNode first = tree.FindOrAddProject("No files yet");
  tree.AddFile(first, "Pictures\\No files yet\\a.jpg");
  const ProjectNode second = tree.FindOrAddProject("Birds");
  EXPECT_EQ(RootTexts(), (QStringList{"No files yet", "Birds"}));
  EXPECT_EQ(tree.ItemOf(first)->childCount(), 1);
  EXPECT_NE(first, second);
}

TEST_F(ViewDownloads, UnknownIdsAreIgnored) {
  tree.AddFile(12345, "Pictures\\lost.jpg");
  tree.AddFile(0, "Pictures\\lost.jpg");
  EXPECT_EQ(RootTexts(), QStringList{"No files downloaded"});
  EXPECT_EQ(tree.topLevelItem(0)->childCount(), 0);
}

TEST_F(ViewDownloads, DoubleClickOpensOnlyFileItems) {
  test::ShellOpens opens;
  const ProjectNode cats = tree.FindOrAddProject("Cats");
  tree.AddFile(cats, "Pictures\\Cats\\img\\a.jpg");
  tree.resize(400, 300);
  tree.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));

  auto doubleClick = [this](QTreeWidgetItem* item) {
    const QPoint at = tree.visualItemRect(item).center();
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier, at);
  };
  doubleClick(tree.ItemOf(cats));
  EXPECT_TRUE(opens.urls.empty());
  tree.ItemOf(cats)->setExpanded(true);
  doubleClick(tree.ItemOf(cats)->child(0));
  ASSERT_EQ(opens.urls.size(), 1u);
  EXPECT_EQ(opens.urls[0].toLocalFile(),
            QDir::current().absoluteFilePath("Pictures/Cats/img/a.jpg"));

  // A file no program opens is not passed over in silence.
  test::MessageAnswers boxes;
  opens.opened = false;
  doubleClick(tree.ItemOf(cats)->child(0));
  EXPECT_EQ(boxes.texts, QStringList{"No program can open Pictures/Cats/img/a.jpg"});
}

TEST(ViewDownloadsPlaceholder, DoubleClickOnPlaceholderOpensNothing) {
  test::ShellOpens opens;
  CDnldList tree;
  tree.OnInitialUpdate();
  tree.OpenFileItem(tree.topLevelItem(0));
  EXPECT_TRUE(opens.urls.empty());
}

}  // namespace
}  // namespace tvx::ui
