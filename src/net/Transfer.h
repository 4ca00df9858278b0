#pragma once
// What every transfer of the Internet client shares: its one kind of failure,
// the process-wide limits, what a response tells of its file, and the pull
// interface for reading a body.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace tvx::net {

// what() is the client's message as it stands, without a trailing line break.
class InternetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An Internet failure's text as the workers keep and show it: at most 199
// characters, without a trailing line break.
std::string FailureText(const std::string& message);

// Why a redirect to location is refused (only http and https are followed),
// as both clients say it; nullopt when it may be followed.
std::optional<std::string> RefusedRedirect(const std::string& location);
// Whether a failure's text says that a redirect was refused.
bool IsRefusedRedirect(std::string_view failure);

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

// A body that ended as the server meant it to but holds more or fewer bytes
// than the server announced for it: what arrived cannot be trusted, not even
// as the start of the file.
class SizeMismatch : public InternetError {
 public:
  using InternetError::InternetError;
};

// The server asked to be asked again later (HTTP 429 Too Many Requests or 503
// Service Unavailable); retryAfter is its Retry-After as sent (seconds or an
// HTTP date), empty when it gave none.
class SlowDown : public InternetError {
 public:
  SlowDown(const std::string& text, std::string retryAfter)
      : InternetError(text), retryAfter_(std::move(retryAfter)) {}
  const std::string& RetryAfter() const { return retryAfter_; }

 private:
  std::string retryAfter_;
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

}  // namespace tvx::net
