#pragma once
// What the command line writes: events on standard output, failures on
// standard error, and, on a terminal, a block of progress lines kept below
// everything printed and redrawn in place.
#include <string>
#include <vector>

namespace tvx::cli {

class Output {
 public:
  // terminal: standard output is a terminal (lines are redrawn); quiet:
  // only failures are written.
  Output(bool terminal, bool quiet) : terminal_(terminal), quiet_(quiet) {}
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  bool Terminal() const { return terminal_; }
  bool Quiet() const { return quiet_; }

  // A line on standard output (nothing when quiet).
  void Event(const std::string& line);
  // A line on standard error, whatever else is written.
  void Failure(const std::string& line);
  // The progress lines, in place of those drawn before (terminal only, and
  // not when quiet).
  void Draw(const std::vector<std::string>& lines);
  // Takes the progress lines away.
  void ClearBlock();
  // The terminal's width in columns (80 when it cannot be told).
  int Width() const;

 private:
  void Write(int fd, const std::string& text);

  bool terminal_;
  bool quiet_;
  std::size_t shown_ = 0;                   // progress lines on the screen
  bool closed_[3] = {false, false, false};  // a reader went away (EPIPE)
};

}  // namespace tvx::cli
