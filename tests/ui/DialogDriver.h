#pragma once
// Drives the program's modal dialogs from tests: each scripted step answers
// the next modal window that opens, and message boxes are answered through
// the message box hook. Every wait is bounded.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <utility>

#include "store/Lists.h"
#include "support/ListReset.h"
#include "ui/MessageBox.h"

namespace tvx::test {

class DialogScript {
 public:
  using Step = std::function<void(QWidget* dialog)>;

  DialogScript() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
    clock_.start();
  }
  ~DialogScript() { timer_.stop(); }

  // Answers the next modal dialog that opens.
  DialogScript& Then(Step step) {
    steps_.push_back(std::move(step));
    return *this;
  }
  // Answers the next dialog as a D, failing the test when it is another kind.
  template <class D>
  DialogScript& ThenAs(std::function<void(D&)> step) {
    return Then([step](QWidget* w) {
      auto* d = qobject_cast<D*>(w);
      if (!d) {
        ADD_FAILURE() << "unexpected dialog " << w->metaObject()->className();
        if (auto* dialog = qobject_cast<QDialog*>(w)) dialog->reject();
        return;
      }
      step(*d);
    });
  }

  bool AllStepsRun() const { return steps_.empty(); }
  int DialogsSeen() const { return seen_; }

 private:
  void Poll() {
    if (current_ && current_->isVisible()) {
      // A step that forgot to close its dialog must not hang the test.
      if (clock_.elapsed() > kLeftOpenMs) {
        ADD_FAILURE() << "a dialog was left open";
        if (auto* dialog = qobject_cast<QDialog*>(current_.data())) dialog->reject();
        current_ = nullptr;
      }
      return;
    }
    current_ = nullptr;
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    ++seen_;
    if (steps_.empty()) {
      ADD_FAILURE() << "no step for dialog " << modal->metaObject()->className();
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
      return;
    }
    current_ = modal;
    clock_.restart();
    Step step = std::move(steps_.front());
    steps_.pop_front();
    step(modal);
  }

  static constexpr qint64 kLeftOpenMs = 5000;
  QTimer timer_;
  QElapsedTimer clock_;
  std::deque<Step> steps_;
  QPointer<QWidget> current_;
  int seen_ = 0;
};

// Answers every message box with the scripted buttons (Ok/Yes once they run
// out) and records the texts shown.
class MessageAnswers {
 public:
  explicit MessageAnswers(std::deque<int> answers = {}) : answers_(std::move(answers)) {
    ui::SetMessageBoxHook([this](const QString& text, QMessageBox::StandardButtons buttons) {
      texts.push_back(text);
      if (!answers_.empty()) {
        const int answer = answers_.front();
        answers_.pop_front();
        return answer;
      }
      return int(buttons & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok);
    });
  }
  ~MessageAnswers() { ui::SetMessageBoxHook({}); }
  QStringList texts;

 private:
  std::deque<int> answers_;
};

// Clicks a button, check box or radio on its box: the middle of a wide
// check box lies beyond its label, where a click does nothing.
inline void Click(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

}  // namespace tvx::test
