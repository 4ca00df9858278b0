#include "ui/views/StatusView.h"

#include <QLabel>

#include "ui/views/BusyAnimation.h"

namespace tvx::ui {

CStatusView::CStatusView(QWidget* parent) : QWidget(parent) {
  // Clicking here makes this pane the active one.
  setFocusPolicy(Qt::ClickFocus);
  setMinimumSize(40, 40);

  // Each value box is made after its label, so it lies above the label where
  // the two rectangles overlap.
  MakeLabel(QStringLiteral("Current Project : "), 20, 40, 150, 65);
  currentProject_ = MakeLabel(QString(), 160, 40, 550, 65);
  MakeLabel(QStringLiteral("Last Action : "), 20, 80, 150, 105);
  lastAction_ = MakeLabel(QString(), 130, 80, 580, 115);
  MakeLabel(QStringLiteral("Status : "), 20, 130, 150, 155);
  status_ = MakeLabel(QString(), 130, 130, 550, 165);

  busy_ = new CBusyAnimation(this);
  busy_->move(50, 170);

  SetCurrentProject(QStringLiteral("None"));
  SetLastAction(QStringLiteral("Waiting for command"));
  SetStatus(QStringLiteral("Ready"));
}

QLabel* CStatusView::MakeLabel(const QString& text, int left, int top, int right, int bottom) {
  auto* label = new QLabel(text, this);
  label->setGeometry(left, top, right - left, bottom - top);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  // Black on white, whatever the desktop's colours.
  QPalette pal = label->palette();
  pal.setColor(QPalette::Window, Qt::white);
  pal.setColor(QPalette::WindowText, Qt::black);
  label->setPalette(pal);
  label->setAutoFillBackground(true);
  return label;
}

void CStatusView::SetCurrentProject(const QString& text) { currentProject_->setText(text); }
void CStatusView::SetLastAction(const QString& text) { lastAction_->setText(text); }
void CStatusView::SetStatus(const QString& text) { status_->setText(text); }

QLabel* CStatusView::TextLabel(StatusField field) const {
  switch (field) {
    case StatusField::CurrentProject:
      return currentProject_;
    case StatusField::LastAction:
      return lastAction_;
    case StatusField::Status:
      return status_;
  }
  return status_;
}

void CStatusView::SetText(StatusField field, const QString& text) {
  TextLabel(field)->setText(text);
}
QString CStatusView::Text(StatusField field) const { return TextLabel(field)->text(); }
QString CStatusView::CurrentProject() const { return currentProject_->text(); }
QString CStatusView::LastAction() const { return lastAction_->text(); }
QString CStatusView::Status() const { return status_->text(); }

void CStatusView::PlayBusy() { busy_->Play(); }
void CStatusView::StopBusy() { busy_->Stop(); }

}  // namespace tvx::ui
