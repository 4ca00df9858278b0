#pragma once
// The Internet client: sessions, plain GETs, HTTP requests, anonymous FTP and
// a pull interface for reading bodies, over libcurl. Every failure arrives as
// one InternetError that carries the client's message text.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tvx::net {

// what() is the client's message as it stands, without a trailing line break.
class InternetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An Internet failure's text as the workers keep and show it: at most 199
// characters, without a trailing line break.
std::string FailureText(const std::string& message);

// Process-wide tunables. Tests shorten the stall time-out.
struct ClientLimits {
  // A transfer that receives nothing for this long while being read fails.
  static std::atomic<long> stallTimeoutMs;    // default 60000
  static std::atomic<long> connectTimeoutMs;  // default 60000
  // A transfer that, over this much reading time, receives fewer than
  // lowSpeedBytesPerSecond on average fails too (a drip is no download).
  static std::atomic<long> lowSpeedWindowMs;        // default 60000
  static std::atomic<long> lowSpeedBytesPerSecond;  // default 16
  // ReadLine hands out at most this much of a line; the rest of a longer
  // line is read and dropped.
  static constexpr std::size_t kMaxLine = 1 << 20;
  // A line that runs on for longer than this fails the transfer, so a body
  // without line ends cannot hold a reader for ever.
  static constexpr std::size_t kMaxLineRead = 16 << 20;
};

// What a response tells of the file it carries: enough to resume a cut
// download and to show how far one has come.
struct FileFacts {
  // The whole file's size, when the server told it (HTTP Content-Length, or
  // the total of a Content-Range; FTP SIZE).
  std::optional<std::uint64_t> size;
  // Where this body begins in the file: the start of a 206's Content-Range,
  // the FTP REST offset; 0 for a whole file.
  std::uint64_t offset = 0;
  std::string etag;          // HTTP ETag as sent, weak ones with their "W/"
  std::string lastModified;  // HTTP Last-Modified as sent
  std::string retryAfter;    // HTTP Retry-After as sent (a 429 or 503 says when to ask again)
  // FTP MDTM in seconds since 1970; -1 when not told.
  std::int64_t modifiedTime = -1;
};

// A request for the rest of a file: from byte `from` on, and only while the
// file is still the one `validator` names (a strong ETag or a Last-Modified
// date, sent as If-Range). A server that cannot, or a file that changed,
// answers with the whole file instead (status 200).
struct ResumeRequest {
  std::uint64_t from = 0;
  std::string validator;
};

// The server will not start a file part-way (FTP REST refused, or an offset
// past the file's end).
class ResumeRefused : public InternetError {
 public:
  using InternetError::InternetError;
};

// A readable response body (HTTP or FTP). Read from one thread at a time.
class Transfer {
 public:
  virtual ~Transfer() = default;
  // Sets how much the client buffers ahead (a performance setting only).
  virtual void SetReadBufferSize(std::size_t bytes) = 0;
  // Reads up to n bytes into buffer; 0 at the end of the data.
  virtual std::size_t Read(char* buffer, std::size_t n) = 0;
  // Reads the next line without its line end (LF removed, CR dropped); a
  // last line without LF counts. False when no line is left. A line is
  // always one line: of one longer than ClientLimits::kMaxLine only the first
  // kMaxLine bytes are handed out, and the rest is read and dropped (never
  // held), up to ClientLimits::kMaxLineRead, past which InternetError.
  virtual bool ReadLine(std::string& line) = 0;
  // The HTTP status of the response (waits for the headers); 0 for FTP.
  virtual long StatusCode() = 0;
  virtual void Close() = 0;
  // What the response told of its file (HTTP: waits for the headers).
  virtual FileFacts Facts() { return {}; }
  // True while bytes that arrived are waiting to be read: a Read now returns
  // at once. False says the next Read may wait for the network.
  virtual bool HasBufferedData() const { return false; }
};

// The parts of a URL (browser-style split).
struct UrlParts {
  std::string scheme;  // lower case: "http", "https", "ftp", ...
  std::string server;
  std::string path;  // object path with query, "/" when none
  int port = 0;      // the scheme's default when not given
};
// Splits url; nullopt when it has no "scheme://host".
std::optional<UrlParts> ParseUrl(const std::string& url);

// An FTP server as a URL names it: "user:password@host:port", every part but
// the host optional.
struct FtpAuthority {
  std::string user;      // empty: log in anonymously
  std::string password;  // user and password with their %-escapes decoded
  std::string host;      // an IPv6 address keeps its brackets: "[::1]"
  int port = 0;          // 0: the default, 21
};
// Splits the text between "ftp://" and the next '/'. Throws InternetError
// when it names no usable server (no host, a bad port, '?' or '#' in it).
FtpAuthority ParseFtpAuthority(const std::string& text);

// An FTP connection (active mode), logged in as the URL's user or anonymously.
class FtpConnection {
 public:
  virtual ~FtpConnection() = default;
  // Changes the current directory for the calls below (not checked here; a
  // wrong directory shows when the file is looked for).
  virtual void SetCurrentDirectory(const std::string& dir) = 0;
  // True when the current directory lists a file of that name. Throws
  // InternetError when the server cannot be reached or refuses the login.
  virtual bool FindFile(const std::string& name) = 0;
  // Opens the file for binary reading; with `from` above 0 the server is asked
  // to start there (REST), and ResumeRefused says it will not.
  virtual std::unique_ptr<Transfer> OpenFile(const std::string& name, std::uint64_t from = 0) = 0;
  // The file's size and modification time (SIZE, MDTM) without fetching it.
  virtual FileFacts Describe(const std::string& name) = 0;
  virtual void Close() = 0;
};

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

  // A plain GET of url, redirects followed. When failOnHttpError is set a
  // status of 400 or above is an InternetError with the client's message.
  std::unique_ptr<Transfer> OpenUrl(const std::string& url, bool failOnHttpError);
  // The same for the rest of a file (HTTP Range with If-Range). A 416 (the
  // range lies past the file's end) is then an answer, not a failure.
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

  const std::string& Agent() const { return agent_; }
  // Transfers and connections opened from the session stay usable until
  // they are closed themselves.
  void Close();

  // Names a file of trusted certificate authorities that replaces the
  // system's store for HTTPS (read when a session is made; for tests).
  static constexpr const char* kCaFileVariable = "TAVRINOX_CA_FILE";

 private:
  std::string agent_;
  long connectTimeoutMs_;
  std::string caFile_;
};

// FTP connections still saying goodbye to their servers on threads of their
// own after Close. The process waits for them at a normal exit, for two
// seconds at most; nothing such a thread uses is destroyed by the exit.
int PendingBackgroundCloses();
// True when none is left within bound.
bool WaitForBackgroundCloses(std::chrono::milliseconds bound);

}  // namespace tvx::net
