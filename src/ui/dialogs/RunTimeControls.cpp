#include "ui/dialogs/RunTimeControls.h"

#include <QButtonGroup>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>

#include "ui/dialogs/FieldText.h"

namespace tvx::ui {
namespace {

// An hour or minute box: taking the focus selects its text, so typing
// replaces the number shown (a "0" would otherwise make 1 into "01").
class TimeBox final : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;

 protected:
  void focusInEvent(QFocusEvent* event) override {
    QLineEdit::focusInEvent(event);
    if (event->reason() == Qt::MouseFocusReason)
      // The press that brought the focus places the cursor afterwards.
      QTimer::singleShot(0, this, &QLineEdit::selectAll);
    else
      selectAll();
  }
};

QLineEdit* NewTimeBox(QWidget* parent, const char* name) {
  auto* edit = new TimeBox(parent);
  edit->setObjectName(QLatin1String(name));
  edit->setValidator(NewDigitsValidator(edit));
  edit->setAlignment(Qt::AlignRight);
  edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16);
  return edit;
}

}  // namespace

RunTimeControls::RunTimeControls(QWidget* parent) : QWidget(parent) {
  runWhenRequested_ = new QRadioButton(QStringLiteral("Run when requested"), this);
  runWhenRequested_->setObjectName(QStringLiteral("runWhenRequested"));
  startRunningAt_ = new QRadioButton(QStringLiteral("Start running at (HH:MM)"), this);
  startRunningAt_->setObjectName(QStringLiteral("startRunningAt"));
  startHour_ = NewTimeBox(this, "startHour");
  startMinute_ = NewTimeBox(this, "startMinute");
  stopWhenRequested_ = new QRadioButton(QStringLiteral("Stop when requested"), this);
  stopWhenRequested_->setObjectName(QStringLiteral("stopWhenRequested"));
  stopRunningAt_ = new QRadioButton(QStringLiteral("Stop running at (HH:MM)"), this);
  stopRunningAt_->setObjectName(QStringLiteral("stopRunningAt"));
  stopHour_ = NewTimeBox(this, "stopHour");
  stopMinute_ = NewTimeBox(this, "stopMinute");

  // Two independent pairs in one parent: each needs a group of its own.
  startPair_ = new QButtonGroup(this);
  startPair_->addButton(runWhenRequested_);
  startPair_->addButton(startRunningAt_);
  stopPair_ = new QButtonGroup(this);
  stopPair_->addButton(stopWhenRequested_);
  stopPair_->addButton(stopRunningAt_);
  runWhenRequested_->setChecked(true);
  stopWhenRequested_->setChecked(true);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(runWhenRequested_, 0, 0, 1, 4);
  grid->addWidget(startRunningAt_, 1, 0);
  grid->addWidget(startHour_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral(":"), this), 1, 2);
  grid->addWidget(startMinute_, 1, 3);
  grid->setRowMinimumHeight(2, 8);
  grid->addWidget(stopWhenRequested_, 3, 0, 1, 4);
  grid->addWidget(stopRunningAt_, 4, 0);
  grid->addWidget(stopHour_, 4, 1);
  grid->addWidget(new QLabel(QStringLiteral(":"), this), 4, 2);
  grid->addWidget(stopMinute_, 4, 3);
  grid->setColumnStretch(4, 1);

  setTabOrder(runWhenRequested_, startRunningAt_);
  setTabOrder(startRunningAt_, startHour_);
  setTabOrder(startHour_, startMinute_);
  setTabOrder(startMinute_, stopWhenRequested_);
  setTabOrder(stopWhenRequested_, stopRunningAt_);
  setTabOrder(stopRunningAt_, stopHour_);
  setTabOrder(stopHour_, stopMinute_);

  for (QRadioButton* radio :
       {runWhenRequested_, startRunningAt_, stopWhenRequested_, stopRunningAt_})
    connect(radio, &QRadioButton::toggled, this, [this] { UpdateEnabling(); });
  // Choosing a set time takes the user straight to the hour box.
  connect(startRunningAt_, &QRadioButton::clicked, this, [this] { startHour_->setFocus(); });
  connect(stopRunningAt_, &QRadioButton::clicked, this, [this] { stopHour_->setFocus(); });
  UpdateEnabling();
}

void RunTimeControls::SetTimes(const RunTimes& times) {
  (times.runWhenRequested ? runWhenRequested_ : startRunningAt_)->setChecked(true);
  (times.stopWhenRequested ? stopWhenRequested_ : stopRunningAt_)->setChecked(true);
  startHour_->setText(times.startHour);
  startMinute_->setText(times.startMinute);
  stopHour_->setText(times.stopHour);
  stopMinute_->setText(times.stopMinute);
  UpdateEnabling();
}

RunTimes RunTimeControls::Times() const {
  RunTimes t;
  t.runWhenRequested = StartTimed() ? 0 : 1;
  t.stopWhenRequested = StopTimed() ? 0 : 1;
  t.startHour = startHour_->text();
  t.startMinute = startMinute_->text();
  t.stopHour = stopHour_->text();
  t.stopMinute = stopMinute_->text();
  return t;
}

bool RunTimeControls::StartTimed() const { return startRunningAt_->isChecked(); }
bool RunTimeControls::StopTimed() const { return stopRunningAt_->isChecked(); }

QWidget* RunTimeControls::firstInTabOrder() const { return runWhenRequested_; }
QWidget* RunTimeControls::lastInTabOrder() const { return stopMinute_; }

void RunTimeControls::UpdateEnabling() {
  startHour_->setEnabled(StartTimed());
  startMinute_->setEnabled(StartTimed());
  stopHour_->setEnabled(StopTimed());
  stopMinute_->setEnabled(StopTimed());
}

}  // namespace tvx::ui
