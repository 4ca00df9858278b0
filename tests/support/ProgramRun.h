#pragma once
// The built program run as a user runs it from a shell: with arguments, in a
// folder, through pipes (as cron and scripts run it) or in a terminal of its
// own (a pseudo-terminal), without a display. Its output is read as it comes
// so that it never waits for the test; every wait is bounded.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tvx::test {

class ProgramRun {
 public:
  enum class Via { Pipes, Terminal };
  // Environment changes for the program: a value, or nullopt to unset.
  using Env = std::vector<std::pair<std::string, std::optional<std::string>>>;

  // Starts program with args in dir. DISPLAY, WAYLAND_DISPLAY and
  // QT_QPA_PLATFORM are unset unless env sets them. Throws
  // std::runtime_error when it cannot start.
  ProgramRun(const std::string& program, const std::vector<std::string>& args,
             const std::filesystem::path& dir, Via via, const Env& env = {});
  // Ends it (SIGKILL) when it still runs.
  ~ProgramRun();
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  // Reads until standard output (the terminal, in a terminal) holds text
  // after what an earlier wait found; false on time-out or when it ended.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
  // Waits for its end, reading what it writes; its exit status (-1 when a
  // signal ended it), nullopt on time-out.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  void Signal(int signalNumber);

  // Everything written so far: standard output (the terminal's bytes, in a
  // terminal), and standard error (empty in a terminal).
  const std::string& Out() const { return out_; }
  const std::string& Err() const { return err_; }

 private:
  // Reads what is there, waiting up to waitMs for something.
  void Pump(int waitMs);

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::string out_;
  std::string err_;
  std::size_t seen_ = 0;  // how far WaitForOutput has looked
  std::optional<int> status_;
};

// Runs the program to its end through pipes (at most `timeout`).
struct ProgramResult {
  std::optional<int> status;
  std::string out;
  std::string err;
};
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& dir, const ProgramRun::Env& env = {},
                         std::chrono::milliseconds timeout = std::chrono::minutes(2));

}  // namespace tvx::test
