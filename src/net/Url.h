#pragma once
// Taking URLs apart, and writing the parts of one back into a URL.
#include <optional>
#include <string>

namespace tvx::net {

// The parts of a URL (browser-style split).
struct UrlParts {
  std::string scheme;  // lower case: "http", "https", "ftp", ...
  std::string server;
  std::string path;  // object path with query, "/" when none
  int port = 0;      // the scheme's default when not given
};
// Splits url; nullopt when it has no "scheme://host".
std::optional<UrlParts> ParseUrl(const std::string& url);

// An FTP server as a URL names it: "user:password@host:port", every part but
// the host optional.
struct FtpAuthority {
  std::string user;      // empty: log in anonymously
  std::string password;  // user and password with their %-escapes decoded
  std::string host;      // an IPv6 address keeps its brackets: "[::1]"
  int port = 0;          // 0: the default, 21
};
// Splits the text between "ftp://" and the next '/'. Throws InternetError
// when it names no usable server (no host, a bad port, '?' or '#' in it).
FtpAuthority ParseFtpAuthority(const std::string& text);

namespace detail {

// Percent-encodes the bytes no URL may hold as they are (controls, space,
// non-ASCII and a few unsafe marks); everything else, '%' included, stays.
std::string EscapeUnsafeUrlBytes(const std::string& url);
// Percent-encodes a path for an ftp:// URL, keeping '/' as the separator.
std::string EscapeFtpPath(const std::string& path);
// A host as a URL holds it: an IPv6 address in brackets.
std::string HostForUrl(const std::string& host);
// The scheme a URL or a redirect's target names, in lower case; empty for a
// relative reference (which keeps the scheme it is resolved against).
std::string SchemeOf(const std::string& reference);

}  // namespace detail
}  // namespace tvx::net
