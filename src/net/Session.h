#pragma once
// An Internet session: the one way the workers and crawls open transfers.
#include <memory>
#include <string>
#include <vector>

#include "net/Ftp.h"
#include "net/Transfer.h"
#include "net/Url.h"

namespace tvx::net {

class CookieJar;

class Session {
 public:
  explicit Session(std::string agent = "Tavrinox");
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Connect time-out, retries and back-off for this session's connections.
  // Every resolved address is tried once within the time-out; the retries
  // and back-off need nothing beyond that.
  void SetConnectOptions(long timeoutMs, int retries, int backoffMs);

  // A plain GET of url, redirects followed (to http and https only). When
  // failOnHttpError is set a status of 400 or above is an InternetError with
  // the client's message. An HTTP body that ends as the server meant it to
  // but holds more or fewer bytes than its headers announced (a 206 short of
  // its range) fails with SizeMismatch.
  std::unique_ptr<Transfer> OpenUrl(const std::string& url, bool failOnHttpError);
  // The same for the rest of a file (HTTP Range with If-Range). A 4xx status
  // (416: the range lies past the file's end; others: the server will not
  // serve ranges) is then an answer, not a failure.
  std::unique_ptr<Transfer> OpenUrl(const std::string& url, bool failOnHttpError,
                                    const ResumeRequest& resume);

  // One HTTP GET request for path on server:port with the given extra
  // header lines ("Name: value"); redirects are not followed. scheme is
  // "http" or "https" (over TLS, port 443 when port is 0).
  std::unique_ptr<Transfer> OpenRequest(const std::string& server, int port,
                                        const std::string& path,
                                        const std::vector<std::string>& headers,
                                        const std::string& scheme = "http");

  // FTP to server, logged in at once: throws InternetError when the server
  // cannot be reached or refuses the login.
  std::unique_ptr<FtpConnection> ConnectFtp(const FtpAuthority& server);
  // The same for a host and port; with port 0 host is read as an authority
  // ("host:2121", "user:password@host", "[::1]:2121").
  std::unique_ptr<FtpConnection> ConnectFtp(const std::string& host, int port = 0);

  // Requests over HTTP and HTTPS from now on carry the cookies of the jar
  // that belong to their URL (none when null).
  void SetCookies(std::shared_ptr<const CookieJar> cookies) { cookies_ = std::move(cookies); }

  const std::string& Agent() const { return agent_; }
  // Transfers and connections opened from the session stay usable until
  // they are closed themselves.
  void Close();

  // Names a file of trusted certificate authorities that replaces the
  // system's store for HTTPS, for every transfer of the program (read when a
  // session or a parallel fetcher is made; for tests).
  static constexpr const char* kCaFileVariable = "TAVRINOX_CA_FILE";

 private:
  std::string agent_;
  long connectTimeoutMs_;
  std::string caFile_;
  std::shared_ptr<const CookieJar> cookies_;
};

}  // namespace tvx::net
