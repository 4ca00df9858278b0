// The start-up question and the URL dialog.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "ui/DialogDriver.h"
#include "ui/dialogs/AddFileDlg.h"
#include "ui/dialogs/StartDlg.h"

namespace tvx::ui {
namespace {

using test::Click;
using test::DialogScript;

TEST(DialogStart, ProceedUntouchedStartsTheProgram) {
  CStartDlg dialog;
  EXPECT_EQ(dialog.Choice(), 0);
  DialogScript script;
  script.ThenAs<CStartDlg>([](CStartDlg& d) {
    EXPECT_TRUE(d.choiceButton(CStartDlg::kStartProgram)->isChecked());
    EXPECT_TRUE(d.proceedButton()->isDefault());
    QTest::keyClick(&d, Qt::Key_Return);
  });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_EQ(dialog.Choice(), CStartDlg::kStartProgram);
}

TEST(DialogStart, EachChoiceGivesItsNumber) {
  for (int choice : {CStartDlg::kWebSiteProject, CStartDlg::kSearchProject}) {
    CStartDlg dialog;
    DialogScript script;
    script.ThenAs<CStartDlg>([choice](CStartDlg& d) {
      Click(d.choiceButton(choice));
      QTest::mouseClick(d.proceedButton(), Qt::LeftButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.Choice(), choice);
  }
}

TEST(DialogStart, EscapeAndTheCloseBoxCancel) {
  {
    CStartDlg dialog;
    DialogScript script;
    script.ThenAs<CStartDlg>([](CStartDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
  }
  {
    CStartDlg dialog;
    DialogScript script;
    script.ThenAs<CStartDlg>([](CStartDlg& d) { d.close(); });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
  }
}

TEST(DialogStart, PicturesHaveTheirSizesWithOrWithoutResources) {
  CStartDlg dialog;
  ASSERT_FALSE(dialog.sidePicture()->pixmap().isNull());
  ASSERT_FALSE(dialog.bannerPicture()->pixmap().isNull());
  EXPECT_EQ(dialog.sidePicture()->pixmap().size(), QSize(120, 180));
  EXPECT_EQ(dialog.bannerPicture()->pixmap().size(), QSize(200, 60));
}

TEST(DialogAddFile, AddHandsBackTheUrlAndCancelNothing) {
  {
    CAddFileDlg dialog;
    DialogScript script;
    script.ThenAs<CAddFileDlg>([](CAddFileDlg& d) {
      EXPECT_TRUE(d.addButton()->isDefault());
      QTest::keyClicks(d.urlEdit(), QStringLiteral("www.example.com/a.gif"));
      QTest::keyClick(d.urlEdit(), Qt::Key_Return);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.Url(), QStringLiteral("www.example.com/a.gif"));
  }
  {
    CAddFileDlg dialog;
    DialogScript script;
    script.ThenAs<CAddFileDlg>([](CAddFileDlg& d) {
      QTest::keyClicks(d.urlEdit(), QStringLiteral("x"));
      QTest::keyClick(&d, Qt::Key_Escape);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(dialog.Url().isEmpty());
  }
}

}  // namespace
}  // namespace tvx::ui
