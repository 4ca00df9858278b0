#include "net/TransferPolicy.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "net/Cookies.h"
#include "net/Session.h"
#include "net/Transfer.h"
#include "net/Url.h"
#include "store/Text.h"

namespace tvx::net {

std::atomic<long> ClientLimits::stallTimeoutMs{60000};
std::atomic<long> ClientLimits::connectTimeoutMs{60000};
std::atomic<long> ClientLimits::lowSpeedWindowMs{60000};
std::atomic<long> ClientLimits::lowSpeedBytesPerSecond{16};

std::string FailureText(const std::string& message) {
  return std::string(TrimLineEnd(std::string_view(message).substr(0, 199)));
}

namespace detail {
namespace {

using std::chrono::milliseconds;

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// Loopback never goes through a proxy; the user's own exceptions are kept.
std::string ProxyExceptions() {
  std::string list = "localhost,127.0.0.1,::1";
  for (const char* name : {"no_proxy", "NO_PROXY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return std::string(value) == "*" ? "*" : std::string(value) + "," + list;
  }
  return list;
}

}  // namespace

PolicySettings PolicySettings::Current(std::string agent) {
  PolicySettings settings;
  settings.agent = std::move(agent);
  settings.connectTimeoutMs = ClientLimits::connectTimeoutMs.load();
  if (const char* ca = std::getenv(Session::kCaFileVariable)) settings.caFile = ca;
  return settings;
}

void ApplyTransferPolicy(CURL* easy, const PolicySettings& settings, Schemes schemes) {
  const bool ftp = schemes == Schemes::WebAndFtp;
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, settings.agent.c_str());  // copied by libcurl
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, settings.connectTimeoutMs);
  // Only these; a URL taken from a page must not reach local files or other
  // services, and a redirect leads to the web only.
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, ftp ? "http,https,ftp" : "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!settings.caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, settings.caFile.c_str());
  const std::string noProxy = ProxyExceptions();
  curl_easy_setopt(easy, CURLOPT_NOPROXY, noProxy.c_str());  // copied by libcurl
  if (ftp) {
    curl_easy_setopt(easy, CURLOPT_FTPPORT, "-");  // active mode
    // The server's connection back to us for the data is a connect too.
    curl_easy_setopt(easy, CURLOPT_ACCEPTTIMEOUT_MS, settings.connectTimeoutMs);
  }
}

void ApplyCookies(CURL* easy, const CookieJar* jar, const std::string& url) {
  if (!jar) return;
  curl_easy_setopt(easy, CURLOPT_COOKIELIST, "ALL");
  for (const Cookie* cookie : jar->For(url)) {
    const std::string line = NetscapeLine(*cookie);
    curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());  // copied by libcurl
  }
}

void FollowRedirects(CURL* easy) {
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
}

std::optional<std::string> RefusedRedirect(const std::string& location) {
  const std::string scheme = SchemeOf(location);
  if (scheme.empty() || scheme == "http" || scheme == "https") return std::nullopt;
  return kRefusedRedirectText + std::string(TrimBlanks(location));
}

std::optional<std::string> TransferWatch::Count(std::uint64_t received, milliseconds spent) {
  if (received != seen_) {
    seen_ = received;
    idle_ = milliseconds{0};
  } else {
    idle_ += spent;
  }
  window_ += spent;
  const long stallMs = ClientLimits::stallTimeoutMs.load();
  if (idle_.count() >= stallMs) {
    return "Operation timed out: no data received for " + std::to_string(stallMs) + " milliseconds";
  }
  const long windowMs = ClientLimits::lowSpeedWindowMs.load();
  if (window_.count() < windowMs) return std::nullopt;
  const long minimum = ClientLimits::lowSpeedBytesPerSecond.load();
  const std::uint64_t bytes = received - windowStart_;
  const auto spentMs = static_cast<std::uint64_t>(window_.count());
  window_ = milliseconds{0};
  windowStart_ = received;
  if (minimum > 0 && bytes * 1000 < static_cast<std::uint64_t>(minimum) * spentMs) {
    return "Operation too slow: less than " + std::to_string(minimum) +
           " bytes per second received over " + std::to_string(windowMs / 1000) + " seconds";
  }
  return std::nullopt;
}

milliseconds TransferWatch::UntilStall() const {
  return std::max(milliseconds{0}, milliseconds{ClientLimits::stallTimeoutMs.load()} - idle_);
}

void ErrorText::Attach(CURL* easy, bool ftp) {
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, buffer_);
  if (ftp) {
    curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, &ErrorText::OnDebug);
    curl_easy_setopt(easy, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L);
  }
}

void ErrorText::Detach(CURL* easy) {
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(easy, CURLOPT_DEBUGDATA, nullptr);
  curl_easy_setopt(easy, CURLOPT_VERBOSE, 0L);
}

std::string ErrorText::For(CURLcode result) const {
  std::string text = buffer_[0] != '\0' ? buffer_ : curl_easy_strerror(result);
  text = std::string(TrimLineEnd(text));
  // A refusal from the server that libcurl's words leave out.
  const bool refused = !lastReply_.empty() && (lastReply_[0] == '4' || lastReply_[0] == '5');
  if (refused && text.find(lastReply_.substr(0, 3)) == std::string::npos)
    text += " (" + lastReply_ + ")";
  return text;
}

// Detaches the buffer for the step after the port command is sent and the
// one after the data connection is accepted. The errno that step leaves
// behind is cleared too, since a later message about a closed connection
// quotes whatever errno holds.
int ErrorText::OnDebug(CURL* easy, curl_infotype type, char* data, std::size_t size, void* self) {
  auto* t = static_cast<ErrorText*>(self);
  if (!t) return 0;
  std::string_view text(data, size);
  if (t->muted_) {
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, t->buffer_);
    t->muted_ = false;
    if (type == CURLINFO_TEXT && StartsWithIgnoringCase(text, "sa_addr inet_ntop() failed"))
      errno = 0;
  }
  if (type == CURLINFO_HEADER_IN) t->lastReply_ = TrimLineEnd(text);
  const bool portSent = type == CURLINFO_HEADER_OUT && (StartsWithIgnoringCase(text, "EPRT ") ||
                                                        StartsWithIgnoringCase(text, "PORT "));
  const bool accepted =
      type == CURLINFO_TEXT && StartsWithIgnoringCase(text, "Connection accepted from server");
  t->accepted_ = t->accepted_ || accepted;
  if (portSent || accepted) {
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
    t->muted_ = true;
  }
  return 0;
}

}  // namespace detail

std::optional<std::string> RefusedRedirect(const std::string& location) {
  return detail::RefusedRedirect(location);
}

bool IsRefusedRedirect(std::string_view failure) {
  return failure.starts_with(detail::kRefusedRedirectText);
}

}  // namespace tvx::net
