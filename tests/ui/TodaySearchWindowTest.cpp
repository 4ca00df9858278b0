// A search of today through the window: a project made in the dialog asks the
// three engines (loopback stand-ins), its pictures show their credits as
// tooltips in Search Results, and a picture sent to the requested files and
// downloaded gets its line in Pictures/CREDITS.txt.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolTip>
#include <string>

#include "commands/CommandIds.h"
#include "search/TodayFakes.h"
#include "support/Files.h"
#include "support/ListReset.h"
#include "ui/DialogDriver.h"
#include "ui/MainTestSupport.h"
#include "ui/dialogs/AddSearchDlg.h"
#include "ui/frame/MainFrame.h"
#include "ui/views/CreditTips.h"
#include "ui/views/ListPanel.h"
#include "ui/views/TreePanel.h"

namespace tvx::ui {
namespace {

using test::DialogScript;
using test::HttpResponse;

class TodaySearchWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ResetLists();
    frame = std::make_unique<CMainFrame>(test::E());
    frame->OnInitialUpdate();
    frame->resize(1000, 700);
    frame->show();
    frame->TreePanel()->SwitchTo("Search Projects");
  }
  void TearDown() override {
    EXPECT_TRUE(QTest::qWaitFor([] { return test::E().workers.Live() == 0; }, 30000));
    frame.reset();
    test::ResetLists();
  }
  CListPanel& Panel() { return *frame->ListPanel(); }
  void SelectOnly(int row) {
    Panel().clearSelection();
    Panel().SetRowSelected(row, true);
  }
  int RowOf(const std::string& text) {
    for (int row = 0; row < Panel().RowCount(); ++row)
      if (Panel().RowText(row, 0).toStdString() == text) return row;
    return -1;
  }
  void DownloadSelectedAndWait() {
    frame->RouteCommand(kCmdDownloadSelected);
    ASSERT_TRUE(QTest::qWaitFor([] { return test::E().workers.Live() == 0; }, 60000));
  }

  test::ScopedWorkDir workDir;
  test::ShellOpens opens;
  test::MessageAnswers answers;
  test::TestHttpServer pictures;
  test::FakeEngines engines{30, 5, pictures.Url("")};
  std::unique_ptr<CMainFrame> frame;
};

TEST_F(TodaySearchWindow, APictureFoundTodayIsDownloadedWithItsCredit) {
  DialogScript script;
  script.ThenAs<CAddSearchDlg>([](CAddSearchDlg& d) {
    d.nameEdit()->setText(QStringLiteral("Lights"));
    d.searchEdit()->setText(QStringLiteral("lighthouse"));
    QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("ok")), Qt::LeftButton);
  });
  frame->RouteCommand(kCmdAddSearchProject);
  ASSERT_TRUE(script.AllStepsRun());
  ASSERT_EQ(Panel().RowCount(), 1);
  SelectOnly(0);
  DownloadSelectedAndWait();
  EXPECT_EQ(Panel().RowText(0, 1), QStringLiteral("Search Completed Successfully"));
  EXPECT_EQ(test::E().lists.searchResults.GetCount(), 30 + 30 + 5);

  // The picture's row shows its credit when pointed at; a page's row has none.
  frame->TreePanel()->SwitchTo("Search Results");
  const test::FakePicture picture = test::FakePictureOf("ov", 3, pictures.Url(""));
  const int row = RowOf(picture.url);
  ASSERT_GE(row, 0);
  const QString tip = QString::fromStdString(
      "Phare de Cr\xC3\xA9"
      "ac'h \xC3\xA0 l'aube\nby Ann \xC3\x89vrard\n"
      "CC BY-SA 4.0\nhttps://pages.example/ov/3");
  auto* tips = Panel().findChild<CreditTips*>();
  ASSERT_NE(tips, nullptr);
  EXPECT_EQ(tips->TipOfRow(row), tip);
  EXPECT_EQ(tips->TipOfRow(RowOf(test::KeptPage(1))), QString());
  QWidget* viewport = Panel().viewport();
  const QPoint at = Panel().visualRect(Panel().model()->index(row, 1)).center();
  QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
  QApplication::sendEvent(viewport, &help);
  EXPECT_EQ(QToolTip::text(), tip);
  QToolTip::hideText();

  // Send To > Requested Files, then Download it from there.
  pictures.Serve("/ov/Lighthouse_3.jpg", HttpResponse::Ok("JFIF phare", "image/jpeg"));
  SelectOnly(row);
  frame->RouteCommand(kCmdSendToRequestedFiles);
  frame->TreePanel()->SwitchTo("Files");
  ASSERT_EQ(Panel().RowCount(), 1);
  SelectOnly(0);
  DownloadSelectedAndWait();
  EXPECT_EQ(test::ReadFile("Pictures/Lighthouse_3.jpg"), "JFIF phare");
  EXPECT_EQ(test::ReadFile("Pictures/CREDITS.txt"),
            "Lighthouse_3.jpg \xE2\x80\x94 Phare de Cr\xC3\xA9"
            "ac'h \xC3\xA0 l'aube by Ann "
            "\xC3\x89vrard, CC BY-SA 4.0, https://pages.example/ov/3\n");
}

}  // namespace
}  // namespace tvx::ui
