#include "net/RetryAfter.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdint>
#include <optional>

#include "store/Text.h"

namespace tvx::net {

std::chrono::milliseconds SlowDownWait(std::string_view retryAfter, std::time_t now,
                                       std::chrono::milliseconds fallback,
                                       std::chrono::milliseconds cap) {
  using std::chrono::milliseconds;
  using std::chrono::seconds;
  const std::string value(TrimBlanks(retryAfter));
  std::optional<milliseconds> asked;
  if (!value.empty() &&
      std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    // More digits than a day has seconds many times over is still "long".
    std::int64_t s = 0;
    for (char c : value) s = std::min<std::int64_t>(s * 10 + (c - '0'), 1'000'000'000);
    asked = seconds(s);
  } else if (!value.empty()) {
    const std::time_t when = curl_getdate(value.c_str(), nullptr);
    if (when != -1 && when > now) asked = seconds(when - now);
  }
  return std::min(asked.value_or(fallback), cap);
}

std::string SlowDownText(std::chrono::milliseconds wait, std::string_view host) {
  const long long secondsUp = (wait.count() + 999) / 1000;
  return "Waiting " + std::to_string(secondsUp) + " s: " + std::string(host) +
         " asked to slow down";
}

}  // namespace tvx::net
