#pragma once
// An anonymous, read-only FTP server on 127.0.0.1 for tests: the Python
// script next to this file (run under the system's /usr/bin/python3, which
// has pyftpdlib) on a port the system picks. The destructor kills and reaps it.
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "support/ChildProcess.h"

namespace tvx::test {

struct FtpServerOptions {
  // No anonymous user: every login is refused with 530.
  bool refuseLogin = false;
  // PORT and EPRT are refused, so active-mode transfers cannot start.
  bool refuseActiveMode = false;
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

  void Stop();

 private:
  std::unique_ptr<ChildProcess> process_;
  int port_ = 0;
};

}  // namespace tvx::test
