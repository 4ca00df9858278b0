#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for tests. It listens on a port the
// system picks, answers every connection on a thread of its own with one
// response and then closes it (Connection: close). Answers are scripted per
// path, produced by a callback, or read from a folder. Every request is
// recorded so tests can check what the client sent. The destructor stops
// at once, even while a client is in the middle of a transfer.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tvx::test {

struct HttpRequest {
  std::string method;                                        // "GET", ...
  std::string target;                                        // as sent: path and query
  std::string path;                                          // target without the query
  std::vector<std::pair<std::string, std::string>> headers;  // in the order sent
  std::chrono::steady_clock::time_point at;                  // when it arrived whole

  // The first value of the header (name compared ignoring case); "" when absent.
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
  // How many times the header was sent.
  std::size_t HeaderCount(const std::string& name) const;
};

struct HttpResponse {
  static constexpr std::size_t kAll = std::numeric_limits<std::size_t>::max();

  int status = 200;
  std::string reason;  // standard phrase for the status when empty
  // Extra header lines. Content-Length, Connection and (when not given
  // here) Content-Type are added by the server.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // Content-Length to announce instead of the body's size (for example one
  // longer than the body). Ignored when sendContentLength is false.
  std::optional<std::size_t> contentLength;
  // False: no Content-Length; the body ends when the connection closes.
  bool sendContentLength = true;

  // Slow drip: send the body dripBytes at a time, waiting dripIntervalMs
  // between pieces (0: all at once).
  std::size_t dripBytes = 0;
  int dripIntervalMs = 0;

  // Close the connection after this many body bytes.
  std::size_t closeAfterBytes = kAll;
  // Close with a reset (RST) instead of an orderly close (FIN).
  bool resetOnClose = false;

  // After this many body bytes, send nothing more but keep the connection
  // open until the client goes away or the server stops.
  std::size_t stallAfterBytes = kAll;

  // After the body, send `endlessFill` bytes for ever (until the client goes
  // away or the server stops). Implies sendContentLength = false.
  bool endless = false;
  char endlessFill = 'x';

  // Builders for the common cases.
  static HttpResponse Ok(std::string body, std::string contentType = "application/octet-stream");
  static HttpResponse Html(std::string body);
  static HttpResponse Status(int status, std::string body = {});
  static HttpResponse Redirect(std::string location, int status = 302);
  // A body that is one line without end, sent until the client stops reading.
  static HttpResponse EndlessLine(char fill = 'x');
  // A response carrying a header line with a value of `valueBytes` bytes.
  static HttpResponse HugeHeader(std::size_t valueBytes, std::string body = "ok");
};

class TestHttpServer {
 public:
  using Handler = std::function<HttpResponse(const HttpRequest&)>;

  // Starts listening on 127.0.0.1; throws std::runtime_error when it cannot.
  TestHttpServer();
  // Listens on another loopback address instead (such as "127.0.0.2"), so
  // that one test can reach several host names.
  explicit TestHttpServer(const std::string& loopbackAddress);
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  int Port() const { return port_; }
  std::string Host() const { return host_; }
  // "http://<host>:<port>" + path (path should start with "/").
  std::string Url(const std::string& path) const;

  // Answers requests whose target (path with query) equals `target`; when no
  // target matches, one whose path without query matches is used.
  void Serve(const std::string& target, HttpResponse response);
  // Called for requests no scripted answer covers.
  void SetHandler(Handler handler);
  // Serves the files below `folder` for requests no script or handler
  // covers: "/a/b.html" is folder/a/b.html; a folder answers with its
  // index.html. Paths leaving the folder answer 404.
  void ServeFolder(const std::filesystem::path& folder);

  // The requests received so far, in arrival order.
  std::vector<HttpRequest> Requests() const;
  // How many requests asked for this path (query ignored).
  std::size_t RequestCount(const std::string& path) const;
  // Waits until at least n requests have arrived; false on time-out.
  bool WaitForRequests(std::size_t n, std::chrono::milliseconds timeout) const;
  // Body bytes of scripted or handled answers handed to the socket for this
  // path (query ignored), over every request. A byte is counted before the
  // socket takes it, so a client that has read it never finds it uncounted;
  // while a send waits, up to 64 KiB it has not taken yet count too.
  std::uint64_t BodyBytesSent(const std::string& path) const;
  // Connections currently being served.
  int OpenConnections() const { return openConnections_.load(); }

  // Stops accepting, ends every connection and joins the threads.
  void Stop();

 private:
  struct Connection;
  void AcceptLoop();
  void HandleConnection(int fd);
  HttpResponse Answer(const HttpRequest& request);
  // countFor: the path whose body bytes these are, counted as they go.
  bool SendAll(int fd, const char* data, std::size_t size, const std::string* countFor = nullptr);
  bool WaitMs(int fd, int ms);
  void ReapFinished(bool all);

  int listenFd_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  int port_ = 0;
  std::string host_ = "127.0.0.1";
  std::atomic<bool> stopping_{false};
  std::atomic<int> openConnections_{0};
  std::thread acceptThread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable requestArrived_;
  std::map<std::string, HttpResponse> scripted_;
  Handler handler_;
  std::optional<std::filesystem::path> folder_;
  std::vector<HttpRequest> requests_;
  std::map<std::string, std::uint64_t> bodyBytesSent_;
  std::vector<std::unique_ptr<Connection>> connections_;
};

}  // namespace tvx::test
