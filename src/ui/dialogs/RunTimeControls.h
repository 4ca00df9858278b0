#pragma once
// The two radio pairs with their hour and minute boxes that say when a project
// starts and stops. Shared by the search project dialog and the Run Settings page.
#include <QString>
#include <QWidget>

class QButtonGroup;
class QLineEdit;
class QRadioButton;

namespace tvx::ui {

struct RunTimes {
  int runWhenRequested = 1;
  int stopWhenRequested = 1;
  QString startHour, startMinute, stopHour, stopMinute;
};

class RunTimeControls : public QWidget {
  Q_OBJECT
 public:
  explicit RunTimeControls(QWidget* parent = nullptr);

  // Shows the values: one radio of each pair selected, each pair's boxes
  // enabled exactly while its timed radio is selected; greyed boxes keep text.
  void SetTimes(const RunTimes& times);
  RunTimes Times() const;

  bool StartTimed() const;
  bool StopTimed() const;

  QRadioButton* runWhenRequested() const { return runWhenRequested_; }
  QRadioButton* startRunningAt() const { return startRunningAt_; }
  QRadioButton* stopWhenRequested() const { return stopWhenRequested_; }
  QRadioButton* stopRunningAt() const { return stopRunningAt_; }
  QLineEdit* startHour() const { return startHour_; }
  QLineEdit* startMinute() const { return startMinute_; }
  QLineEdit* stopHour() const { return stopHour_; }
  QLineEdit* stopMinute() const { return stopMinute_; }

  // The last control in keyboard order, for chaining the caller's tab order.
  QWidget* lastInTabOrder() const;
  QWidget* firstInTabOrder() const;

 private:
  void UpdateEnabling();

  QRadioButton* runWhenRequested_;
  QRadioButton* startRunningAt_;
  QRadioButton* stopWhenRequested_;
  QRadioButton* stopRunningAt_;
  QLineEdit* startHour_;
  QLineEdit* startMinute_;
  QLineEdit* stopHour_;
  QLineEdit* stopMinute_;
  QButtonGroup* startPair_;
  QButtonGroup* stopPair_;
};

}  // namespace tvx::ui
