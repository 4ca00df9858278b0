// Cookies from a cookies.txt or a Firefox cookies.sqlite go only where they
// belong, with both clients; the files are read and never written.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "net/Cookies.h"
#include "net/Internet.h"
#include "net/NetTestUtil.h"
#include "net/ParallelFetch.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"

namespace tvx::net {
namespace {

namespace fs = std::filesystem;
using test::HttpResponse;
using test::TestHttpServer;

constexpr std::time_t kNow = 1'700'000'000;

std::string Names(const std::vector<const Cookie*>& cookies) {
  std::vector<std::string> names;
  for (const Cookie* c : cookies) names.push_back(c->name);
  std::sort(names.begin(), names.end());
  std::string all;
  for (const std::string& n : names) all += (all.empty() ? "" : " ") + n;
  return all;
}

// The same cookies as a cookies.txt writes them (a browser add-on's export,
// with the HttpOnly marking curl uses) and as a Firefox profile keeps them.
const char* const kCookiesTxt =
    "# Netscape HTTP Cookie File\r\n"
    "# written by hand\r\n"
    "\r\n"
    ".example.com\tTRUE\t/\tFALSE\t0\tsite\ts1\r\n"
    "#HttpOnly_www.example.com\tFALSE\t/\tFALSE\t1800000000\thost\th1\r\n"
    "www.example.com\tFALSE\t/members\tFALSE\t0\tmembers\tm1\r\n"
    "www.example.com\tFALSE\t/\tTRUE\t0\tsecure\tx1\r\n"
    "www.example.com\tFALSE\t/\tFALSE\t1600000000\texpired\te1\r\n"
    "other.example.org\tFALSE\t/\tFALSE\t0\tother\to1\r\n"
    "10.0.0.1\tFALSE\t/\tFALSE\t0\taddress\ta1\r\n"
    "www.example.com\tFALSE\t/\tFALSE\t0\tempty\r\n"
    "www.example.com\tFALSE\t/\tFALSE\t0\tsplit\tone;two=2\r\n"
    "this line is no cookie\r\n";

struct Row {
  const char* host;
  const char* path;
  int secure;
  long long expiry;  // Firefox's newer profiles count in milliseconds
  const char* name;
  const char* value;
  const char* originAttributes;
};
const Row kFirefoxRows[] = {
    {".example.com", "/", 0, 0, "site", "s1", ""},
    {"www.example.com", "/", 0, 1'800'000'000'000LL, "host", "h1", ""},
    {"www.example.com", "/members", 0, 1'800'000'000, "members", "m1", ""},
    {"www.example.com", "/members", 0, 1'800'000'000, "members", "container", "^userContextId=2"},
    {"www.example.com", "/", 1, 1'800'000'000, "secure", "x1", ""},
    {"www.example.com", "/", 0, 1'600'000'000, "expired", "e1", ""},
    {"other.example.org", "/", 0, 1'800'000'000, "other", "o1", ""},
    {"10.0.0.1", "/", 0, 1'800'000'000, "address", "a1", ""},
    {"www.example.com", "/", 0, 0, "empty", "", ""},
    {"www.example.com", "/", 0, 1'800'000'000, "split", "one;two=2", ""},
};

void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << error;
}

// A profile's cookies.sqlite as a running browser leaves it: in WAL mode,
// its newest rows still in the log, the database locked.
class FirefoxProfile {
 public:
  explicit FirefoxProfile(const fs::path& file) {
    EXPECT_EQ(sqlite3_open(file.c_str(), &db_), SQLITE_OK);
    Exec(db_, "PRAGMA journal_mode=WAL");
    Exec(db_,
         "CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, originAttributes TEXT NOT NULL "
         "DEFAULT '', name TEXT, value TEXT, host TEXT, path TEXT, expiry INTEGER, "
         "lastAccessed INTEGER, creationTime INTEGER, isSecure INTEGER, isHttpOnly INTEGER)");
    Exec(db_, "PRAGMA wal_autocheckpoint=0");
    for (const Row& r : kFirefoxRows) {
      Exec(db_, std::string("INSERT INTO moz_cookies (originAttributes, name, value, host, path, "
                            "expiry, isSecure) VALUES ('") +
                    r.originAttributes + "','" + r.name + "','" + r.value + "','" + r.host + "','" +
                    r.path + "'," + std::to_string(r.expiry) + "," + std::to_string(r.secure) +
                    ")");
    }
    // The browser holds the database for itself while it runs.
    Exec(db_, "PRAGMA locking_mode=EXCLUSIVE");
    Exec(db_, "BEGIN EXCLUSIVE");
  }
  ~FirefoxProfile() { sqlite3_close(db_); }

 private:
  sqlite3* db_ = nullptr;
};

TEST(Cookies, EachCookieGoesOnlyWhereItBelongsFromEitherFile) {
  test::TempDir dir("tvx-cookies");
  const fs::path txt = dir.Write("cookies.txt", kCookiesTxt);
  const fs::path sqlite = dir / "profile" / "cookies.sqlite";
  fs::create_directories(sqlite.parent_path());
  FirefoxProfile browser(sqlite);
  ASSERT_TRUE(fs::exists(sqlite.string() + "-wal")) << "the rows should wait in the log";
  const std::string sqliteBefore = test::ReadFile(sqlite);
  const std::string walBefore = test::ReadFile(sqlite.string() + "-wal");

  struct Case {
    const char* url;
    const char* sent;
  };
  const Case cases[] = {
      {"http://www.example.com/", "empty host site"},
      {"https://www.example.com/", "empty host secure site"},
      {"http://WWW.Example.COM/members", "empty host members site"},
      {"http://www.example.com/members/a/b.jpg?x=1", "empty host members site"},
      {"http://www.example.com/membership", "empty host site"},  // not below /members
      {"http://example.com/", "site"},                           // the domain itself
      {"http://deep.pics.example.com/x.jpg", "site"},            // below the domain
      {"http://www.example.com.evil.net/", ""},
      {"http://badexample.com/", ""},
      {"http://other.example.org:8080/", "other"},  // ports do not matter
      {"http://www.other.example.org/", ""},        // host-only
      {"http://10.0.0.1/", "address"},
      {"http://1.10.0.0.1/", ""},
      {"ftp://www.example.com/", ""},
      {"not a url", ""},
  };
  for (const fs::path& file : {txt, sqlite}) {
    SCOPED_TRACE(file.filename().string());
    std::shared_ptr<const CookieJar> jar = CookieJar::Load(file, kNow);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.url);
      EXPECT_EQ(Names(jar->For(c.url, kNow)), c.sent);
    }
    // A cookie that expires while the crawl goes on stops going with it.
    EXPECT_EQ(Names(jar->For("http://www.example.com/", 1'900'000'000)), "empty site");
    for (const Cookie* c : jar->For("http://www.example.com/members", kNow)) {
      if (c->name == std::string("members")) {
        EXPECT_EQ(c->value, "m1") << "the browser's own";
      }
    }
  }
  EXPECT_EQ(test::ReadFile(sqlite), sqliteBefore) << "the browser's database is not written";
  EXPECT_EQ(test::ReadFile(sqlite.string() + "-wal"), walBefore);
}

TEST(Cookies, AFileThatCannotBeUsedSaysWhichAndWhy) {
  test::TempDir dir("tvx-cookies");
  const fs::path folder = dir / "a folder";
  fs::create_directories(folder);
  const fs::path fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const fs::path picture = dir.Write("picture.jpg", std::string("\xff\xd8\xff\xe0\0\x10JFIF", 10));
  const fs::path text = dir.Write("notes.txt", "buy milk\nand bread\n");
  const fs::path otherDb = dir / "places.sqlite";
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(otherDb.c_str(), &db), SQLITE_OK);
    Exec(db, "CREATE TABLE moz_places (id INTEGER)");
    sqlite3_close(db);
  }
  struct Case {
    fs::path file;
    const char* why;
  };
  const Case cases[] = {
      {dir / "missing.txt", "No such file or directory"},
      {folder, "it is not a file"},
      {fifo, "it is not a file"},
      {picture, "it is neither a cookies.txt nor a Firefox cookies.sqlite"},
      {text, "it is neither a cookies.txt nor a Firefox cookies.sqlite"},
      {otherDb, "it is not the cookies.sqlite of a Firefox profile"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.string());
    try {
      CookieJar::Load(c.file, kNow);
      ADD_FAILURE() << "loaded";
    } catch (const CookieFileError& e) {
      EXPECT_EQ(std::string(e.what()),
                "The cookie file \"" + c.file.string() + "\" cannot be used: " + c.why);
    }
  }
  // An empty cookies.txt is a file without cookies, not an error.
  EXPECT_EQ(CookieJar::Load(dir.Write("empty.txt", "# Netscape HTTP Cookie File\n"))->Size(), 0u);
}

// One GET through each client, as the crawls make them; the answer's status.
long ViaSession(const std::string& url, std::shared_ptr<const CookieJar> jar, bool redirects) {
  Session session;
  session.SetCookies(std::move(jar));
  if (redirects) return session.OpenUrl(url, false)->StatusCode();
  const auto parts = ParseUrl(url);
  return session.OpenRequest(parts->server, parts->port, parts->path, {})->StatusCode();
}

long ViaFetcher(const std::string& url, std::shared_ptr<const CookieJar> jar) {
  class Client final : public FetchClient {
   public:
    explicit Client(long& status) : status_(status) {}
    BodyUse OnHead(const ResponseHead& head) override {
      status_ = head.status;
      return BodyUse::Drop;
    }
    bool OnBody(const char*, std::size_t) override { return true; }
    void OnEnd(const std::string&, bool) override { status_ = status_ ? status_ : -1; }

   private:
    long& status_;
  };
  long status = 0;
  ParallelFetcher::Options options;
  options.cookies = std::move(jar);
  ParallelFetcher fetcher(options);
  fetcher.Start(url, std::make_unique<Client>(status));
  const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (fetcher.Active() > 0 && std::chrono::steady_clock::now() < bound) fetcher.Run(50);
  return status;
}

TEST(Cookies, BothClientsSendExactlyTheCookiesOfTheRequest) {
  TestHttpServer site;
  TestHttpServer elsewhere("127.0.0.2");
  // The members' pictures need the session; every request is recorded.
  site.SetHandler([](const test::HttpRequest& request) {
    if (request.path.rfind("/members/", 0) == 0 && request.Header("Cookie") != "session=good")
      return HttpResponse::Status(403, "log in first");
    return HttpResponse::Ok("picture");
  });
  site.Serve("/members/away.jpg", HttpResponse::Redirect(elsewhere.Url("/a.jpg")));
  elsewhere.Serve("/a.jpg", HttpResponse::Ok("picture"));

  test::TempDir dir("tvx-cookies");
  const fs::path file = dir.Write("cookies.txt",
                                  "127.0.0.1\tFALSE\t/members\tFALSE\t0\tsession\tgood\n"
                                  "127.0.0.1\tFALSE\t/members\tTRUE\t0\tsecure\tonly-https\n"
                                  "127.0.0.1\tFALSE\t/members\tFALSE\t1000\texpired\told\n"
                                  "127.0.0.1\tFALSE\t/private\tFALSE\t0\telsewhere\tpath\n"
                                  "127.0.0.2\tFALSE\t/\tFALSE\t0\tother\thost\n");
  const std::string bytes = test::ReadFile(file);
  const auto jar = CookieJar::Load(file);

  const std::string url = site.Url("/members/a.jpg");
  EXPECT_EQ(ViaSession(url, jar, true), 200);
  EXPECT_EQ(ViaSession(url, jar, false), 200);
  EXPECT_EQ(ViaFetcher(url, jar), 200);
  EXPECT_EQ(ViaSession(url, nullptr, true), 403) << "without the cookie file";
  EXPECT_EQ(ViaFetcher(url, nullptr), 403);
  EXPECT_EQ(ViaFetcher(site.Url("/index.html"), jar), 200);
  EXPECT_EQ(ViaSession(site.Url("/members/away.jpg"), jar, true), 200);

  std::vector<std::string> sent;
  for (const test::HttpRequest& r : site.Requests())
    sent.push_back(r.path + " " + r.Header("Cookie"));
  EXPECT_EQ(sent, (std::vector<std::string>{
                      "/members/a.jpg session=good", "/members/a.jpg session=good",
                      "/members/a.jpg session=good", "/members/a.jpg ", "/members/a.jpg ",
                      "/index.html ", "/members/away.jpg session=good"}));
  ASSERT_EQ(elsewhere.Requests().size(), 1u);
  EXPECT_FALSE(elsewhere.Requests()[0].HasHeader("Cookie"))
      << "a redirect to another host takes no cookie along, not even that host's";
  EXPECT_EQ(test::ReadFile(file), bytes) << "the file is never written";
}

}  // namespace
}  // namespace tvx::net
