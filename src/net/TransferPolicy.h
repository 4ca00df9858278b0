#pragma once
// How every transfer of the program behaves on the network, set in this one
// place for the single-file client (HTTP and FTP, one transfer at a time, the
// crawl's requests included) and the parallel fetcher alike: certificate
// checks and the authorities trusted, the protocols allowed and where a
// redirect may lead, proxies, the cookies of a project, the agent's name, the connect time-out, the
// stall and too-slow limits with their texts, and the text a failed transfer
// carries.
#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tvx::net {
class CookieJar;
}  // namespace tvx::net

namespace tvx::net::detail {

struct PolicySettings {
  std::string agent;
  long connectTimeoutMs = 0;
  // Trusted certificate authorities in place of the system's store; empty:
  // the store.
  std::string caFile;
  // The cookies of the project the transfer works for; none when null.
  std::shared_ptr<const CookieJar> cookies;

  // The agent given, with the connect time-out and the authorities the
  // process has now (ClientLimits, Session::kCaFileVariable).
  static PolicySettings Current(std::string agent);
};

// What a transfer may fetch: web addresses, or FTP too (in active mode).
enum class Schemes { Web, WebAndFtp };

// Sets what every transfer shares on a fresh (or reset) easy handle. Proxies
// are libcurl's own reading of http_proxy, https_proxy, all_proxy and
// no_proxy, which nothing here turns off; loopback is always reached
// directly. Redirects are not followed until FollowRedirects says so.
void ApplyTransferPolicy(CURL* easy, const PolicySettings& settings, Schemes schemes);

// Hands libcurl the cookies of the jar that may go with a request for url,
// once its URL is set. They live in the handle's memory only: no cookie file
// is named for libcurl to read or write, and a handle used again forgets what
// an earlier transfer held. A redirect takes along only those of them that
// match its target too (libcurl's own matching).
void ApplyCookies(CURL* easy, const CookieJar* jar, const std::string& url);

// Lets libcurl follow redirects, kMaxRedirects at most and to http and https
// only; without it a redirect is the answer, and its target the caller's.
inline constexpr long kMaxRedirects = 10;
void FollowRedirects(CURL* easy);

// How the text of a refused redirect begins.
inline constexpr const char* kRefusedRedirectText =
    "The server redirected to an address that is not http or https: ";

// Why a redirect to `location` is refused: only http and https (and relative
// targets, which keep their scheme) are followed. nullopt when it may be.
std::optional<std::string> RefusedRedirect(const std::string& location);

// The stall and too-slow limits of one transfer, counted over the time it is
// driven: a reader that stops reading stalls nothing.
class TransferWatch {
 public:
  // Counts `spent` of driving after which `received` bytes (headers and body)
  // have come in all. The failure text once a limit is passed.
  std::optional<std::string> Count(std::uint64_t received, std::chrono::milliseconds spent);
  // How much longer the transfer may go without data.
  std::chrono::milliseconds UntilStall() const;

 private:
  std::uint64_t seen_ = 0;         // received, at the last count
  std::uint64_t windowStart_ = 0;  // received, when the speed window began
  std::chrono::milliseconds idle_{0};
  std::chrono::milliseconds window_{0};
};

// Where libcurl writes a transfer's error message, and the text a failed
// transfer carries.
//
// libcurl 7.88 reports a harmless "sa_addr inet_ntop() failed" while it sets
// up an FTP active-mode data port and again when it accepts the data
// connection. The error buffer keeps only the first message of a transfer,
// so that text would stand in for whatever really goes wrong afterwards:
// where FTP may run, the transfer's steps are watched (a debug callback; no
// text is printed) and the buffer is detached for those two steps only.
class ErrorText {
 public:
  ErrorText() = default;
  ErrorText(const ErrorText&) = delete;
  ErrorText& operator=(const ErrorText&) = delete;

  // Takes libcurl's messages for `easy`; with `ftp` set, watches the steps.
  void Attach(CURL* easy, bool ftp);
  // Leaves nothing of `easy` pointing here (the handle may outlive this).
  void Detach(CURL* easy);
  // The text of a transfer that ended with `result`: libcurl's message
  // without its line break, and the server's refusal when the message does
  // not quote it.
  std::string For(CURLcode result) const;
  // Whether the server's data connection was accepted (steps watched only).
  bool DataConnectionAccepted() const { return accepted_; }

 private:
  static int OnDebug(CURL* easy, curl_infotype type, char* data, std::size_t size, void* self);

  char buffer_[CURL_ERROR_SIZE] = {};
  bool muted_ = false;     // the buffer is detached for one step
  std::string lastReply_;  // the FTP server's last reply line
  bool accepted_ = false;
};

}  // namespace tvx::net::detail
