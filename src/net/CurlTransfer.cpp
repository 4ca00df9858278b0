#include "net/CurlTransfer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>

#include "store/Text.h"

namespace tvx::net::detail {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Longest single wait inside libcurl, so the stall check stays responsive.
constexpr milliseconds kPollSlice{100};

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

bool FollowedRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The value of a "Name: value" header line when its name is `name`.
std::optional<std::string_view> HeaderValue(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':' ||
      !EqualsIgnoreCase(line.substr(0, name.size()), name))
    return std::nullopt;
  return TrimBlanks(TrimLineEnd(line.substr(name.size() + 1)));
}

std::optional<std::uint64_t> ParseCount(std::string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

void EnsureCurlInitialised() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw std::bad_alloc();
  });
}

CurlHandles::CurlHandles() {
  EnsureCurlInitialised();
  multi.reset(curl_multi_init());
  easy.reset(curl_easy_init());
  if (!easy || !multi) throw InternetError("Out of memory");
}

CurlHandles::~CurlHandles() {
  if (busy) curl_multi_remove_handle(multi.get(), easy.get());
}

std::string EscapeUnsafeUrlBytes(const std::string& url) {
  std::string out;
  out.reserve(url.size());
  for (char ch : url) {
    auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}", ch) != nullptr) {
      AppendPercentEscape(out, c);
    } else {
      out += ch;
    }
  }
  return out;
}

std::string EscapeFtpPath(const std::string& path) {
  std::string out;
  for (char ch : path) {
    auto c = static_cast<unsigned char>(ch);
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 std::strchr("-._~/", ch) != nullptr;
    if (plain && c != 0) {
      out += ch;
    } else {
      AppendPercentEscape(out, c);
    }
  }
  return out;
}

CurlTransfer::CurlTransfer(std::shared_ptr<CurlHandles> handles, Options options)
    : handles_(std::move(handles)), options_(options) {
  CURL* easy = handles_->easy.get();
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 128L * 1024);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlTransfer::OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlTransfer::OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer_);
  if (!options_.http) {
    // Only to see the steps of an FTP transfer (OnDebug); nothing is printed.
    curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, &CurlTransfer::OnDebug);
    curl_easy_setopt(easy, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L);
  }
}

CurlTransfer::~CurlTransfer() { Close(); }

void CurlTransfer::Start() {
  if (handles_->busy) throw InternetError("The connection is busy with another transfer");
  CURLMcode added = curl_multi_add_handle(handles_->multi.get(), handles_->easy.get());
  if (added != CURLM_OK) throw InternetError(curl_multi_strerror(added));
  handles_->busy = true;
  attached_ = true;
  Pump([this] { return ready_; });
  // A failure after the response began (a body cut short) is reported when
  // the reader gets to it, after the bytes that did arrive.
  if (done_ && !ready_) ThrowIfFailed();
  ready_ = true;
  if (!options_.http) ReadFtpFacts();
  if (options_.failOnHttpError && status_ >= 400 && options_.rangeRequest) {
    if (status_ == 416) return;
    // The words libcurl uses for the same refusal.
    throw CurlFailure(CURLE_HTTP_RETURNED_ERROR,
                      "The requested URL returned error: " + std::to_string(status_));
  }
  if (options_.failOnHttpError && status_ >= 400) {
    // libcurl ends the transfer itself and gives the message; wait for it.
    Pump([] { return false; });
    ThrowIfFailed();
  }
}

std::size_t CurlTransfer::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto* t = static_cast<CurlTransfer*>(self);
  std::size_t bytes = size * count;
  if (t->Buffered() >= kMaxAhead) {
    // libcurl keeps this piece and hands it over again after the reader
    // has made room and the transfer is resumed.
    t->paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  if (t->pos_ > 0 && t->pos_ >= t->buffer_.size() / 2) {
    t->buffer_.erase(0, t->pos_);
    t->pos_ = 0;
  }
  t->buffer_.append(data, bytes);
  t->received_ += bytes;
  t->progressed_ = true;
  t->ready_ = true;
  return bytes;
}

std::size_t CurlTransfer::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
  auto* t = static_cast<CurlTransfer*>(self);
  std::size_t bytes = size * count;
  t->progressed_ = true;
  if (!t->options_.http) return bytes;
  std::string_view line(data, bytes);
  if (StartsWithIgnoringCase(line, "http/")) {
    t->blockHasLocation_ = false;
    t->told_ = {};
    t->contentLength_.reset();
    t->hasContentRange_ = false;
  } else if (StartsWithIgnoringCase(line, "location:")) {
    t->blockHasLocation_ = true;
  } else if (auto etag = HeaderValue(line, "etag")) {
    t->told_.etag = *etag;
  } else if (auto modified = HeaderValue(line, "last-modified")) {
    t->told_.lastModified = *modified;
  } else if (auto wait = HeaderValue(line, "retry-after")) {
    t->told_.retryAfter = *wait;
  } else if (auto length = HeaderValue(line, "content-length")) {
    t->contentLength_ = ParseCount(*length);
  } else if (auto range = HeaderValue(line, "content-range")) {
    // "bytes first-last/total" (206) or "bytes */total" (416).
    if (StartsWithIgnoringCase(*range, "bytes ")) {
      std::string_view rangeText = TrimBlanks(range->substr(6));
      std::size_t slash = rangeText.find('/');
      std::size_t dash = rangeText.find('-');
      if (slash != std::string_view::npos) {
        t->told_.size = ParseCount(rangeText.substr(slash + 1));
        if (dash != std::string_view::npos && dash < slash) {
          if (auto first = ParseCount(rangeText.substr(0, dash))) {
            t->told_.offset = *first;
            t->hasContentRange_ = true;
          }
        }
      }
    }
  } else if ((bytes == 2 && data[0] == '\r' && data[1] == '\n') ||
             (bytes == 1 && data[0] == '\n')) {
    long status = 0;
    curl_easy_getinfo(t->handles_->easy.get(), CURLINFO_RESPONSE_CODE, &status);
    bool interim = status >= 100 && status < 200;
    bool willFollow =
        t->options_.followsRedirects && t->blockHasLocation_ && FollowedRedirect(status);
    if (!interim && !willFollow) {
      t->status_ = status;
      t->ready_ = true;
    }
  }
  return bytes;
}

// libcurl 7.88 reports a harmless "sa_addr inet_ntop() failed" while it
// sets up the active-mode data port and again when it accepts the data
// connection. The error buffer keeps only the first message of a transfer,
// so that text would stand in for whatever really goes wrong afterwards: the
// buffer is detached for those two steps only (the step after the port
// command is sent, and the one after the connection is accepted). The errno
// that step leaves behind is cleared too, since a later message about a
// closed connection quotes whatever errno holds.
int CurlTransfer::OnDebug(CURL* easy, curl_infotype type, char* data, std::size_t size,
                          void* self) {
  auto* t = static_cast<CurlTransfer*>(self);
  if (!t) return 0;
  std::string_view text(data, size);
  if (t->errorsMuted_) {
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, t->errorBuffer_);
    t->errorsMuted_ = false;
    if (type == CURLINFO_TEXT && StartsWithIgnoringCase(text, "sa_addr inet_ntop() failed"))
      errno = 0;
  }
  if (type == CURLINFO_HEADER_IN) t->lastReply_ = TrimLineEnd(text);
  bool portSent = type == CURLINFO_HEADER_OUT &&
                  (StartsWithIgnoringCase(text, "EPRT ") || StartsWithIgnoringCase(text, "PORT "));
  bool accepted =
      type == CURLINFO_TEXT && StartsWithIgnoringCase(text, "Connection accepted from server");
  if (portSent || accepted) {
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
    t->errorsMuted_ = true;
  }
  return 0;
}

void CurlTransfer::Consume(std::size_t n) {
  pos_ += n;
  if (pos_ == buffer_.size()) {
    buffer_.clear();
    pos_ = 0;
  }
}

void CurlTransfer::ResumeIfRoom() {
  if (paused_ && attached_ && Buffered() < kMaxAhead / 2) {
    paused_ = false;
    // May call OnBody at once with the piece held back.
    curl_easy_pause(handles_->easy.get(), CURLPAUSE_CONT);
  }
}

template <typename Ready>
void CurlTransfer::Pump(Ready ready) {
  while (!done_ && !ready()) {
    if (!attached_) return;
    ResumeIfRoom();
    if (ready()) return;
    Clock::time_point began = Clock::now();
    progressed_ = false;
    int running = 0;
    CURLMcode code = curl_multi_perform(handles_->multi.get(), &running);
    if (code != CURLM_OK) throw InternetError(curl_multi_strerror(code));
    CollectResult();
    if (progressed_) {
      stalled_ = milliseconds{0};
      CheckSpeed(Clock::now() - began);
      continue;
    }
    if (done_ || ready()) return;
    long limitMs = ClientLimits::stallTimeoutMs.load();
    long leftMs = std::max<long>(1, limitMs - static_cast<long>(stalled_.count()));
    int waitMs = static_cast<int>(std::min<long>(kPollSlice.count(), leftMs));
    code = curl_multi_poll(handles_->multi.get(), nullptr, 0, waitMs, nullptr);
    if (code != CURLM_OK) throw InternetError(curl_multi_strerror(code));
    Clock::duration spent = Clock::now() - began;
    stalled_ += std::chrono::duration_cast<milliseconds>(spent);
    CheckSpeed(spent);
    if (stalled_.count() >= limitMs) {
      throw InternetError("Operation timed out: no data received for " + std::to_string(limitMs) +
                          " milliseconds");
    }
  }
}

void CurlTransfer::CheckSpeed(Clock::duration spent) {
  window_ += spent;
  long windowMs = ClientLimits::lowSpeedWindowMs.load();
  if (std::chrono::duration_cast<milliseconds>(window_).count() < windowMs) return;
  long minimum = ClientLimits::lowSpeedBytesPerSecond.load();
  std::uint64_t bytes = received_ - windowBytes_;
  auto spentMs = std::chrono::duration_cast<milliseconds>(window_).count();
  window_ = {};
  windowBytes_ = received_;
  if (minimum > 0 && bytes * 1000 < static_cast<std::uint64_t>(minimum) * spentMs) {
    throw InternetError("Operation too slow: less than " + std::to_string(minimum) +
                        " bytes per second received over " + std::to_string(windowMs / 1000) +
                        " seconds");
  }
}

void CurlTransfer::CollectResult() {
  int left = 0;
  CURL* easy = handles_->easy.get();
  while (CURLMsg* msg = curl_multi_info_read(handles_->multi.get(), &left)) {
    if (msg->msg != CURLMSG_DONE || msg->easy_handle != easy) continue;
    done_ = true;
    result_ = msg->data.result;
    if (options_.http) {
      long status = 0;
      curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
      if (status != 0) status_ = status;
    }
    curl_off_t told = -1;
    if (result_ == CURLE_OK && options_.mustMatchToldSize &&
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &told) == CURLE_OK &&
        told >= 0 && received_ != static_cast<std::uint64_t>(told)) {
      result_ = CURLE_PARTIAL_FILE;
      std::snprintf(errorBuffer_, sizeof errorBuffer_,
                    "Received only partial file: %llu of %lld bytes",
                    static_cast<unsigned long long>(received_), static_cast<long long>(told));
    }
    if (result_ != CURLE_OK) {
      failure_ = errorBuffer_[0] != '\0' ? errorBuffer_ : curl_easy_strerror(result_);
      if (result_ == CURLE_OUT_OF_MEMORY && options_.http && !ready_) {
        // libcurl refuses an oversized header this way, without a text.
        failure_ = "The response headers are too large (or memory ran out)";
      }
      failure_ = std::string(TrimLineEnd(failure_));
      // A refusal from the server that libcurl's words leave out.
      bool refused = !lastReply_.empty() && (lastReply_[0] == '4' || lastReply_[0] == '5');
      if (refused && failure_.find(lastReply_.substr(0, 3)) == std::string::npos)
        failure_ += " (" + lastReply_ + ")";
    }
    if (!options_.http) ReadFtpFacts();
    // Give the connection back to the cache at once (FTP reuses it).
    curl_multi_remove_handle(handles_->multi.get(), easy);
    handles_->busy = false;
    attached_ = false;
  }
}

void CurlTransfer::ReadFtpFacts() {
  // SIZE (of what is left after REST) and MDTM, once the server answered them.
  CURL* easy = handles_->easy.get();
  curl_off_t size = -1, time = -1;
  if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size) == CURLE_OK && size >= 0)
    told_.size = static_cast<std::uint64_t>(size) + options_.resumeFrom;
  if (curl_easy_getinfo(easy, CURLINFO_FILETIME_T, &time) == CURLE_OK && time >= 0)
    told_.modifiedTime = time;
  told_.offset = options_.resumeFrom;
}

void CurlTransfer::ThrowIfFailed() {
  if (done_ && result_ != CURLE_OK) throw CurlFailure(result_, failure_);
}

void CurlTransfer::SetReadBufferSize(std::size_t) {
  // libcurl buffers on its own and this client reads up to kMaxAhead ahead
  // of the caller; the caller's size is only a performance hint.
}

std::size_t CurlTransfer::Read(char* buffer, std::size_t n) {
  if (closed_ || n == 0) return 0;
  Pump([this] { return Buffered() > 0; });
  std::size_t take = std::min(n, Buffered());
  if (take == 0) {
    ThrowIfFailed();
    return 0;
  }
  std::memcpy(buffer, buffer_.data() + pos_, take);
  Consume(take);
  ResumeIfRoom();
  return take;
}

bool CurlTransfer::HaveData() {
  if (Buffered() > 0) return true;
  Pump([this] { return Buffered() > 0; });
  if (Buffered() > 0) return true;
  ThrowIfFailed();
  return false;
}

bool CurlTransfer::DropRestOfLine() {
  while (HaveData()) {
    if (lineBytes_ > ClientLimits::kMaxLineRead) {
      throw InternetError("A line of more than " +
                          std::to_string(ClientLimits::kMaxLineRead >> 20) +
                          " MB without a line break");
    }
    const char* data = buffer_.data() + pos_;
    const std::size_t avail = Buffered();
    const void* lf = std::memchr(data, '\n', avail);
    const std::size_t n =
        lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - data) + 1 : avail;
    Consume(n);
    ResumeIfRoom();
    if (lf) {
      droppingLine_ = false;
      return true;
    }
    lineBytes_ += n;
  }
  droppingLine_ = false;
  return false;
}

bool CurlTransfer::ReadLine(std::string& line) {
  constexpr std::size_t kMax = ClientLimits::kMaxLine;
  line.clear();
  if (closed_) return false;
  if (droppingLine_ && !DropRestOfLine()) return false;
  bool any = false;
  while (HaveData()) {
    const char* data = buffer_.data() + pos_;
    const std::size_t avail = Buffered();
    const void* lf = std::memchr(data, '\n', avail);
    const std::size_t piece =
        lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - data) : avail;
    any = any || piece > 0;
    // Taken in runs between carriage returns, which are dropped.
    for (std::size_t i = 0; i < piece;) {
      const void* cr = std::memchr(data + i, '\r', piece - i);
      const std::size_t runEnd =
          cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - data) : piece;
      const std::size_t room = kMax - line.size();
      if (runEnd - i > room) {
        // Longer than a line may be: its first part is the line, the rest
        // goes unread until the next call drops it.
        line.append(data + i, room);
        Consume(i + room);
        ResumeIfRoom();
        droppingLine_ = true;
        lineBytes_ = kMax;
        return true;
      }
      line.append(data + i, runEnd - i);
      i = cr ? runEnd + 1 : runEnd;
    }
    Consume(lf ? piece + 1 : piece);
    ResumeIfRoom();
    if (lf) return true;
  }
  return any;
}

long CurlTransfer::StatusCode() {
  if (!options_.http || closed_) return options_.http ? status_ : 0;
  Pump([this] { return ready_; });
  if (!ready_) ThrowIfFailed();
  return status_;
}

FileFacts CurlTransfer::Facts() {
  if (!options_.http) return told_;
  StatusCode();
  FileFacts facts = told_;
  if (status_ == 206 && hasContentRange_) return facts;
  facts.offset = 0;
  if (status_ != 416) facts.size = contentLength_;
  return facts;
}

void CurlTransfer::Close() {
  if (closed_) return;
  closed_ = true;
  CURL* easy = handles_->easy.get();
  if (attached_) {
    curl_multi_remove_handle(handles_->multi.get(), easy);
    handles_->busy = false;
    attached_ = false;
  }
  // The handle may outlive this object (FTP); leave nothing pointing here.
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, nullptr);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, nullptr);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(easy, CURLOPT_DEBUGDATA, nullptr);
  curl_easy_setopt(easy, CURLOPT_VERBOSE, 0L);
  handles_.reset();
  buffer_.clear();
  buffer_.shrink_to_fit();
  pos_ = 0;
}

}  // namespace tvx::net::detail
