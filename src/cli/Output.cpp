#include "cli/Output.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace tvx::cli {

Output::~Output() { ClearBlock(); }

void Output::Write(int fd, const std::string& text) {
  if (closed_[fd]) return;
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // Nobody reads any more (a pipe to `head`): the run goes on and saves
      // its lists all the same.
      closed_[fd] = true;
      return;
    }
    done += static_cast<std::size_t>(n);
  }
}

void Output::ClearBlock() {
  if (shown_ == 0) return;
  // To the start of the first progress line, and everything below it goes.
  Write(STDOUT_FILENO, "\x1b[" + std::to_string(shown_) + "F\x1b[J");
  shown_ = 0;
}

void Output::Event(const std::string& line) {
  if (quiet_) return;
  ClearBlock();
  Write(STDOUT_FILENO, line + "\n");
}

void Output::Failure(const std::string& line) {
  ClearBlock();
  Write(STDERR_FILENO, line + "\n");
}

void Output::Draw(const std::vector<std::string>& lines) {
  if (!terminal_ || quiet_) return;
  std::string screen;
  if (shown_ > 0) screen += "\x1b[" + std::to_string(shown_) + "F";
  for (const std::string& line : lines) screen += "\x1b[2K" + line + "\n";
  screen += "\x1b[J";
  Write(STDOUT_FILENO, screen);
  shown_ = lines.size();
}

int Output::Width() const {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace tvx::cli
