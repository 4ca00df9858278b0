#include "net/Session.h"

#include "net/CurlHandles.h"
#include "net/Http.h"
#include "net/TransferPolicy.h"

namespace tvx::net {

Session::Session(std::string agent) : agent_(std::move(agent)) {
  detail::EnsureCurlInitialised();
  detail::PolicySettings now = detail::PolicySettings::Current(agent_);
  connectTimeoutMs_ = now.connectTimeoutMs;
  caFile_ = std::move(now.caFile);
}

Session::~Session() { Close(); }

void Session::SetConnectOptions(long timeoutMs, int /*retries*/, int /*backoffMs*/) {
  if (timeoutMs > 0) connectTimeoutMs_ = timeoutMs;
}

std::unique_ptr<Transfer> Session::OpenUrl(const std::string& url, bool failOnHttpError) {
  return OpenUrl(url, failOnHttpError, ResumeRequest{});
}

std::unique_ptr<Transfer> Session::OpenUrl(const std::string& url, bool failOnHttpError,
                                           const ResumeRequest& resume) {
  return detail::OpenUrl({agent_, connectTimeoutMs_, caFile_, cookies_}, url, failOnHttpError,
                         resume);
}

std::unique_ptr<Transfer> Session::OpenRequest(const std::string& server, int port,
                                               const std::string& path,
                                               const std::vector<std::string>& headers,
                                               const std::string& scheme) {
  return detail::OpenRequest({agent_, connectTimeoutMs_, caFile_, cookies_}, server, port, path,
                             headers, scheme);
}

std::unique_ptr<FtpConnection> Session::ConnectFtp(const std::string& host, int port) {
  if (port > 0) {
    FtpAuthority server;
    server.host = host;
    server.port = port;
    return ConnectFtp(server);
  }
  return ConnectFtp(ParseFtpAuthority(host));
}

std::unique_ptr<FtpConnection> Session::ConnectFtp(const FtpAuthority& server) {
  return detail::ConnectFtp({agent_, connectTimeoutMs_, caFile_, cookies_}, server);
}

void Session::Close() {
  // Nothing is held here: every transfer and connection owns its handles.
}

}  // namespace tvx::net
