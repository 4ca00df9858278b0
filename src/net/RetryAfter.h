#pragma once
// How long a server that answered "slow down" (HTTP 429 or 503) is left alone.
#include <chrono>
#include <ctime>
#include <string>
#include <string_view>

namespace tvx::net {

// The wait a Retry-After value asks for: whole seconds, or an HTTP date
// (now: the time it is measured from). At most cap; fallback when the value
// is empty, unreadable or in the past.
std::chrono::milliseconds SlowDownWait(std::string_view retryAfter, std::time_t now,
                                       std::chrono::milliseconds fallback,
                                       std::chrono::milliseconds cap);

// "Waiting 30 s: 127.0.0.1 asked to slow down" (whole seconds, rounded up).
std::string SlowDownText(std::chrono::milliseconds wait, std::string_view host);

}  // namespace tvx::net
