#include "net/CurlTransfer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
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

CurlTransfer::CurlTransfer(std::shared_ptr<CurlHandles> handles, Options options)
    : handles_(std::move(handles)), options_(options) {
  CURL* easy = handles_->easy.get();
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 128L * 1024);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlTransfer::OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlTransfer::OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  errorText_.Attach(easy, /*ftp=*/!options_.http);
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
    // A server may refuse a range it cannot serve (416 past the file's end,
    // or any other 4xx): the caller asks for the whole file instead.
    if (status_ < 500) return;
    // The words libcurl uses for the same refusal.
    const std::string text = "The requested URL returned error: " + std::to_string(status_);
    if (status_ == 503) throw SlowDown(text, told_.retryAfter);
    throw CurlFailure(CURLE_HTTP_RETURNED_ERROR, text);
  }
  if (options_.failOnHttpError && status_ >= 400) {
    // libcurl ends the transfer itself and gives the message; wait for it.
    Pump([] { return false; });
    if (status_ == 429 || status_ == 503) {
      try {
        ThrowIfFailed();
      } catch (const InternetError& e) {
        throw SlowDown(e.what(), told_.retryAfter);
      }
    }
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
  t->seen_ += bytes;
  t->ready_ = true;
  return bytes;
}

std::size_t CurlTransfer::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
  auto* t = static_cast<CurlTransfer*>(self);
  std::size_t bytes = size * count;
  t->seen_ += bytes;
  if (!t->options_.http) return bytes;
  std::string_view line(data, bytes);
  if (StartsWithIgnoringCase(line, "http/")) {
    t->location_.clear();
    t->told_ = {};
    t->contentLength_.reset();
    t->transferEncoded_ = false;
    t->hasContentRange_ = false;
  } else if (auto location = HeaderValue(line, "location")) {
    t->location_ = *location;
  } else if (auto retry = HeaderValue(line, "retry-after")) {
    t->told_.retryAfter = *retry;
  } else if (HeaderValue(line, "transfer-encoding")) {
    t->transferEncoded_ = true;
  } else if (auto etag = HeaderValue(line, "etag")) {
    t->told_.etag = *etag;
  } else if (auto modified = HeaderValue(line, "last-modified")) {
    t->told_.lastModified = *modified;
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
        t->options_.followsRedirects && !t->location_.empty() && FollowedRedirect(status);
    if (willFollow) {
      if (std::optional<std::string> refused = RefusedRedirect(t->location_)) {
        t->refusal_ = *refused;
        return 0;  // ends the transfer before libcurl follows it
      }
    }
    if (!interim && !willFollow) {
      t->status_ = status;
      t->ready_ = true;
    }
  }
  return bytes;
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

// Time counts from the call on, so a reader that stopped asking stalls
// nothing. Each stretch of it is judged after the perform that follows it:
// bytes that came while this thread was held up (on a busy machine) count for
// the time in which they came.
template <typename Ready>
void CurlTransfer::Pump(Ready ready) {
  Clock::time_point counted = Clock::now();
  while (!done_ && !ready()) {
    if (!attached_) return;
    ResumeIfRoom();
    if (ready()) return;
    const std::uint64_t before = seen_;
    int running = 0;
    CURLMcode code = curl_multi_perform(handles_->multi.get(), &running);
    if (code != CURLM_OK) throw InternetError(curl_multi_strerror(code));
    CollectResult();
    const bool progressed = seen_ != before;
    if (!progressed && (done_ || ready())) return;
    const Clock::time_point now = Clock::now();
    const auto spent = std::chrono::duration_cast<milliseconds>(now - counted);
    counted = now;
    if (std::optional<std::string> limit = watch_.Count(seen_, spent)) throw InternetError(*limit);
    if (progressed) continue;
    const long waitMs = std::clamp<long>(watch_.UntilStall().count(), 1, kPollSlice.count());
    code = curl_multi_poll(handles_->multi.get(), nullptr, 0, static_cast<int>(waitMs), nullptr);
    if (code != CURLM_OK) throw InternetError(curl_multi_strerror(code));
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
    if (!options_.http) ReadFtpFacts();
    if (result_ == CURLE_OK && options_.fetchesFile && !errorText_.DataConnectionAccepted()) {
      result_ = CURLE_FTP_ACCEPT_FAILED;
      refusal_ = "The transfer ended before the server's data connection was accepted";
    }
    if (result_ == CURLE_OK && options_.mustMatchToldSize) CheckToldSize();
    if (result_ != CURLE_OK && !sizeMismatch_) {
      failure_ = refusal_.empty() ? errorText_.For(result_) : refusal_;
      if (result_ == CURLE_OUT_OF_MEMORY && options_.http && !ready_) {
        // libcurl refuses an oversized header this way, without a text.
        failure_ = "The response headers are too large (or memory ran out)";
      }
    }
    // Give the connection back to the cache at once (FTP reuses it).
    curl_multi_remove_handle(handles_->multi.get(), easy);
    handles_->busy = false;
    attached_ = false;
  }
}

void CurlTransfer::CheckToldSize() {
  // An HTTP error page's length is no file's.
  if (options_.http && (status_ < 200 || status_ >= 300)) return;
  const FileFacts facts = options_.http ? HeaderFacts() : told_;
  if (!facts.size || facts.offset + received_ == *facts.size) return;
  result_ = CURLE_PARTIAL_FILE;
  sizeMismatch_ = true;
  failure_ = "The server sent " + std::to_string(facts.offset + received_) +
             " bytes of a file it announced as " + std::to_string(*facts.size) + " bytes";
}

void CurlTransfer::ReadFtpFacts() {
  if (options_.told) {
    told_ = *options_.told;
    told_.offset = options_.resumeFrom;
    return;
  }
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
  if (!done_ || result_ == CURLE_OK) return;
  if (sizeMismatch_) throw SizeMismatch(failure_);
  throw CurlFailure(result_, failure_);
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
  return HeaderFacts();
}

FileFacts CurlTransfer::HeaderFacts() const {
  FileFacts facts = told_;
  if (status_ == 206 && hasContentRange_) return facts;
  facts.offset = 0;
  // A body sent in chunks is as long as its chunks, whatever Content-Length
  // says beside them.
  facts.size = status_ == 416 || transferEncoded_ ? std::nullopt : contentLength_;
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
  errorText_.Detach(easy);
  handles_.reset();
  buffer_.clear();
  buffer_.shrink_to_fit();
  pos_ = 0;
}

}  // namespace tvx::net::detail
