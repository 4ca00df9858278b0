#pragma once
// "Start a New Project": the question asked once at start-up.
#include <QDialog>

class QLabel;
class QPushButton;
class QRadioButton;

namespace tvx::ui {

class CStartDlg : public QDialog {
  Q_OBJECT
 public:
  enum Choice : int {
    kNone = 0,
    kWebSiteProject = 2,
    kSearchProject = 3,
    kStartProgram = 4,
  };

  explicit CStartDlg(QWidget* parent = nullptr);

  // 0 until the dialog is shown, then the number of the selected choice.
  int Choice() const { return choice_; }

  QRadioButton* choiceButton(int choice) const;
  QPushButton* proceedButton() const { return proceed_; }
  QLabel* sidePicture() const { return side_; }
  QLabel* bannerPicture() const { return banner_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  int choice_ = kNone;
  bool shown_ = false;
  QRadioButton* webSite_;
  QRadioButton* search_;
  QRadioButton* program_;
  QPushButton* proceed_;
  QLabel* side_;
  QLabel* banner_;
};

}  // namespace tvx::ui
