#include "support/TestHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tvx::test {
namespace {

constexpr std::size_t kMaxRequestHead = 256 * 1024;
constexpr int kRequestHeadTimeoutMs = 10000;

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  std::size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::string ReasonFor(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 201:
      return "Created";
    case 204:
      return "No Content";
    case 206:
      return "Partial Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 304:
      return "Not Modified";
    case 307:
      return "Temporary Redirect";
    case 308:
      return "Permanent Redirect";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

std::string PercentDecode(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string ContentTypeFor(const std::filesystem::path& file) {
  std::string ext = file.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == ".html" || ext == ".htm") return "text/html";
  if (ext == ".txt") return "text/plain";
  if (ext == ".jpg" || ext == ".jpeg") return "image/jpeg";
  if (ext == ".gif") return "image/gif";
  if (ext == ".png") return "image/png";
  return "application/octet-stream";
}

std::optional<HttpRequest> ParseHead(const std::string& head) {
  std::istringstream in(head);
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  HttpRequest request;
  std::istringstream first(Trim(line));
  std::string version;
  if (!(first >> request.method >> request.target >> version)) return std::nullopt;
  request.path = request.target.substr(0, request.target.find('?'));
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty()) break;
    std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    request.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
  }
  return request;
}

}  // namespace

std::string HttpRequest::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (EqualNoCase(key, name)) return value;
  }
  return {};
}

bool HttpRequest::HasHeader(const std::string& name) const { return HeaderCount(name) > 0; }

std::size_t HttpRequest::HeaderCount(const std::string& name) const {
  return static_cast<std::size_t>(std::count_if(
      headers.begin(), headers.end(), [&](const auto& h) { return EqualNoCase(h.first, name); }));
}

HttpResponse HttpResponse::Ok(std::string body, std::string contentType) {
  HttpResponse r;
  r.body = std::move(body);
  r.headers.emplace_back("Content-Type", std::move(contentType));
  return r;
}

HttpResponse HttpResponse::Html(std::string body) { return Ok(std::move(body), "text/html"); }

HttpResponse HttpResponse::Status(int status, std::string body) {
  HttpResponse r;
  r.status = status;
  r.body = std::move(body);
  return r;
}

HttpResponse HttpResponse::Redirect(std::string location, int status) {
  HttpResponse r;
  r.status = status;
  r.headers.emplace_back("Location", std::move(location));
  r.body = "moved";
  return r;
}

HttpResponse HttpResponse::EndlessLine(char fill) {
  HttpResponse r;
  r.endless = true;
  r.endlessFill = fill;
  r.sendContentLength = false;
  r.headers.emplace_back("Content-Type", "text/html");
  return r;
}

HttpResponse HttpResponse::HugeHeader(std::size_t valueBytes, std::string body) {
  HttpResponse r = Ok(std::move(body), "text/plain");
  r.headers.emplace_back("X-Huge", std::string(valueBytes, 'h'));
  return r;
}

struct TestHttpServer::Connection {
  std::thread thread;
  std::atomic<bool> finished{false};
};

TestHttpServer::TestHttpServer() : TestHttpServer("127.0.0.1") {}

TestHttpServer::TestHttpServer(const std::string& loopbackAddress) : host_(loopbackAddress) {
  in_addr bindAddress{};
  if (inet_pton(AF_INET, host_.c_str(), &bindAddress) != 1 ||
      (ntohl(bindAddress.s_addr) >> 24) != 127)
    throw std::runtime_error("not a loopback address: " + host_);
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe failed");
  wakeRead_ = pipeFds[0];
  wakeWrite_ = pipeFds[1];

  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("socket failed");
  int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr = bindAddress;
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listenFd_, 128) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    int err = errno;
    close(listenFd_);
    close(wakeRead_);
    close(wakeWrite_);
    throw std::runtime_error(std::string("cannot listen: ") + std::strerror(err));
  }
  port_ = ntohs(addr.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

TestHttpServer::~TestHttpServer() { Stop(); }

std::string TestHttpServer::Url(const std::string& path) const {
  return "http://" + host_ + ":" + std::to_string(port_) + path;
}

void TestHttpServer::Serve(const std::string& target, HttpResponse response) {
  std::lock_guard lock(mutex_);
  scripted_[target] = std::move(response);
}

void TestHttpServer::SetHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

void TestHttpServer::ServeFolder(const std::filesystem::path& folder) {
  std::lock_guard lock(mutex_);
  folder_ = std::filesystem::absolute(folder);
}

std::vector<HttpRequest> TestHttpServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t TestHttpServer::RequestCount(const std::string& path) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(std::count_if(requests_.begin(), requests_.end(),
                                                [&](const auto& r) { return r.path == path; }));
}

bool TestHttpServer::WaitForRequests(std::size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return requestArrived_.wait_for(lock, timeout, [&] { return requests_.size() >= n; });
}

void TestHttpServer::Stop() {
  if (stopping_.exchange(true)) return;
  // The byte stays in the pipe, so every later poll on it wakes at once.
  char byte = 1;
  [[maybe_unused]] ssize_t ignored = write(wakeWrite_, &byte, 1);
  if (acceptThread_.joinable()) acceptThread_.join();
  ReapFinished(true);
  close(listenFd_);
  close(wakeRead_);
  close(wakeWrite_);
}

void TestHttpServer::ReapFinished(bool all) {
  std::vector<std::unique_ptr<Connection>> done;
  {
    std::lock_guard lock(mutex_);
    auto it = std::partition(connections_.begin(), connections_.end(),
                             [&](const auto& c) { return !all && !c->finished.load(); });
    std::move(it, connections_.end(), std::back_inserter(done));
    connections_.erase(it, connections_.end());
  }
  for (auto& c : done) c->thread.join();
}

void TestHttpServer::AcceptLoop() {
  while (!stopping_.load()) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    if (poll(fds, 2, 1000) < 0 && errno != EINTR) break;
    if (stopping_.load()) break;
    if (!(fds[0].revents & POLLIN)) continue;
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    ReapFinished(false);
    auto connection = std::make_unique<Connection>();
    Connection* raw = connection.get();
    ++openConnections_;
    raw->thread = std::thread([this, fd, raw] {
      HandleConnection(fd);
      --openConnections_;
      raw->finished.store(true);
    });
    std::lock_guard lock(mutex_);
    connections_.push_back(std::move(connection));
  }
}

// Waits until fd is readable (or writable when `forWrite`) for at most ms;
// false when it is not, or when the server is stopping.
static bool PollFd(int fd, int wakeFd, short events, int ms) {
  pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
  int n = poll(fds, 2, ms);
  if (n <= 0) return false;
  if (fds[1].revents) return false;
  return fds[0].revents != 0;
}

bool TestHttpServer::WaitMs(int fd, int ms) {
  return PollFd(fd, wakeRead_, POLLIN, ms) && !stopping_.load();
}

bool TestHttpServer::SendAll(int fd, const char* data, std::size_t size,
                             const std::string* countFor) {
  constexpr std::size_t kPiece = 64 * 1024;
  auto count = [&](std::int64_t bytes) {
    if (!countFor || bytes == 0) return;
    std::lock_guard lock(mutex_);
    std::uint64_t& total = bodyBytesSent_[*countFor];
    if (bytes > 0)
      total += static_cast<std::uint64_t>(bytes);
    else
      total -= static_cast<std::uint64_t>(-bytes);
  };
  while (size > 0) {
    if (stopping_.load()) return false;
    // Counted first: the client may read the bytes before this thread runs
    // again, and a test that saw the transfer end then finds them counted.
    const std::size_t piece = countFor ? std::min(size, kPiece) : size;
    count(static_cast<std::int64_t>(piece));
    ssize_t sent = send(fd, data, piece, MSG_NOSIGNAL | MSG_DONTWAIT);
    count(-static_cast<std::int64_t>(piece - static_cast<std::size_t>(std::max<ssize_t>(sent, 0))));
    if (sent > 0) {
      data += sent;
      size -= static_cast<std::size_t>(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      PollFd(fd, wakeRead_, POLLOUT, 100);
      continue;
    }
    return false;
  }
  return true;
}

HttpResponse TestHttpServer::Answer(const HttpRequest& request) {
  Handler handler;
  std::optional<std::filesystem::path> folder;
  {
    std::lock_guard lock(mutex_);
    auto it = scripted_.find(request.target);
    if (it == scripted_.end()) it = scripted_.find(request.path);
    if (it != scripted_.end()) return it->second;
    handler = handler_;
    folder = folder_;
  }
  if (handler) return handler(request);
  if (folder) {
    std::string relative = PercentDecode(request.path);
    while (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
    std::filesystem::path file = (*folder / relative).lexically_normal();
    auto rel = file.lexically_relative(*folder);
    if (!rel.empty() && *rel.begin() != "..") {
      std::error_code ec;
      if (std::filesystem::is_directory(file, ec)) file /= "index.html";
      std::ifstream in(file, std::ios::binary);
      if (in) {
        std::ostringstream content;
        content << in.rdbuf();
        return HttpResponse::Ok(content.str(), ContentTypeFor(file));
      }
    }
  }
  return HttpResponse::Status(404, "<html><body>Not Found</body></html>");
}

std::uint64_t TestHttpServer::BodyBytesSent(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto it = bodyBytesSent_.find(path);
  return it == bodyBytesSent_.end() ? 0 : it->second;
}

void TestHttpServer::HandleConnection(int fd) {
  std::string head;
  auto started = std::chrono::steady_clock::now();
  char buffer[16384];
  while (head.find("\r\n\r\n") == std::string::npos && head.find("\n\n") == std::string::npos) {
    if (head.size() > kMaxRequestHead || stopping_.load() ||
        std::chrono::steady_clock::now() - started >
            std::chrono::milliseconds(kRequestHeadTimeoutMs)) {
      close(fd);
      return;
    }
    if (!WaitMs(fd, 100)) continue;
    ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
      close(fd);
      return;
    }
    if (got > 0) head.append(buffer, static_cast<std::size_t>(got));
  }

  std::optional<HttpRequest> request = ParseHead(head);
  if (!request) {
    close(fd);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    request->at = std::chrono::steady_clock::now();
    requests_.push_back(*request);
  }
  requestArrived_.notify_all();

  HttpResponse response = Answer(*request);
  bool sendBody = request->method != "HEAD";
  bool hasLength = response.sendContentLength && !response.endless;

  std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " +
                    (response.reason.empty() ? ReasonFor(response.status) : response.reason) +
                    "\r\n";
  bool hasType = false;
  for (const auto& [name, value] : response.headers) {
    if (EqualNoCase(name, "Content-Type")) hasType = true;
    out += name + ": " + value + "\r\n";
  }
  if (!hasType) out += "Content-Type: text/plain\r\n";
  if (hasLength) {
    out +=
        "Content-Length: " + std::to_string(response.contentLength.value_or(response.body.size())) +
        "\r\n";
  }
  out += "Connection: close\r\n\r\n";

  bool ok = SendAll(fd, out.data(), out.size());
  std::size_t limit =
      std::min({response.body.size(), response.closeAfterBytes, response.stallAfterBytes});
  if (!sendBody) limit = 0;
  std::size_t sent = 0;
  while (ok && sent < limit) {
    std::size_t piece = response.dripBytes > 0 ? response.dripBytes : limit - sent;
    piece = std::min(piece, limit - sent);
    ok = SendAll(fd, response.body.data() + sent, piece, &request->path);
    sent += piece;
    if (ok && sent < limit && response.dripIntervalMs > 0) {
      // Sleeps, but wakes at once when the server stops.
      PollFd(wakeRead_, wakeRead_, POLLIN, response.dripIntervalMs);
      ok = !stopping_.load();
    }
  }

  bool stalled = sendBody && response.stallAfterBytes != HttpResponse::kAll &&
                 response.stallAfterBytes <= response.body.size() &&
                 response.stallAfterBytes < response.closeAfterBytes;
  if (ok && stalled) {
    // Hold the connection open, sending nothing, until the client leaves.
    while (!stopping_.load()) {
      if (!WaitMs(fd, 100)) continue;
      ssize_t got = recv(fd, buffer, sizeof buffer, 0);
      if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) break;
    }
    ok = false;
  }

  bool cut = sendBody && response.closeAfterBytes < response.body.size();
  if (ok && sendBody && response.endless && !cut) {
    std::string fill(16384, response.endlessFill);
    while (SendAll(fd, fill.data(), fill.size())) {
    }
    ok = false;
  }

  if (response.resetOnClose) {
    linger hard{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    close(fd);
    return;
  }
  shutdown(fd, SHUT_WR);
  // Let the client read what was sent before the socket goes away; anything
  // it still sends is read and dropped so the close does not turn into a reset.
  auto closing = std::chrono::steady_clock::now();
  while (!stopping_.load() &&
         std::chrono::steady_clock::now() - closing < std::chrono::milliseconds(2000)) {
    if (!WaitMs(fd, 50)) continue;
    ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) break;
  }
  close(fd);
}

}  // namespace tvx::test
