#include "net/Cookies.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <set>
#include <tuple>

#include "store/Text.h"
#include "store/UniqueFd.h"

namespace tvx::net {
namespace {

// Larger than any real cookie file; a file beyond it is not read into memory.
constexpr std::uint64_t kMaxCookieFile = 256u << 20;
constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};
constexpr std::string_view kHttpOnlyPrefix = "#HttpOnly_";

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
  throw CookieFileError("The cookie file " + Quoted(path) + " cannot be used: " + why);
}

// The whole file, which must be a plain file (a FIFO or a device would hold
// the read up, or never end). ENOENT is not an error when `missingOk`.
bool ReadWholeFile(const std::string& path, std::string& out, bool missingOk,
                   const std::string& shownPath) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd) {
    if (missingOk && errno == ENOENT) return false;
    Fail(shownPath, std::strerror(errno));
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) Fail(shownPath, std::strerror(errno));
  if (!S_ISREG(st.st_mode)) Fail(shownPath, "it is not a file");
  if (static_cast<std::uint64_t>(st.st_size) > kMaxCookieFile) Fail(shownPath, "it is too large");
  out.clear();
  char buffer[65536];
  while (true) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(shownPath, std::strerror(errno));
    if (n == 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
    if (out.size() > kMaxCookieFile) Fail(shownPath, "it is too large");
  }
  return true;
}

void WriteWholeFile(const std::string& path, const std::string& bytes, const std::string& shown) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd) Fail(shown, std::string("no private copy can be made: ") + std::strerror(errno));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(shown, std::string("no private copy can be made: ") + std::strerror(errno));
    done += static_cast<std::size_t>(n);
  }
}

// A folder of our own below the temporary folder, removed with its content.
class PrivateFolder {
 public:
  explicit PrivateFolder(const std::string& shown) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tavrinox-cookies-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
      Fail(shown, std::string("no private copy can be made: ") + std::strerror(errno));
    path_ = pattern;
  }
  ~PrivateFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

struct DatabaseClose {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalize {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  const int bytes = sqlite3_column_bytes(statement, column);
  return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(bytes))
              : std::string();
}

// The cookies of a Firefox database whose bytes (and write-ahead log, which
// holds what the running browser has not yet moved into the file) are given.
// SQLite works on a copy in a folder of our own: the browser's files stay
// untouched, locked or not.
std::vector<Cookie> ReadFirefoxCookies(const std::string& bytes, const std::string& wal,
                                       const std::string& shown) {
  PrivateFolder folder(shown);
  const std::string copy = folder.Path() + "/cookies.sqlite";
  WriteWholeFile(copy, bytes, shown);
  if (!wal.empty()) WriteWholeFile(copy + "-wal", wal, shown);

  sqlite3* raw = nullptr;
  const int opened = sqlite3_open_v2(copy.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  std::unique_ptr<sqlite3, DatabaseClose> db(raw);
  if (opened != SQLITE_OK) Fail(shown, raw ? sqlite3_errmsg(raw) : sqlite3_errstr(opened));

  // Cookies of the browser's own container first, so that they win over a
  // copy of the same cookie from another container; older profiles have no
  // containers.
  const char* const queries[] = {
      "SELECT host, path, isSecure, expiry, name, value FROM moz_cookies "
      "ORDER BY originAttributes <> '', rowid",
      "SELECT host, path, isSecure, expiry, name, value FROM moz_cookies ORDER BY rowid"};
  std::unique_ptr<sqlite3_stmt, StatementFinalize> statement;
  std::string problem;
  for (const char* query : queries) {
    sqlite3_stmt* prepared = nullptr;
    if (sqlite3_prepare_v2(db.get(), query, -1, &prepared, nullptr) == SQLITE_OK) {
      statement.reset(prepared);
      break;
    }
    sqlite3_finalize(prepared);
    if (problem.empty()) problem = sqlite3_errmsg(db.get());
  }
  if (!statement) {
    if (sqlite3_errcode(db.get()) == SQLITE_NOTADB ||
        problem.find("moz_cookies") != std::string::npos)
      Fail(shown, "it is not the cookies.sqlite of a Firefox profile");
    Fail(shown, problem);
  }

  std::vector<Cookie> cookies;
  int step;
  while ((step = sqlite3_step(statement.get())) == SQLITE_ROW) {
    Cookie cookie;
    std::string host = ColumnText(statement.get(), 0);
    cookie.hostOnly = host.empty() || host.front() != '.';
    cookie.domain = host;
    cookie.path = ColumnText(statement.get(), 1);
    cookie.secure = sqlite3_column_int64(statement.get(), 2) != 0;
    cookie.expires = sqlite3_column_int64(statement.get(), 3);
    // Newer profiles count in milliseconds; no date in seconds is that far off.
    if (cookie.expires > 100'000'000'000) cookie.expires /= 1000;
    cookie.name = ColumnText(statement.get(), 4);
    cookie.value = ColumnText(statement.get(), 5);
    cookies.push_back(std::move(cookie));
  }
  if (step != SQLITE_DONE) Fail(shown, sqlite3_errmsg(db.get()));
  return cookies;
}

bool ParseExpiry(std::string_view text, std::int64_t& expires) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, expires);
  return ec == std::errc() && ptr == end;
}

bool IsTrue(std::string_view text) { return EqualsIgnoreCase(text, "TRUE"); }

bool HasControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
  });
}

// Whether the cookie can go into a Cookie header as it is: a name that is a
// token, a value that cannot end the cookie early or start another line.
bool Sendable(const Cookie& cookie) {
  if (cookie.domain.empty() || cookie.name.empty()) return false;
  if (HasControl(cookie.domain) || HasControl(cookie.path) || HasControl(cookie.name) ||
      HasControl(cookie.value))
    return false;
  if (cookie.name.find_first_of(" =;,") != std::string::npos) return false;
  if (cookie.value.find(';') != std::string::npos) return false;
  return cookie.domain.find_first_of(" \t/\\;,") == std::string::npos;
}

bool IsIpAddress(std::string_view host) {
  if (host.find(':') != std::string_view::npos) return true;  // IPv6
  return !host.empty() && std::all_of(host.begin(), host.end(),
                                      [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

// RFC 6265: the request's path is the cookie's, or lies below it.
bool PathMatches(std::string_view cookiePath, std::string_view requestPath) {
  if (requestPath.substr(0, cookiePath.size()) != cookiePath) return false;
  return requestPath.size() == cookiePath.size() || cookiePath.back() == '/' ||
         requestPath[cookiePath.size()] == '/';
}

struct UrlHandle {
  CURLU* url = curl_url();
  ~UrlHandle() { curl_url_cleanup(url); }
  std::string Part(CURLUPart part) const {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK || !text) return {};
    std::string out(text);
    curl_free(text);
    return out;
  }
};

}  // namespace

std::vector<Cookie> ReadNetscapeCookies(std::string_view text) {
  if (text.find('\0') != std::string_view::npos)
    throw CookieFileError("it is neither a cookies.txt nor a Firefox cookies.sqlite");
  std::vector<Cookie> cookies;
  bool otherLines = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.substr(0, kHttpOnlyPrefix.size()) == kHttpOnlyPrefix) {
      line.remove_prefix(kHttpOnlyPrefix.size());
    } else if (line.empty() || line.front() == '#' ||
               line.find_first_not_of(" \t") == std::string_view::npos) {
      continue;
    }
    std::vector<std::string_view> fields;
    for (std::size_t from = 0;;) {
      const std::size_t tab = line.find('\t', from);
      fields.push_back(line.substr(from, tab == std::string_view::npos ? tab : tab - from));
      if (tab == std::string_view::npos) break;
      from = tab + 1;
    }
    Cookie cookie;
    // Some writers leave the tab of an empty value out.
    if ((fields.size() != 7 && fields.size() != 6) || !ParseExpiry(fields[4], cookie.expires)) {
      otherLines = true;
      continue;
    }
    cookie.domain = std::string(fields[0]);
    cookie.hostOnly = !IsTrue(fields[1]) && (cookie.domain.empty() || cookie.domain[0] != '.');
    cookie.path = std::string(fields[2]);
    cookie.secure = IsTrue(fields[3]);
    cookie.name = std::string(fields[5]);
    if (fields.size() == 7) cookie.value = std::string(fields[6]);
    cookies.push_back(std::move(cookie));
  }
  if (cookies.empty() && otherLines)
    throw CookieFileError("it is neither a cookies.txt nor a Firefox cookies.sqlite");
  return cookies;
}

CookieJar::CookieJar(std::vector<Cookie> cookies, std::time_t now) {
  std::set<std::tuple<std::string, bool, std::string, std::string>> seen;
  for (Cookie& cookie : cookies) {
    cookie.domain = LowerCopy(cookie.domain);
    while (!cookie.domain.empty() && cookie.domain.front() == '.') {
      cookie.domain.erase(0, 1);
      cookie.hostOnly = false;
    }
    if (cookie.path.empty() || cookie.path.front() != '/') cookie.path = "/";
    if (cookie.expires != 0 && cookie.expires <= now) continue;
    if (!Sendable(cookie)) continue;
    if (!seen.emplace(cookie.domain, cookie.hostOnly, cookie.path, cookie.name).second) continue;
    byDomain_[cookie.domain].push_back(cookies_.size());
    cookies_.push_back(std::move(cookie));
  }
}

std::shared_ptr<const CookieJar> CookieJar::Load(const std::string& path, std::time_t now) {
  std::string bytes;
  ReadWholeFile(path, bytes, false, path);
  std::vector<Cookie> cookies;
  if (bytes.substr(0, kSqliteMagic.size()) == kSqliteMagic) {
    std::string wal;
    ReadWholeFile(path + "-wal", wal, true, path + "-wal");
    cookies = ReadFirefoxCookies(bytes, wal, path);
  } else {
    try {
      cookies = ReadNetscapeCookies(bytes);
    } catch (const CookieFileError& e) {
      Fail(path, e.what());
    }
  }
  return std::make_shared<const CookieJar>(std::move(cookies), now);
}

std::vector<const Cookie*> CookieJar::For(const std::string& url, std::time_t now) const {
  std::vector<const Cookie*> found;
  if (cookies_.empty()) return found;
  UrlHandle parsed;
  if (!parsed.url || curl_url_set(parsed.url, CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
    return found;
  const std::string scheme = LowerCopy(parsed.Part(CURLUPART_SCHEME));
  if (scheme != "http" && scheme != "https") return found;
  std::string host = LowerCopy(parsed.Part(CURLUPART_HOST));
  if (host.size() > 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
  while (!host.empty() && host.back() == '.') host.pop_back();
  std::string path = parsed.Part(CURLUPART_PATH);
  if (path.empty()) path = "/";

  // The host itself, then each domain above it; an address has none.
  std::string_view domain = host;
  bool exact = true;
  while (!domain.empty()) {
    auto it = byDomain_.find(std::string(domain));
    if (it != byDomain_.end()) {
      for (std::size_t index : it->second) {
        const Cookie& cookie = cookies_[index];
        if (cookie.hostOnly && !exact) continue;
        if (cookie.secure && scheme != "https") continue;
        if (cookie.expires != 0 && cookie.expires <= now) continue;
        if (!PathMatches(cookie.path, path)) continue;
        found.push_back(&cookie);
      }
    }
    if (IsIpAddress(host)) break;
    const std::size_t dot = domain.find('.');
    if (dot == std::string_view::npos) break;
    domain.remove_prefix(dot + 1);
    // A cookie for a whole top-level domain is no site's.
    if (domain.find('.') == std::string_view::npos) break;
    exact = false;
  }
  return found;
}

std::string NetscapeLine(const Cookie& cookie) {
  std::string line = cookie.hostOnly ? cookie.domain : "." + cookie.domain;
  line += cookie.hostOnly ? "\tFALSE\t" : "\tTRUE\t";
  line += cookie.path;
  line += cookie.secure ? "\tTRUE\t" : "\tFALSE\t";
  line += std::to_string(cookie.expires);
  line += '\t';
  line += cookie.name;
  line += '\t';
  line += cookie.value;
  return line;
}

}  // namespace tvx::net
