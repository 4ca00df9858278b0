#include "support/ProgramRun.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <stdexcept>

extern char** environ;

namespace tvx::test {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> ChildEnvironment(const ProgramRun::Env& changes) {
  std::map<std::string, std::optional<std::string>> wanted = {{"DISPLAY", std::nullopt},
                                                              {"WAYLAND_DISPLAY", std::nullopt},
                                                              {"QT_QPA_PLATFORM", std::nullopt}};
  for (const auto& [name, value] : changes) wanted[name] = value;
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (!wanted.count(entry.substr(0, entry.find('=')))) env.push_back(entry);
  }
  for (const auto& [name, value] : wanted)
    if (value) env.push_back(name + "=" + *value);
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

ProgramRun::ProgramRun(const std::string& program, const std::vector<std::string>& args,
                       const std::filesystem::path& dir, Via via, const Env& env) {
  std::vector<std::string> argvStrings{program};
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<std::string> envStrings = ChildEnvironment(env);
  std::vector<char*> argv = Pointers(argvStrings);
  std::vector<char*> envp = Pointers(envStrings);
  const std::string folder = dir.string();

  if (via == Via::Terminal) {
    winsize size{};
    size.ws_row = 40;
    size.ws_col = 120;
    int master = -1;
    pid_ = forkpty(&master, nullptr, nullptr, &size);
    if (pid_ < 0) throw std::runtime_error("forkpty failed");
    if (pid_ == 0) {
      // Only what is safe in the child of a process with threads.
      if (::chdir(folder.c_str()) != 0) _exit(127);
      ::execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    outFd_ = master;
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
  } else {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      const int null = ::open("/dev/null", O_RDONLY);
      if (null < 0 || ::dup2(null, STDIN_FILENO) < 0 || ::dup2(out[1], STDOUT_FILENO) < 0 ||
          ::dup2(err[1], STDERR_FILENO) < 0 || ::chdir(folder.c_str()) != 0)
        _exit(127);
      ::execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
  }
  for (int fd : {outFd_, errFd_})
    if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

ProgramRun::~ProgramRun() {
  if (pid_ > 0 && !status_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  for (int fd : {outFd_, errFd_})
    if (fd >= 0) ::close(fd);
}

void ProgramRun::Pump(int waitMs) {
  pollfd fds[2];
  int n = 0;
  for (int fd : {outFd_, errFd_})
    if (fd >= 0) fds[n++] = pollfd{fd, POLLIN, 0};
  if (n == 0) {
    ::poll(nullptr, 0, waitMs);
    return;
  }
  if (::poll(fds, static_cast<nfds_t>(n), waitMs) <= 0) return;
  for (int i = 0; i < n; ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buffer[8192];
    const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
    if (got > 0) {
      (fds[i].fd == outFd_ ? out_ : err_).append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
      // The end of the output (a terminal whose program ended says EIO).
      int& fd = fds[i].fd == outFd_ ? outFd_ : errFd_;
      ::close(fd);
      fd = -1;
    }
  }
}

bool ProgramRun::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (true) {
    const std::size_t at = out_.find(text, seen_);
    if (at != std::string::npos) {
      seen_ = at + text.size();
      return true;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || outFd_ < 0) return false;
    Pump(static_cast<int>(std::min<long>(left.count(), 100)));
  }
}

std::optional<int> ProgramRun::Wait(std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!status_) {
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      break;
    }
    if (r < 0 || Clock::now() >= deadline) return std::nullopt;
    Pump(20);
  }
  // What it wrote before it ended.
  const Clock::time_point drained = Clock::now() + std::chrono::seconds(10);
  while ((outFd_ >= 0 || errFd_ >= 0) && Clock::now() < drained) Pump(100);
  return status_;
}

void ProgramRun::Signal(int signalNumber) {
  if (pid_ > 0 && !status_) ::kill(pid_, signalNumber);
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& dir, const ProgramRun::Env& env,
                         std::chrono::milliseconds timeout) {
  ProgramRun run(program, args, dir, ProgramRun::Via::Pipes, env);
  ProgramResult result;
  result.status = run.Wait(timeout);
  result.out = run.Out();
  result.err = run.Err();
  return result;
}

}  // namespace tvx::test
