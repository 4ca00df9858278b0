#include <cctype>

#include "net/Internet.h"
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

}  // namespace tvx::net
