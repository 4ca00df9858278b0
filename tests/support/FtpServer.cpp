#include "support/FtpServer.h"

#include <cstdlib>
#include <stdexcept>

namespace tvx::test {

FtpServer::FtpServer(const std::filesystem::path& root, FtpServerOptions options) {
  std::vector<std::string> argv = {"/usr/bin/python3", "-u",
                                   std::string(TAVRINOX_TEST_SUPPORT_DIR) + "/ftp_server.py",
                                   "--root", std::filesystem::absolute(root).string()};
  if (options.refuseLogin) argv.push_back("--refuse-login");
  if (options.refuseActiveMode) argv.push_back("--refuse-active");
  if (options.neverConnectData) argv.push_back("--never-connect-data");
  if (!options.user.empty()) {
    argv.insert(argv.end(), {"--user", options.user, "--password", options.password});
  }
  if (options.quitDelay.count() > 0) {
    argv.insert(argv.end(), {"--quit-delay", std::to_string(options.quitDelay.count() / 1000.0)});
  }
  // Set to see every FTP command of a test run on standard error.
  if (std::getenv("TAVRINOX_FTP_VERBOSE")) argv.push_back("--verbose");
  process_ = std::make_unique<ChildProcess>(argv);
  std::optional<std::string> port = process_->WaitForLine("PORT ", std::chrono::seconds(15));
  if (!port) {
    process_.reset();
    throw std::runtime_error("the FTP test server did not start");
  }
  port_ = std::stoi(*port);
}

FtpServer::~FtpServer() { Stop(); }

std::string FtpServer::Url(const std::string& path) const {
  return "ftp://127.0.0.1:" + std::to_string(port_) + path;
}

void FtpServer::Stop() {
  if (process_) process_->Stop();
}

}  // namespace tvx::test
