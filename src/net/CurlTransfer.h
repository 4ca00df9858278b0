#pragma once
// The pull-style transfer over libcurl shared by HTTP and FTP: the multi
// interface is driven from the reading thread only while it reads, so a
// reader that stops calling Read simply stops the transfer (the socket
// buffers fill and the server waits), and the memory held ahead of the
// reader stays bounded.
#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/Internet.h"

namespace tvx::net::detail {

// Initialises libcurl once per process, whichever thread comes first.
void EnsureCurlInitialised();

// The hosts reached without a proxy: loopback, and the user's own exceptions.
std::string ProxyExceptions();

// An InternetError that also knows libcurl's result code, so callers inside
// the client can tell "not there" from "cannot reach".
class CurlFailure : public InternetError {
 public:
  CurlFailure(CURLcode code, const std::string& message) : InternetError(message), code_(code) {}
  CURLcode Code() const { return code_; }

 private:
  CURLcode code_;
};

struct EasyCleanup {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiCleanup {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListCleanup {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;
using HeaderList = std::unique_ptr<curl_slist, ListCleanup>;

// One easy handle and the multi handle that drives it. The multi handle owns
// the connection cache, so an FTP connection keeps both for its lifetime to
// reuse the logged-in control connection.
struct CurlHandles {
  CurlHandles();
  // Detaches the easy handle from the multi handle when a transfer is still
  // attached; the members then go easy first, the header list last.
  ~CurlHandles();
  CurlHandles(const CurlHandles&) = delete;
  CurlHandles& operator=(const CurlHandles&) = delete;

  HeaderList headers;  // request headers, kept until the easy handle goes
  MultiHandle multi;
  EasyHandle easy;
  bool busy = false;  // a transfer is attached to the multi handle
};

// Percent-encodes the bytes no URL may hold as they are (controls, space,
// non-ASCII and a few unsafe marks); everything else, '%' included, stays.
std::string EscapeUnsafeUrlBytes(const std::string& url);
// Percent-encodes a path for an ftp:// URL, keeping '/' as the separator.
std::string EscapeFtpPath(const std::string& path);

class CurlTransfer final : public Transfer {
 public:
  struct Options {
    bool http = true;  // false: FTP (no status code)
    bool followsRedirects = false;
    bool failOnHttpError = false;
    // A body shorter than the size the server told is a failure, whatever
    // libcurl made of it (FTP files).
    bool mustMatchToldSize = false;
    // A request for part of a file: HTTP error statuses are judged here
    // rather than by libcurl, and 416 is let through as an answer.
    bool rangeRequest = false;
    // FTP: the offset the file was asked from (REST).
    std::uint64_t resumeFrom = 0;
  };

  // The easy handle must be fully configured for the request; the transfer
  // installs its own callbacks and error buffer.
  CurlTransfer(std::shared_ptr<CurlHandles> handles, Options options);
  ~CurlTransfer() override;
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  // Sends the request and waits for the response to begin: the final HTTP
  // headers, or for FTP the first data or the end. Throws InternetError.
  void Start();

  void SetReadBufferSize(std::size_t bytes) override;
  std::size_t Read(char* buffer, std::size_t n) override;
  bool ReadLine(std::string& line) override;
  long StatusCode() override;
  void Close() override;
  FileFacts Facts() override;
  bool HasBufferedData() const override { return Buffered() > 0; }

  // How far the client may read ahead of the caller.
  static constexpr std::size_t kMaxAhead = 256 * 1024;

 private:
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
  static int OnDebug(CURL* easy, curl_infotype type, char* data, std::size_t size, void* self);

  std::size_t Buffered() const { return buffer_.size() - pos_; }
  void Consume(std::size_t n);
  void ResumeIfRoom();
  // Drives libcurl until `ready` answers true or the transfer has ended.
  // Throws when no data arrives for the stall time-out.
  template <typename Ready>
  void Pump(Ready ready);
  void CollectResult();
  // Waits for data when none is buffered; false at the end of the data
  // (throws the transfer's failure, if it ended with one).
  bool HaveData();
  // Reads what is left of an over-long line, up to and including its LF,
  // and drops it; false when the data ended first.
  bool DropRestOfLine();
  // Counts time spent waiting for data and fails a transfer that stays
  // below the useful speed over a whole window of it.
  void CheckSpeed(std::chrono::steady_clock::duration spent);
  // Throws the transfer's failure, if it ended with one.
  void ThrowIfFailed();
  void ReadFtpFacts();

  std::shared_ptr<CurlHandles> handles_;
  Options options_;
  bool attached_ = false;
  bool closed_ = false;

  std::string buffer_;
  std::size_t pos_ = 0;
  bool paused_ = false;
  bool droppingLine_ = false;  // the rest of a line handed out cut is still to come
  std::size_t lineBytes_ = 0;  // how long that line has run so far

  bool ready_ = false;  // response under way (status known for HTTP)
  bool done_ = false;
  CURLcode result_ = CURLE_OK;
  std::string failure_;
  long status_ = 0;
  std::uint64_t received_ = 0;
  std::uint64_t windowBytes_ = 0;
  std::chrono::steady_clock::duration window_{};
  bool blockHasLocation_ = false;
  // What the headers of the last response block told (HTTP), or what the
  // server answered to SIZE and MDTM (FTP).
  FileFacts told_;
  std::optional<std::uint64_t> contentLength_;
  bool hasContentRange_ = false;

  bool progressed_ = false;
  std::chrono::milliseconds stalled_{0};
  char errorBuffer_[CURL_ERROR_SIZE] = {};
  bool errorsMuted_ = false;  // the error buffer is detached for one step
  std::string lastReply_;     // the FTP server's last reply line
};

}  // namespace tvx::net::detail
