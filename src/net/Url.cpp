#include "net/Url.h"

#include <curl/curl.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <string_view>

#include "net/Transfer.h"
#include "store/Text.h"

namespace tvx::net {
namespace {

int DefaultPort(const std::string& scheme) {
  if (scheme == "http") return 80;
  if (scheme == "https") return 443;
  if (scheme == "ftp") return 21;
  return 0;
}

bool IsSchemeChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
}

struct UrlCleanup {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct TextCleanup {
  void operator()(char* text) const { curl_free(text); }
};

}  // namespace

std::optional<UrlParts> ParseUrl(const std::string& input) {
  // Surrounding blanks are ignored, as a browser's address bar does.
  std::size_t first = input.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::nullopt;
  std::size_t last = input.find_last_not_of(" \t\r\n");
  std::string url = input.substr(first, last - first + 1);

  std::size_t sep = url.find("://");
  if (sep == std::string::npos || sep == 0 || !std::isalpha(static_cast<unsigned char>(url[0])))
    return std::nullopt;
  UrlParts parts;
  for (std::size_t i = 0; i < sep; ++i) {
    if (!IsSchemeChar(url[i])) return std::nullopt;
    parts.scheme += AsciiLower(url[i]);
  }

  std::size_t hostStart = sep + 3;
  std::size_t hostEnd = url.find_first_of("/?#", hostStart);
  if (hostEnd == std::string::npos) hostEnd = url.size();
  std::string authority = url.substr(hostStart, hostEnd - hostStart);
  if (std::size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);

  std::string portText;
  if (!authority.empty() && authority.front() == '[') {
    std::size_t close = authority.find(']');
    if (close == std::string::npos) return std::nullopt;
    parts.server = authority.substr(1, close - 1);
    std::string rest = authority.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      portText = rest.substr(1);
    }
  } else {
    std::size_t colon = authority.find(':');
    parts.server = authority.substr(0, colon);
    if (colon != std::string::npos) portText = authority.substr(colon + 1);
  }
  if (parts.server.empty()) return std::nullopt;

  parts.port = DefaultPort(parts.scheme);
  if (!portText.empty()) {
    if (portText.size() > 5) return std::nullopt;
    int port = 0;
    for (char c : portText) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
      port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) return std::nullopt;
    parts.port = port;
  }

  std::string path = url.substr(hostEnd);
  path = path.substr(0, path.find('#'));  // the fragment stays with the browser
  if (path.empty() || path.front() != '/') path = "/" + path;
  parts.path = path;
  return parts;
}

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

namespace detail {

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

std::string HostForUrl(const std::string& host) {
  if (host.find(':') != std::string::npos && host.front() != '[') return "[" + host + "]";
  return host;
}

std::string SchemeOf(const std::string& reference) {
  std::string_view text = TrimBlanks(reference);
  std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 ||
      !std::isalpha(static_cast<unsigned char>(text[0])))
    return {};
  std::string scheme;
  for (char c : text.substr(0, colon)) {
    // A '/', '?' or '#' before the colon makes it a path, not a scheme.
    if (!IsSchemeChar(c)) return {};
    scheme += AsciiLower(c);
  }
  return scheme;
}

}  // namespace detail
}  // namespace tvx::net
