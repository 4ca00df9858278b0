// Reads arbitrary bytes as a cookies.txt and asks the jar for a few URLs:
// nothing that goes into a request may hold a byte that could end its
// Cookie header early or start another header.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "net/Cookies.h"

namespace {

bool Unsafe(const std::string& text, bool value) {
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f || c == ';') return true;
    if (!value && (c == '=' || c == ' ')) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<tvx::net::Cookie> cookies;
  try {
    cookies =
        tvx::net::ReadNetscapeCookies(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const tvx::net::CookieFileError&) {
    return 0;
  }
  const tvx::net::CookieJar jar(std::move(cookies), 1'700'000'000);
  for (const char* url : {"http://www.example.com/", "https://a.b.example.com/x/y?z",
                          "http://10.0.0.1/members/", "http://[::1]/"}) {
    for (const tvx::net::Cookie* c : jar.For(url, 1'700'000'000)) {
      if (c->name.empty() || Unsafe(c->name, false) || Unsafe(c->value, true) ||
          Unsafe(c->domain, false) || c->path.empty() || c->path[0] != '/')
        std::abort();
      const std::string line = tvx::net::NetscapeLine(*c);
      if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos)
        std::abort();
    }
  }
  return 0;
}
