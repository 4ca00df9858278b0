#pragma once
// An anonymous, read-only FTP server on 127.0.0.1 for tests: the Python
// script next to this file (run under the system's /usr/bin/python3, which
// has pyftpdlib) on a port the system picks. The destructor kills and reaps it.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "support/ChildProcess.h"

namespace tvx::test {

// Files whose names start with "partial-", "abort-", "dropctl-", "endless-",
// "cut-" or "oversize-" misbehave when retrieved; ftp_server.py tells how.
struct FtpServerOptions {
  // No anonymous user: every login is refused with 530.
  bool refuseLogin = false;
  // PORT and EPRT are refused, so active-mode transfers cannot start.
  bool refuseActiveMode = false;
  // PORT and EPRT are answered 200, but the data connection never comes.
  bool neverConnectData = false;
  // When set, only this user (with this password) may log in; no anonymous.
  std::string user{};
  std::string password{};
  // QUIT is answered only after this long.
  std::chrono::milliseconds quitDelay{0};
};

class FtpServer {
 public:
  // Serves `root` (read-only). Throws std::runtime_error when the server does
  // not come up within a few seconds.
  explicit FtpServer(const std::filesystem::path& root, FtpServerOptions options = {});
  ~FtpServer();
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  int Port() const { return port_; }
  std::string Host() const { return "127.0.0.1"; }
  // "ftp://127.0.0.1:<port>" + path (path should start with "/").
  std::string Url(const std::string& path) const;

  // Bytes of the file `name` the server has sent over every data connection
  // so far, as it counts them. Waits until at least `atLeast` are counted
  // (bounded by `timeout`), then a moment more for anything further.
  std::uint64_t BytesSent(const std::string& name, std::uint64_t atLeast,
                          std::chrono::milliseconds timeout = std::chrono::seconds(10));

  void Stop();

 private:
  std::unique_ptr<ChildProcess> process_;
  int port_ = 0;
  std::map<std::string, std::uint64_t> sent_;
};

}  // namespace tvx::test
