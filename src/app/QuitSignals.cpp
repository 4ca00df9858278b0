#include "app/QuitSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace tvx::ui {
namespace {

constexpr int kSignals[3] = {SIGTERM, SIGHUP, SIGINT};

// The writing end of the pipe of the object that catches the signals.
volatile sig_atomic_t g_writeEnd = -1;

// Only what is safe in a signal handler: one write to a pipe. The user-
// interface thread reads it and does the rest.
void OnSignal(int signalNumber) {
  const int savedErrno = errno;
  const unsigned char byte = static_cast<unsigned char>(signalNumber);
  if (g_writeEnd >= 0 && ::write(g_writeEnd, &byte, 1) < 0) {
    // A full pipe already holds a request to end.
  }
  errno = savedErrno;
}

}  // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  g_writeEnd = pipe_[1];
  notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::ReadPipe);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // SA_RESETHAND: a second signal finds the default action again.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &action, &old_[i]);
}

QuitSignals::~QuitSignals() {
  if (pipe_[0] < 0) return;
  for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &old_[i], nullptr);
  g_writeEnd = -1;
  delete notifier_;
  ::close(pipe_[0]);
  ::close(pipe_[1]);
}

void QuitSignals::ReadPipe() {
  unsigned char byte = 0;
  int first = 0;
  while (::read(pipe_[0], &byte, 1) == 1)
    if (first == 0) first = byte;
  if (first != 0) emit quitRequested(first);
}

}  // namespace tvx::ui
