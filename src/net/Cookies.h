#pragma once
// Cookies a web-site project sends, read from a file the user names: a
// Netscape cookies.txt (as wget, curl and browser add-ons write it) or a
// Firefox profile's cookies.sqlite. The file is only ever read; a Firefox
// database is read through a private copy, since the browser keeps it locked.
#include <cstdint>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tvx::net {

struct Cookie {
  std::string domain;    // lower case, without a leading dot
  bool hostOnly = true;  // false: the domain's subdomains too
  std::string path = "/";
  bool secure = false;       // sent over https only
  std::int64_t expires = 0;  // seconds since 1970; 0: for the session, never expires here
  std::string name;
  std::string value;
};

// A cookie file that cannot be used; what() says which and why, for the user.
class CookieFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class CookieJar {
 public:
  CookieJar() = default;
  // The cookies given, less those expired at `now`, those that could not
  // go into a request header as they are, and later copies of one cookie.
  CookieJar(std::vector<Cookie> cookies, std::time_t now);

  // Reads the file at path, cookies.sqlite or cookies.txt by its content.
  // Throws CookieFileError when it cannot be read or holds no cookie file.
  static std::shared_ptr<const CookieJar> Load(const std::string& path,
                                               std::time_t now = std::time(nullptr));

  // The cookies that may go with a request for url at `now`: its host is
  // the cookie's domain (or below it, for a domain cookie), its path is the
  // cookie's path or below it, and it is https when the cookie is secure.
  std::vector<const Cookie*> For(const std::string& url,
                                 std::time_t now = std::time(nullptr)) const;

  std::size_t Size() const { return cookies_.size(); }

 private:
  std::vector<Cookie> cookies_;
  // Domain -> indexes into cookies_.
  std::unordered_map<std::string, std::vector<std::size_t>> byDomain_;
};

// The cookies of a cookies.txt's text. Lines that hold no cookie are passed
// over; CookieFileError when no line holds one but some should have.
std::vector<Cookie> ReadNetscapeCookies(std::string_view text);

// One cookie as a line of a cookies.txt (how libcurl takes it).
std::string NetscapeLine(const Cookie& cookie);

}  // namespace tvx::net
