#include "net/Ftp.h"

#include <curl/curl.h>

#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "net/CurlHandles.h"
#include "net/CurlTransfer.h"
#include "net/TransferPolicy.h"

namespace tvx::net {
namespace {

using detail::CurlFailure;
using detail::CurlHandles;
using detail::CurlTransfer;

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
  FtpConnectionImpl(const detail::PolicySettings& settings, const FtpAuthority& server)
      : host_(server.host),
        port_(server.port > 0 ? server.port : 21),
        handles_(std::make_shared<CurlHandles>()) {
    CURL* easy = handles_->easy.get();
    detail::ApplyTransferPolicy(easy, settings, detail::Schemes::WebAndFtp);
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
    Prepare(BaseUrl() + "/", Step::Describe);
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
    Prepare(DirectoryUrl(), Step::List);
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
    // The size is asked first and held against what comes: libcurl, asking
    // itself, would stop at the told size and call a longer file whole.
    const FileFacts told = Describe(name);
    if (from > 0 && told.size && from > *told.size) {
      throw ResumeRefused("Offset (" + std::to_string(from) + ") was beyond file size (" +
                          std::to_string(*told.size) + ")");
    }
    std::shared_ptr<CurlHandles> handles = Handles();
    Prepare(DirectoryUrl() + detail::EscapeFtpPath(name), Step::Fetch, from);
    auto transfer =
        std::make_unique<CurlTransfer>(handles, CurlTransfer::Options{.http = false,
                                                                      .mustMatchToldSize = true,
                                                                      .resumeFrom = from,
                                                                      .told = told,
                                                                      .fetchesFile = true});
    try {
      transfer->Start();
    } catch (const CurlFailure& failure) {
      switch (failure.Code()) {
        case CURLE_QUOTE_ERROR:  // REST refused
          if (from == 0) throw;
          throw ResumeRefused(failure.what());
        default:
          throw;
      }
    }
    return transfer;
  }

  FileFacts Describe(const std::string& name) override {
    std::shared_ptr<CurlHandles> handles = Handles();
    Prepare(DirectoryUrl() + detail::EscapeFtpPath(name), Step::Describe);
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
  enum class Step {
    Describe,  // no data connection: the login, SIZE and MDTM
    List,      // the names in a directory
    Fetch,     // a file's bytes, without SIZE (see OpenFile)
  };

  std::shared_ptr<CurlHandles> Handles() const {
    if (!handles_) throw InternetError("The FTP connection is closed");
    return handles_;
  }

  std::string BaseUrl() const {
    return "ftp://" + detail::HostForUrl(host_) + ":" + std::to_string(port_);
  }

  // A leading "/" in the directory makes the URL path start with "//",
  // which libcurl takes as a path from the server's root.
  std::string DirectoryUrl() const {
    if (dir_.empty()) return BaseUrl() + "/";
    std::string url = BaseUrl() + "/" + detail::EscapeFtpPath(dir_);
    if (url.back() != '/') url += '/';
    return url;
  }

  // A fetch sends one command of its own just before RETR: REST for a file
  // asked from an offset (libcurl, not asking for the size, would not send
  // it), else NOOP. Without a step between PORT and RETR, libcurl 7.88 now
  // and then ends the transfer as done, without data, when the server
  // connects back only after it has answered RETR.
  void Prepare(const std::string& url, Step step, std::uint64_t from = 0) {
    const std::shared_ptr<CurlHandles> handles = Handles();
    CURL* easy = handles->easy.get();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_DIRLISTONLY, step == Step::List ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_NOBODY, step == Step::Describe ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_IGNORE_CONTENT_LENGTH, step == Step::Fetch ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_PREQUOTE, nullptr);
    handles->commands.reset();
    if (step == Step::Fetch) {
      const std::string command = from > 0 ? "REST " + std::to_string(from) : "NOOP";
      detail::AppendHeader(handles->commands, command.c_str());
      curl_easy_setopt(easy, CURLOPT_PREQUOTE, handles->commands.get());
    }
  }

  std::string host_;
  int port_;
  std::string dir_;
  std::shared_ptr<CurlHandles> handles_;
};

}  // namespace

int PendingBackgroundCloses() { return BackgroundCloses::Instance().Pending(); }

bool WaitForBackgroundCloses(std::chrono::milliseconds bound) {
  return BackgroundCloses::Instance().WaitUntilNone(bound);
}

namespace detail {

std::unique_ptr<FtpConnection> ConnectFtp(const PolicySettings& settings,
                                          const FtpAuthority& server) {
  auto connection = std::make_unique<FtpConnectionImpl>(settings, server);
  connection->Login();
  return connection;
}

}  // namespace detail
}  // namespace tvx::net
