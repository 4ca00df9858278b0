// SIGTERM (logout, shutdown, kill), SIGHUP and SIGINT as a Qt signal on the
// user-interface thread, so that they end the run the way File > Exit does.
#pragma once

#include <QObject>
#include <csignal>

class QSocketNotifier;

namespace tvx::ui {

class QuitSignals : public QObject {
  Q_OBJECT

 public:
  // Catches the three signals from now on. One object at a time catches
  // them; the handlers it replaced come back when it goes away.
  explicit QuitSignals(QObject* parent = nullptr);
  ~QuitSignals() override;

 signals:
  // Emitted on the user-interface thread for the first signal caught. A
  // second one of the same kind ends the process at once, as it would have
  // without this object, in case the orderly end is stuck.
  void quitRequested(int signalNumber);

 private:
  void ReadPipe();

  int pipe_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
  struct sigaction old_[3]{};
};

}  // namespace tvx::ui
