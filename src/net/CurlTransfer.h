#pragma once
// The pull-style transfer over libcurl shared by HTTP and FTP: the multi
// interface is driven from the reading thread only while it reads, so a
// reader that stops calling Read simply stops the transfer (the socket
// buffers fill and the server waits), and the memory held ahead of the
// reader stays bounded.
#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/CurlHandles.h"
#include "net/Transfer.h"
#include "net/TransferPolicy.h"

namespace tvx::net::detail {

// An InternetError that also knows libcurl's result code, so callers inside
// the client can tell "not there" from "cannot reach".
class CurlFailure : public InternetError {
 public:
  CurlFailure(CURLcode code, const std::string& message) : InternetError(message), code_(code) {}
  CURLcode Code() const { return code_; }

 private:
  CURLcode code_;
};

class CurlTransfer final : public Transfer {
 public:
  struct Options {
    bool http = true;  // false: FTP (no status code)
    bool followsRedirects = false;
    bool failOnHttpError = false;
    // A body that ends well but holds more or fewer bytes than the server
    // announced for it fails with SizeMismatch.
    bool mustMatchToldSize = false;
    // A request for part of a file: HTTP error statuses are judged here
    // rather than by libcurl, and those below 500 are answers for the caller.
    bool rangeRequest = false;
    // FTP: the offset the file was asked from (REST).
    std::uint64_t resumeFrom = 0;
    // FTP: what the server told of the file before it was fetched (SIZE,
    // MDTM), when libcurl is not to ask itself.
    std::optional<FileFacts> told = std::nullopt;
    // FTP: a file's bytes, which always come over a data connection of their
    // own, even when there are none.
    bool fetchesFile = false;
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

  std::size_t Buffered() const { return buffer_.size() - pos_; }
  void Consume(std::size_t n);
  void ResumeIfRoom();
  // Drives libcurl until `ready` answers true or the transfer has ended.
  // Throws when the transfer passes its stall or too-slow limit.
  template <typename Ready>
  void Pump(Ready ready);
  void CollectResult();
  // Waits for data when none is buffered; false at the end of the data
  // (throws the transfer's failure, if it ended with one).
  bool HaveData();
  // Reads what is left of an over-long line, up to and including its LF,
  // and drops it; false when the data ended first.
  bool DropRestOfLine();
  // Throws the transfer's failure, if it ended with one.
  void ThrowIfFailed();
  void ReadFtpFacts();
  // What the headers told of the file as they stand (HTTP).
  FileFacts HeaderFacts() const;
  // Fails a transfer that ended well with a byte count other than the one
  // the server announced.
  void CheckToldSize();

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
  bool sizeMismatch_ = false;
  std::string failure_;
  long status_ = 0;
  std::uint64_t received_ = 0;  // body bytes
  std::uint64_t seen_ = 0;      // header and body bytes, for the limits
  TransferWatch watch_;
  std::string location_;    // of the last response block (HTTP)
  std::string retryAfter_;  // of the last response block (HTTP)
  std::string refusal_;     // why a redirect was not followed
  // What the headers of the last response block told (HTTP), or what the
  // server answered to SIZE and MDTM (FTP).
  FileFacts told_;
  std::optional<std::uint64_t> contentLength_;
  bool transferEncoded_ = false;  // the body's length is not Content-Length's
  bool hasContentRange_ = false;

  ErrorText errorText_;
};

}  // namespace tvx::net::detail
