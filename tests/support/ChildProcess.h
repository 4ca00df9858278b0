#pragma once
// A helper program started for a test (a server), with its standard output
// readable line by line. The destructor ends it and reaps it; every wait is
// bounded.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tvx::test {

class ChildProcess {
 public:
  // Starts argv[0] (a path, or a name looked up in PATH) with the given
  // arguments in `workDir` (the current folder when empty). Its standard
  // input is a pipe that closes when this object goes away; its standard
  // error is the test's unless `quiet`, or read with its output when
  // `errorsToOutput`. Throws std::runtime_error when it cannot start.
  explicit ChildProcess(const std::vector<std::string>& argv,
                        const std::filesystem::path& workDir = {}, bool quiet = false,
                        bool errorsToOutput = false);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The next line of its standard output without the line end; nullopt on
  // time-out or when the output has ended.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
  // Waits for a line that starts with `prefix` and returns the rest of it.
  std::optional<std::string> WaitForLine(const std::string& prefix,
                                         std::chrono::milliseconds timeout);

  // Waits for it to end by itself; its exit status (or -1 when a signal
  // ended it), nullopt on time-out (it keeps running).
  std::optional<int> Wait(std::chrono::milliseconds timeout);

  // Writes text to its standard input; false when it cannot.
  bool Write(const std::string& text);

  bool Running();
  pid_t Pid() const { return pid_; }
  // SIGTERM, then SIGKILL when it has not ended after a short while; reaps it.
  void Stop();

 private:
  pid_t pid_ = -1;
  int stdinFd_ = -1;
  int stdoutFd_ = -1;
  std::string pending_;
  bool outputEnded_ = false;
  int exitStatus_ = -1;
};

}  // namespace tvx::test
