#include "net/Internet.h"

#include <curl/curl.h>

#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "net/CurlTransfer.h"
#include "store/Text.h"

namespace tvx::net {

std::atomic<long> ClientLimits::stallTimeoutMs{60000};
std::atomic<long> ClientLimits::connectTimeoutMs{60000};
std::atomic<long> ClientLimits::lowSpeedWindowMs{60000};
std::atomic<long> ClientLimits::lowSpeedBytesPerSecond{16};

std::string FailureText(const std::string& message) {
  return std::string(TrimLineEnd(std::string_view(message).substr(0, 199)));
}

namespace {

using detail::CurlFailure;
using detail::CurlHandles;
using detail::CurlTransfer;

constexpr long kMaxRedirects = 10;
// Only these; a URL taken from a page must not reach local files or other services.
constexpr char kProtocols[] = "http,https,ftp";

struct ConnectSettings {
  std::string agent;
  long connectTimeoutMs;
  std::string caFile;
};

// Loopback never goes through a proxy; the user's own exceptions are kept.
std::string NoProxyList() {
  std::string list = "localhost,127.0.0.1,::1";
  for (const char* name : {"no_proxy", "NO_PROXY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return std::string(value) == "*" ? "*" : std::string(value) + "," + list;
  }
  return list;
}

void Configure(CURL* easy, const ConnectSettings& settings) {
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, settings.agent.c_str());
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, settings.connectTimeoutMs);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kProtocols);
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kProtocols);
  curl_easy_setopt(easy, CURLOPT_FTPPORT, "-");  // active mode
  // The server's connection back to us for the data is a connect too.
  curl_easy_setopt(easy, CURLOPT_ACCEPTTIMEOUT_MS, settings.connectTimeoutMs);
  std::string noProxy = NoProxyList();
  curl_easy_setopt(easy, CURLOPT_NOPROXY, noProxy.c_str());  // copied by libcurl
  if (!settings.caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, settings.caFile.c_str());
}

// An IPv6 address needs brackets inside a URL.
std::string HostForUrl(const std::string& host) {
  if (host.find(':') != std::string::npos && host.front() != '[') return "[" + host + "]";
  return host;
}

bool HasFtpScheme(const std::string& url) {
  std::optional<UrlParts> parts = ParseUrl(url);
  return parts && parts->scheme == "ftp";
}

struct UrlCleanup {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct TextCleanup {
  void operator()(char* text) const { curl_free(text); }
};

// Keeps the first header of each name: a header is only added where the
// request does not carry it yet. Entries may hold several CRLF-separated lines.
detail::HeaderList BuildHeaderList(const std::vector<std::string>& headers) {
  std::vector<std::string> lines;
  std::vector<std::string> names;
  for (const std::string& entry : headers) {
    std::size_t start = 0;
    while (start <= entry.size()) {
      std::size_t end = entry.find_first_of("\r\n", start);
      if (end == std::string::npos) end = entry.size();
      std::string line = entry.substr(start, end - start);
      start = end + 1;
      std::size_t colon = line.find(':');
      if (colon == 0 || colon == std::string::npos) continue;
      std::string name = line.substr(0, colon);
      while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
      bool known = false;
      for (const std::string& n : names) known = known || EqualsIgnoreCase(n, name);
      if (known || name.empty()) continue;
      names.push_back(name);
      lines.push_back(line);
    }
  }
  detail::HeaderList list;
  for (const std::string& line : lines) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (!grown) throw InternetError("Out of memory");
    (void)list.release();  // now part of grown
    list.reset(grown);
  }
  return list;
}

// FTP connections let go on threads of their own (Close), counted so that
// the process can wait for them. Never destroyed: a close still under way
// when the process ends must find it in place.
class BackgroundCloses {
 public:
  static BackgroundCloses& Instance() {
    static auto* instance = new BackgroundCloses;
    return *instance;
  }

  // Runs close on a thread of its own. When no thread can be had, close goes
  // (and with it what it holds) with the thread that could not be made.
  void Run(std::function<void()> close) {
    {
      std::lock_guard lock(mutex_);
      if (!waitsAtExit_) waitsAtExit_ = std::atexit(&WaitAtExit) == 0;
      ++pending_;
    }
    try {
      std::thread([this, close = std::move(close)]() mutable {
        close();
        close = nullptr;  // everything it held is let go before the count drops
        Done();
      }).detach();
    } catch (const std::system_error&) {
      Done();
    }
  }

  int Pending() {
    std::lock_guard lock(mutex_);
    return pending_;
  }

  bool WaitUntilNone(std::chrono::milliseconds bound) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, bound, [this] { return pending_ == 0; });
  }

 private:
  // A normal exit lets the servers have their goodbyes, but not for long.
  static void WaitAtExit() { Instance().WaitUntilNone(std::chrono::seconds(2)); }

  void Done() {
    std::lock_guard lock(mutex_);
    if (--pending_ == 0) idle_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable idle_;
  int pending_ = 0;
  bool waitsAtExit_ = false;
};

class FtpConnectionImpl final : public FtpConnection {
 public:
  FtpConnectionImpl(const ConnectSettings& settings, const FtpAuthority& server)
      : host_(server.host),
        port_(server.port > 0 ? server.port : 21),
        handles_(std::make_shared<CurlHandles>()) {
    CURL* easy = handles_->easy.get();
    Configure(easy, settings);
    curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, 0L);
    // MDTM with every file: a cut download keeps the time to resume by.
    curl_easy_setopt(easy, CURLOPT_FILETIME, 1L);
    if (!server.user.empty()) {
      curl_easy_setopt(easy, CURLOPT_USERNAME, server.user.c_str());
      curl_easy_setopt(easy, CURLOPT_PASSWORD, server.password.c_str());
    }
  }

  // Logs in (and does nothing else) so a refused login shows at once.
  void Login() {
    Prepare(BaseUrl() + "/", /*listOnly=*/false, /*noBody=*/true);
    CurlTransfer transfer(Handles(), {.http = false});
    transfer.Start();
    char sink[256];
    while (transfer.Read(sink, sizeof sink) > 0) {
    }
  }

  void SetCurrentDirectory(const std::string& dir) override {
    if (dir.empty()) return;
    dir_ = dir.front() == '/' ? dir : (dir_.empty() ? dir : dir_ + "/" + dir);
    // Empty path steps mean nothing to the server; drop them.
    std::string clean;
    for (char c : dir_) {
      if (c == '/' && !clean.empty() && clean.back() == '/') continue;
      clean += c;
    }
    while (clean.size() > 1 && clean.back() == '/') clean.pop_back();
    dir_ = clean;
  }

  bool FindFile(const std::string& name) override {
    std::shared_ptr<CurlHandles> handles = Handles();
    if (name.empty()) return false;
    Prepare(DirectoryUrl(), /*listOnly=*/true, /*noBody=*/false);
    CurlTransfer listing(handles, {.http = false});
    try {
      listing.Start();
      bool found = false;
      std::string line;
      while (listing.ReadLine(line)) {
        std::string entry = line.substr(line.find_last_of('/') + 1);
        found = found || line == name || entry == name;
      }
      return found;
    } catch (const CurlFailure& failure) {
      switch (failure.Code()) {
        case CURLE_REMOTE_ACCESS_DENIED:  // the directory change failed
        case CURLE_REMOTE_FILE_NOT_FOUND:
        case CURLE_FTP_COULDNT_RETR_FILE:  // some servers refuse to list an empty folder
          return false;
        default:
          throw;
      }
    }
  }

  std::unique_ptr<Transfer> OpenFile(const std::string& name, std::uint64_t from) override {
    std::shared_ptr<CurlHandles> handles = Handles();
    Prepare(DirectoryUrl() + detail::EscapeFtpPath(name), /*listOnly=*/false, /*noBody=*/false,
            from);
    auto transfer = std::make_unique<CurlTransfer>(
        handles,
        CurlTransfer::Options{.http = false, .mustMatchToldSize = true, .resumeFrom = from});
    try {
      transfer->Start();
    } catch (const CurlFailure& failure) {
      switch (failure.Code()) {
        case CURLE_FTP_COULDNT_USE_REST:
        case CURLE_BAD_DOWNLOAD_RESUME:
          throw ResumeRefused(failure.what());
        default:
          throw;
      }
    }
    return transfer;
  }

  FileFacts Describe(const std::string& name) override {
    std::shared_ptr<CurlHandles> handles = Handles();
    Prepare(DirectoryUrl() + detail::EscapeFtpPath(name), /*listOnly=*/false, /*noBody=*/true);
    CurlTransfer transfer(handles, {.http = false});
    transfer.Start();
    char sink[256];
    while (transfer.Read(sink, sizeof sink) > 0) {
    }
    return transfer.Facts();
  }

  ~FtpConnectionImpl() override { Close(); }

  // Closing sends QUIT and waits for the server's answer; a slow server
  // would hold the worker up to the response time-out for nothing, so the
  // connection is let go on a thread of its own.
  void Close() override {
    if (!handles_) return;
    BackgroundCloses::Instance().Run(
        [handles = std::move(handles_)]() mutable { handles.reset(); });
  }

 private:
  std::shared_ptr<CurlHandles> Handles() const {
    if (!handles_) throw InternetError("The FTP connection is closed");
    return handles_;
  }

  std::string BaseUrl() const { return "ftp://" + HostForUrl(host_) + ":" + std::to_string(port_); }

  // A leading "/" in the directory makes the URL path start with "//",
  // which libcurl takes as a path from the server's root.
  std::string DirectoryUrl() const {
    if (dir_.empty()) return BaseUrl() + "/";
    std::string url = BaseUrl() + "/" + detail::EscapeFtpPath(dir_);
    if (url.back() != '/') url += '/';
    return url;
  }

  void Prepare(const std::string& url, bool listOnly, bool noBody, std::uint64_t from = 0) {
    CURL* easy = Handles()->easy.get();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(from));
    curl_easy_setopt(easy, CURLOPT_DIRLISTONLY, listOnly ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_NOBODY, noBody ? 1L : 0L);
  }

  std::string host_;
  int port_;
  std::string dir_;
  std::shared_ptr<CurlHandles> handles_;
};

}  // namespace

std::string detail::ProxyExceptions() { return NoProxyList(); }

FtpAuthority ParseFtpAuthority(const std::string& text) {
  if (text.find_first_of("/?#") != std::string::npos)
    throw InternetError("The server part of the URL holds '/', '?' or '#': " + text);
  std::unique_ptr<CURLU, UrlCleanup> url(curl_url());
  if (!url) throw InternetError("Out of memory");
  std::string whole = "ftp://" + text + "/";
  if (CURLUcode rc = curl_url_set(url.get(), CURLUPART_URL, whole.c_str(), 0); rc != CURLUE_OK)
    throw InternetError(curl_url_strerror(rc));
  // A part the text does not hold reads as empty.
  auto part = [&](CURLUPart which, unsigned flags) {
    char* value = nullptr;
    CURLUcode rc = curl_url_get(url.get(), which, &value, flags);
    std::unique_ptr<char, TextCleanup> owned(value);
    return rc == CURLUE_OK && value ? std::string(value) : std::string();
  };
  FtpAuthority authority;
  authority.user = part(CURLUPART_USER, CURLU_URLDECODE);
  authority.password = part(CURLUPART_PASSWORD, CURLU_URLDECODE);
  authority.host = part(CURLUPART_HOST, 0);
  if (std::string port = part(CURLUPART_PORT, 0); !port.empty()) authority.port = std::stoi(port);
  if (authority.host.empty()) throw InternetError("No host name in the URL: " + text);
  return authority;
}

int PendingBackgroundCloses() { return BackgroundCloses::Instance().Pending(); }

bool WaitForBackgroundCloses(std::chrono::milliseconds bound) {
  return BackgroundCloses::Instance().WaitUntilNone(bound);
}

Session::Session(std::string agent)
    : agent_(std::move(agent)), connectTimeoutMs_(ClientLimits::connectTimeoutMs.load()) {
  detail::EnsureCurlInitialised();
  if (const char* ca = std::getenv(kCaFileVariable)) caFile_ = ca;
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
  const bool ranged = resume.from > 0;
  auto handles = std::make_shared<CurlHandles>();
  CURL* easy = handles->easy.get();
  Configure(easy, {agent_, connectTimeoutMs_, caFile_});
  std::string target = detail::EscapeUnsafeUrlBytes(url);
  curl_easy_setopt(easy, CURLOPT_URL, target.c_str());
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(easy, CURLOPT_FAILONERROR, failOnHttpError && !ranged ? 1L : 0L);
  if (ranged) {
    // CURLOPT_RANGE rather than CURLOPT_RESUME_FROM: libcurl would refuse a
    // whole file sent back, which is how a changed file is answered.
    std::string range = std::to_string(resume.from) + "-";
    curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());  // copied by libcurl
    if (!resume.validator.empty()) {
      handles->headers = BuildHeaderList({"If-Range: " + resume.validator});
      curl_easy_setopt(easy, CURLOPT_HTTPHEADER, handles->headers.get());
    }
  }
  CurlTransfer::Options options;
  options.http = !HasFtpScheme(url);
  options.followsRedirects = true;
  options.failOnHttpError = failOnHttpError;
  options.rangeRequest = ranged;
  auto transfer = std::make_unique<CurlTransfer>(std::move(handles), options);
  transfer->Start();
  return transfer;
}

std::unique_ptr<Transfer> Session::OpenRequest(const std::string& server, int port,
                                               const std::string& path,
                                               const std::vector<std::string>& headers,
                                               const std::string& scheme) {
  auto handles = std::make_shared<CurlHandles>();
  CURL* easy = handles->easy.get();
  Configure(easy, {agent_, connectTimeoutMs_, caFile_});
  std::string object = path.empty() || path.front() != '/' ? "/" + path : path;
  const bool tls = scheme == "https";
  std::string url = (tls ? "https://" : "http://") + HostForUrl(server) + ":" +
                    std::to_string(port > 0 ? port : (tls ? 443 : 80)) +
                    detail::EscapeUnsafeUrlBytes(object);
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  handles->headers = BuildHeaderList(headers);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, handles->headers.get());
  auto transfer = std::make_unique<CurlTransfer>(std::move(handles), CurlTransfer::Options{});
  transfer->Start();
  return transfer;
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
  auto connection = std::make_unique<FtpConnectionImpl>(
      ConnectSettings{agent_, connectTimeoutMs_, caFile_}, server);
  connection->Login();
  return connection;
}

void Session::Close() {
  // Nothing is held here: every transfer and connection owns its handles.
}

}  // namespace tvx::net
