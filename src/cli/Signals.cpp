#include "cli/Signals.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace tvx::cli {
namespace {

constexpr int kSignals[4] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

volatile sig_atomic_t g_writeEnd = -1;

// Only what is safe in a signal handler: one write to a pipe.
void OnSignal(int signalNumber) {
  const int savedErrno = errno;
  const unsigned char byte = static_cast<unsigned char>(signalNumber);
  if (g_writeEnd >= 0 && ::write(g_writeEnd, &byte, 1) < 0) {
    // A full pipe already holds requests to end.
  }
  errno = savedErrno;
}

}  // namespace

QuitSignals::QuitSignals() {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  g_writeEnd = pipe_[1];
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 4; ++i) {
    action.sa_handler = kSignals[i] == SIGPIPE ? SIG_IGN : OnSignal;
    ::sigaction(kSignals[i], &action, &old_[i]);
  }
}

QuitSignals::~QuitSignals() {
  if (pipe_[0] < 0) return;
  for (int i = 0; i < 4; ++i) ::sigaction(kSignals[i], &old_[i], nullptr);
  g_writeEnd = -1;
  ::close(pipe_[0]);
  ::close(pipe_[1]);
}

int QuitSignals::Wait(int timeoutMs) {
  if (pipe_[0] < 0) {
    ::poll(nullptr, 0, timeoutMs);
    return 0;
  }
  pollfd fd{pipe_[0], POLLIN, 0};
  if (::poll(&fd, 1, timeoutMs) <= 0) return 0;
  int count = 0;
  unsigned char byte = 0;
  while (::read(pipe_[0], &byte, 1) == 1) ++count;
  return count;
}

}  // namespace tvx::cli
