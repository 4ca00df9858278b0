// The bottom-right pane: Current Project, Last Action and Status, and the busy
// animation under them. Other panes and the workers write the texts.
#pragma once

#include <QString>
#include <QWidget>

#include "workers/Reporting.h"

class QLabel;

namespace tvx::ui {

class CBusyAnimation;

class CStatusView : public QWidget {
  Q_OBJECT

 public:
  explicit CStatusView(QWidget* parent = nullptr);

  void SetCurrentProject(const QString& text);
  void SetLastAction(const QString& text);
  void SetStatus(const QString& text);
  void SetText(StatusField field, const QString& text);

  QString CurrentProject() const;
  QString LastAction() const;
  QString Status() const;
  QString Text(StatusField field) const;

  void PlayBusy();
  void StopBusy();
  CBusyAnimation* Busy() const { return busy_; }

  // The value controls, for layout checks.
  QLabel* TextLabel(StatusField field) const;

 private:
  QLabel* MakeLabel(const QString& text, int left, int top, int right, int bottom);

  QLabel* currentProject_ = nullptr;
  QLabel* lastAction_ = nullptr;
  QLabel* status_ = nullptr;
  CBusyAnimation* busy_ = nullptr;
};

}  // namespace tvx::ui
