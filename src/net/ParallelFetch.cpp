#include "net/ParallelFetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>

#include "net/CurlHandles.h"
#include "net/TransferPolicy.h"
#include "store/Text.h"

namespace tvx::net {
namespace {

using Clock = std::chrono::steady_clock;

bool StartsWithNoCase(const char* data, std::size_t size, std::string_view prefix) {
  return size >= prefix.size() && EqualsIgnoreCase(std::string_view(data, prefix.size()), prefix);
}

// The value of a header line that starts with name (and its colon).
std::string ValueAfter(const char* data, std::size_t size, std::size_t nameAndColon) {
  return std::string(TrimBlanks(std::string_view(data, size).substr(nameAndColon)));
}

// Failures that may pass when the URL is asked again: the answer did not
// come in time, or the connection broke before it was whole.
bool IsTransient(CURLcode result) {
  switch (result) {
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return true;
    default:
      return false;
  }
}

}  // namespace

// Destroyed from the last member up: the easy handles (none attached by
// then) before the multi handle, the header list they use last.
struct ParallelFetcher::Handles {
  detail::PolicySettings policy;
  detail::HeaderList headers;
  detail::MultiHandle multi;
  std::vector<detail::EasyHandle> idle;  // kept for the next transfers
};

struct ParallelFetcher::Transfer {
  detail::EasyHandle owned;
  detail::HeaderList headers;  // the fetcher's and this request's own, when it has any
  CURL* easy = nullptr;        // owned's handle
  std::unique_ptr<FetchClient> client;
  detail::ErrorText errorText;
  Clock::duration* clientTime = nullptr;  // the fetcher's, added to by every client call

  bool headKnown = false;
  BodyUse use = BodyUse::Take;
  bool endedByClient = false;
  std::string failure;  // set when the client threw, or the transfer idled too long
  std::size_t dropped = 0;
  std::string location;  // of the response under way
  ResponseHead told;     // the headers of the response under way

  std::uint64_t received = 0;  // header and body bytes
  detail::TransferWatch watch;

  // Runs a client call; one that throws fails the transfer.
  template <class F>
  bool Guarded(F&& call) {
    const Clock::time_point began = Clock::now();
    bool ok = false;
    try {
      call();
      ok = true;
    } catch (const std::exception& e) {
      failure = e.what();
    } catch (...) {
      failure = "The transfer failed";
    }
    *clientTime += Clock::now() - began;
    return ok;
  }

  void HeadComplete() {
    headKnown = true;
    ResponseHead head;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &head.status);
    const char* type = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
      head.contentType = type;
    head.etag = told.etag;
    head.lastModified = told.lastModified;
    head.retryAfter = told.retryAfter;
    head.contentLength = told.contentLength;
    curl_off_t sent = 0, answered = 0;
    if (curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &sent) == CURLE_OK &&
        curl_easy_getinfo(easy, CURLINFO_STARTTRANSFER_TIME_T, &answered) == CURLE_OK)
      head.answerTime = std::chrono::microseconds(std::max<curl_off_t>(0, answered - sent));
    long version = 0;
    head.multiplexed = curl_easy_getinfo(easy, CURLINFO_HTTP_VERSION, &version) == CURLE_OK &&
                       version >= CURL_HTTP_VERSION_2_0;
    if (head.status >= 300 && head.status < 400) head.location = location;
    if (!head.location.empty()) {
      if (std::optional<std::string> refused = detail::RefusedRedirect(head.location)) {
        failure = *refused;
        use = BodyUse::Stop;
        return;
      }
    }
    if (!Guarded([&] { use = client->OnHead(head); })) use = BodyUse::Stop;
    if (use == BodyUse::Stop && failure.empty()) endedByClient = true;
  }

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* t = static_cast<Transfer*>(self);
    const std::size_t bytes = size * count;
    t->received += bytes;
    if (StartsWithNoCase(data, bytes, "http/")) {
      t->headKnown = false;
      t->location.clear();
      t->told = {};
    } else if (StartsWithNoCase(data, bytes, "location:")) {
      t->location = ValueAfter(data, bytes, 9);
    } else if (StartsWithNoCase(data, bytes, "etag:")) {
      t->told.etag = ValueAfter(data, bytes, 5);
    } else if (StartsWithNoCase(data, bytes, "last-modified:")) {
      t->told.lastModified = ValueAfter(data, bytes, 14);
    } else if (StartsWithNoCase(data, bytes, "retry-after:")) {
      t->told.retryAfter = ValueAfter(data, bytes, 12);
    } else if (StartsWithNoCase(data, bytes, "content-length:")) {
      const std::string value = ValueAfter(data, bytes, 15);
      long long length = value.empty() ? -1 : 0;
      for (char c : value) {
        if (c < '0' || c > '9' || length > (1LL << 50)) {
          length = -1;
          break;
        }
        length = length * 10 + (c - '0');
      }
      t->told.contentLength = length;
    } else if ((bytes == 2 && data[0] == '\r' && data[1] == '\n') ||
               (bytes == 1 && data[0] == '\n')) {
      long status = 0;
      curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
      if (status >= 200 || status == 0) {
        t->HeadComplete();
        if (t->use == BodyUse::Stop) return 0;
      }
    }
    return bytes;
  }

  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* t = static_cast<Transfer*>(self);
    const std::size_t bytes = size * count;
    t->received += bytes;
    if (!t->headKnown) {
      t->HeadComplete();  // a response without a head of its own
      if (t->use == BodyUse::Stop) return 0;
    }
    switch (t->use) {
      case BodyUse::Take: {
        bool more = true;
        if (!t->Guarded([&] { more = t->client->OnBody(data, bytes); })) return 0;
        if (!more) {
          t->endedByClient = true;
          return 0;
        }
        return bytes;
      }
      case BodyUse::Drop:
        t->dropped += bytes;
        if (t->dropped > kMaxDroppedBody) {
          t->endedByClient = true;
          return 0;
        }
        return bytes;
      case BodyUse::Stop:
        break;
    }
    return 0;
  }
};

ParallelFetcher::ParallelFetcher(Options options)
    : handles_(std::make_unique<Handles>()), options_(std::move(options)) {
  detail::EnsureCurlInitialised();
  handles_->policy = detail::PolicySettings::Current(options_.agent);
  handles_->policy.cookies = options_.cookies;
  options_.connectionsPerHost = std::max(1, options_.connectionsPerHost);
  handles_->multi.reset(curl_multi_init());
  if (!handles_->multi) throw InternetError("Out of memory");
  CURLM* multi = handles_->multi.get();
  curl_multi_setopt(multi, CURLMOPT_PIPELINING, static_cast<long>(CURLPIPE_MULTIPLEX));
  curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS,
                    static_cast<long>(options_.connectionsPerHost));
  curl_multi_setopt(multi, CURLMOPT_MAX_CONCURRENT_STREAMS, static_cast<long>(kMaxStreams));
  curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS,
                    static_cast<long>(std::max(16, 4 * options_.connectionsPerHost)));
  for (const std::string& line : options_.headers)
    detail::AppendHeader(handles_->headers, line.c_str());
}

ParallelFetcher::~ParallelFetcher() { StopAll(); }

std::size_t ParallelFetcher::Active() const { return active_.size(); }

void ParallelFetcher::Start(const std::string& url, std::unique_ptr<FetchClient> client,
                            const std::vector<std::string>& more) {
  auto transfer = std::make_unique<Transfer>();
  if (!handles_->idle.empty()) {
    transfer->owned = std::move(handles_->idle.back());
    handles_->idle.pop_back();
    curl_easy_reset(transfer->owned.get());
  } else {
    transfer->owned.reset(curl_easy_init());
    if (!transfer->owned) throw InternetError("Out of memory");
  }
  CURL* easy = transfer->easy = transfer->owned.get();
  transfer->client = std::move(client);
  transfer->clientTime = &clientTime_;

  detail::ApplyTransferPolicy(easy, handles_->policy, detail::Schemes::Web);
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  detail::ApplyCookies(easy, handles_->policy.cookies.get(), url);
  curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
  if (more.empty()) {
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, handles_->headers.get());
  } else {
    for (const std::string& line : options_.headers)
      detail::AppendHeader(transfer->headers, line.c_str());
    for (const std::string& line : more) detail::AppendHeader(transfer->headers, line.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers.get());
  }
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
  // Wait for a connection that can carry several transfers rather than
  // opening one more, where the server may speak HTTP/2.
  curl_easy_setopt(easy, CURLOPT_PIPEWAIT, url.rfind("https:", 0) == 0 ? 1L : 0L);
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 64L * 1024);
  transfer->errorText.Attach(easy, /*ftp=*/false);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());

  CURLMcode added = curl_multi_add_handle(handles_->multi.get(), easy);
  if (added != CURLM_OK) {
    transfer->errorText.Detach(easy);
    handles_->idle.push_back(std::move(transfer->owned));
    throw InternetError(curl_multi_strerror(added));
  }
  active_.push_back(std::move(transfer));
}

void ParallelFetcher::Run(int waitMs) {
  const Clock::time_point began = Clock::now();
  clientTime_ = {};
  int running = 0;
  CURLMcode code = curl_multi_perform(handles_->multi.get(), &running);
  if (code != CURLM_OK) throw InternetError(curl_multi_strerror(code));
  const std::size_t before = active_.size();
  Collect();
  if (active_.size() == before && !active_.empty()) {
    code = curl_multi_poll(handles_->multi.get(), nullptr, 0, std::max(1, waitMs), nullptr);
    if (code != CURLM_OK) throw InternetError(curl_multi_strerror(code));
    code = curl_multi_perform(handles_->multi.get(), &running);
    if (code != CURLM_OK) throw InternetError(curl_multi_strerror(code));
    Collect();
  }
  // A transfer is silent only while it could have been read: the time the
  // clients took (a long page parsed on a slow machine) is not its own.
  const Clock::duration waited = std::max(Clock::duration{}, Clock::now() - began - clientTime_);
  CheckIdle(
      static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count()));
}

void ParallelFetcher::Collect() {
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(handles_->multi.get(), &left)) {
    if (msg->msg != CURLMSG_DONE) continue;
    Transfer* transfer = nullptr;
    curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &transfer);
    if (!transfer) continue;
    std::string failure = transfer->failure;
    const CURLcode result = msg->data.result;
    bool transient = false;
    if (failure.empty() && result != CURLE_OK && !transfer->endedByClient) {
      failure = transfer->errorText.For(result);
      transient = IsTransient(result);
    }
    // msg points into the multi handle: it is not used after this.
    Finish(*transfer, failure, transient);
  }
}

void ParallelFetcher::Finish(Transfer& transfer, const std::string& failure, bool transient) {
  auto it = std::find_if(active_.begin(), active_.end(),
                         [&](const auto& t) { return t.get() == &transfer; });
  if (it == active_.end()) return;
  std::unique_ptr<Transfer> owned = std::move(*it);
  active_.erase(it);
  curl_multi_remove_handle(handles_->multi.get(), owned->easy);
  owned->errorText.Detach(owned->easy);
  owned->easy = nullptr;
  handles_->idle.push_back(std::move(owned->owned));
  const Clock::time_point began = Clock::now();
  owned->client->OnEnd(failure, transient);
  clientTime_ += Clock::now() - began;
}

void ParallelFetcher::CheckIdle(long elapsedMs) {
  std::vector<std::pair<Transfer*, std::string>> failed;
  for (const auto& t : active_) {
    if (std::optional<std::string> limit =
            t->watch.Count(t->received, std::chrono::milliseconds{elapsedMs}))
      failed.emplace_back(t.get(), *limit);
  }
  // A transfer that went silent may well answer when asked again.
  for (auto& [transfer, text] : failed) Finish(*transfer, text, /*transient=*/true);
}

void ParallelFetcher::StopAll() {
  while (!active_.empty()) {
    std::unique_ptr<Transfer> t = std::move(active_.back());
    active_.pop_back();
    curl_multi_remove_handle(handles_->multi.get(), t->easy);
    t->errorText.Detach(t->easy);
    handles_->idle.push_back(std::move(t->owned));
  }
}

}  // namespace tvx::net
