#pragma once
// SIGINT, SIGTERM and SIGHUP as bytes on a pipe that the command line's
// loop waits on, so that the run ends the way it ends by itself: workers
// asked to stop, lists saved. SIGPIPE is ignored: a reader that goes away
// does not end the run before it has saved.
#include <csignal>

namespace tvx::cli {

class QuitSignals {
 public:
  QuitSignals();
  ~QuitSignals();
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

  // Waits up to timeoutMs for a signal; how many came (since the last call).
  int Wait(int timeoutMs);

 private:
  int pipe_[2] = {-1, -1};
  struct sigaction old_[4]{};
};

}  // namespace tvx::cli
