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

std::uint64_t FtpServer::BytesSent(const std::string& name, std::uint64_t atLeast,
                                   std::chrono::milliseconds timeout) {
  auto until = std::chrono::steady_clock::now() + timeout;
  auto take = [this](const std::string& line) {
    // "SENT <name> <bytes>"; the name may hold blanks.
    if (line.rfind("SENT ", 0) != 0) return;
    std::size_t last = line.rfind(' ');
    if (last <= 5) return;
    sent_[line.substr(5, last - 5)] += std::stoull(line.substr(last + 1));
  };
  while (process_ && sent_[name] < atLeast) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    if (auto line = process_->ReadLine(left)) take(*line);
  }
  while (process_) {
    auto line = process_->ReadLine(std::chrono::milliseconds(300));
    if (!line) break;
    take(*line);
  }
  return sent_[name];
}

void FtpServer::Stop() {
  if (process_) process_->Stop();
}

}  // namespace tvx::test
