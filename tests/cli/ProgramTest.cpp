// The built program with a command, run as a user runs it from a shell or
// cron: against loopback servers, without a display, through pipes and in a
// terminal. What it prints, its exit status, the files it saves and the
// lists it leaves.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/FolderLock.h"
#include "search/ResultPages.h"
#include "support/Files.h"
#include "support/ProgramRun.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::HttpRequest;
using test::HttpResponse;
using test::ProgramRun;
using test::RunProgram;
using test::TestHttpServer;

const std::string kProgram = TAVRINOX_PROGRAM;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::multiset<std::string> LineSet(const std::string& text) {
  const std::vector<std::string> lines = Lines(text);
  return {lines.begin(), lines.end()};
}

std::string List(const test::TempDir& dir, const char* file) { return test::ReadFile(dir / file); }

std::set<std::string> FilesBelow(const fs::path& folder) {
  std::set<std::string> files;
  if (!fs::exists(folder)) return files;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) files.insert(fs::relative(e.path(), folder).string());
  return files;
}

TEST(ProgramGet, EachUrlIsSavedOrToldAsFailedAndTheListsKeepWhatHappened) {
  TestHttpServer web;
  web.Serve("/a.jpg", HttpResponse::Ok(test::BinaryBody(5000), "image/jpeg"));
  web.Serve("/missing.jpg", HttpResponse::Status(404));
  web.Serve("/page.html", HttpResponse::Html("<p>no picture</p>"));
  const std::string a = web.Url("/a.jpg");
  const std::string missing = web.Url("/missing.jpg");
  const std::string page = web.Url("/page.html");
  const std::string notFound = "failed " + missing + ": The requested URL returned error: 404";

  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string requestedBefore;
    int status;
    std::string out;
    std::multiset<std::string> err;
    std::string requested;
    std::string downloaded;
  };
  const Case cases[] = {
      {"one picture", {"get", a}, "", 0, "saved Pictures/a.jpg 5000\n", {}, "", a + "\r\n"},
      {"a picture, a missing one and a page",
       {"get", a, missing, page},
       "",
       1,
       "saved Pictures/a.jpg 5000\n",
       {notFound, "failed " + page +
                      ": The file you are trying to download is not a picture file! Please check "
                      "your URL!"},
       missing + "\r\n",
       a + "\r\n"},
      {"quiet",
       {"--quiet", "get", a, missing},
       "",
       1,
       "",
       {notFound},
       missing + "\r\n",
       a + "\r\n"},
      // Downloaded from its row: no second record.
      {"already requested",
       {"get", a},
       missing + "\r\n" + a + "\r\n",
       0,
       "saved Pictures/a.jpg 5000\n",
       {},
       missing + "\r\n",
       a + "\r\n"},
      {"typed without http://",
       {"get", a.substr(7)},
       "",
       0,
       "saved Pictures/a.jpg 5000\n",
       {},
       "",
       a + "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir("tvx-cli");
    if (!c.requestedBefore.empty()) dir.Write("reqpics.data", c.requestedBefore);
    const test::ProgramResult run = RunProgram(kProgram, c.args, dir.Path());
    ASSERT_TRUE(run.status.has_value()) << "still running";
    EXPECT_EQ(*run.status, c.status) << run.err;
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(LineSet(run.err), c.err);
    EXPECT_EQ(List(dir, "reqpics.data"), c.requested);
    EXPECT_EQ(List(dir, "dnldpics.data"), c.downloaded);
    EXPECT_EQ(test::ReadFile(dir / "Pictures/a.jpg"), test::BinaryBody(5000));
    EXPECT_FALSE(fs::exists(dir / kFolderLockFile)) << "the folder is let go";
  }
}

// A members' area: its pictures and pages answer 403 without the session
// cookie. Every request is recorded with the cookies it carried.
class MembersSite {
 public:
  MembersSite() {
    web_.SetHandler([this](const HttpRequest& r) {
      if (resetStart_ && r.path == "/index.html") {
        HttpResponse cut = HttpResponse::Html("<a href");
        cut.closeAfterBytes = 0;
        cut.resetOnClose = true;
        return cut;
      }
      if (r.path == "/index.html")
        return HttpResponse::Html(
            "<html><body>\n<a href=\"members/a.jpg\">a</a>\n<img src=\"members/b.png\">\n"
            "<a href=\"members/gallery.html\">more</a>\n</body></html>\n");
      if (r.path.rfind("/members/", 0) != 0) return HttpResponse::Status(404);
      if (r.Header("Cookie") != "session=good") return HttpResponse::Status(403, "log in");
      if (r.path == "/members/gallery.html")
        return HttpResponse::Html("<html>\n<img src=\"c.jpg\">\n</html>\n");
      if (r.path == "/members/a.jpg") return HttpResponse::Ok(test::BinaryBody(1000), "image/jpeg");
      if (r.path == "/members/b.png") return HttpResponse::Ok(test::BinaryBody(2000), "image/png");
      if (r.path == "/members/c.jpg") return HttpResponse::Ok(test::BinaryBody(3000), "image/jpeg");
      return HttpResponse::Status(404);
    });
  }
  std::string Start() const { return web_.Url("/index.html"); }
  std::string Host() const { return "127.0.0.1"; }
  void ResetStart(bool reset) { resetStart_ = reset; }
  std::vector<HttpRequest> Requests() const { return web_.Requests(); }

  // Every member request carried the session (when there was a cookie
  // file), and nothing else carried any cookie.
  void ExpectOnlyTheSessionSent(bool cookies = true) const {
    for (const HttpRequest& r : web_.Requests()) {
      SCOPED_TRACE(r.path);
      const bool members = cookies && r.path.rfind("/members/", 0) == 0;
      EXPECT_EQ(r.Header("Cookie"), members ? "session=good" : "");
    }
  }

  static std::multiset<std::string> SavedLines(const std::string& project) {
    return {"saved Pictures/" + project + "/members/a.jpg 1000",
            "saved Pictures/" + project + "/members/b.png 2000",
            "saved Pictures/" + project + "/members/c.jpg 3000", project + ": 3 pictures saved"};
  }

 private:
  TestHttpServer web_;
  std::atomic<bool> resetStart_{false};
};

// The session cookie, and cookies that must stay at home: secure (the site is
// plain http), expired, of another host, of another path.
const char* const kCookiesTxt =
    "# Netscape HTTP Cookie File\n"
    "127.0.0.1\tFALSE\t/members\tFALSE\t0\tsession\tgood\n"
    "127.0.0.1\tFALSE\t/\tTRUE\t0\tsecure\tonly-https\n"
    "127.0.0.1\tFALSE\t/\tFALSE\t1000000000\texpired\told\n"
    "127.0.0.2\tFALSE\t/\tFALSE\t0\tother\thost\n"
    "127.0.0.1\tFALSE\t/private\tFALSE\t0\telsewhere\tpath\n";

// The same cookies in a Firefox profile's database.
void WriteFirefoxCookies(const fs::path& file) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  const char* sql =
      "CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, originAttributes TEXT NOT NULL DEFAULT "
      "'', name TEXT, value TEXT, host TEXT, path TEXT, expiry INTEGER, lastAccessed INTEGER, "
      "creationTime INTEGER, isSecure INTEGER, isHttpOnly INTEGER);"
      "INSERT INTO moz_cookies (name, value, host, path, expiry, isSecure) VALUES "
      "('session', 'good', '127.0.0.1', '/members', 4000000000, 0),"
      "('secure', 'only-https', '127.0.0.1', '/', 4000000000, 1),"
      "('expired', 'old', '127.0.0.1', '/', 1000000000, 0),"
      "('other', 'host', '127.0.0.2', '/', 4000000000, 0),"
      "('elsewhere', 'path', '127.0.0.1', '/private', 4000000000, 0);";
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << error;
  sqlite3_close(db);
}

TEST(ProgramCrawl, TheCookieFileLetsEitherCrawlIntoAMembersArea) {
  struct Case {
    const char* name;
    bool classic;
    const char* cookieFile;           // below the working folder; empty: none
    std::vector<std::string> polite;  // options of politeness, kept with the project
  };
  const std::vector<std::string> polite{"--no-robots",
                                        "--wait",
                                        "1",
                                        "--max-kb",
                                        "100",
                                        "--refetch-deleted",
                                        "--copies-across-projects"};
  const Case cases[] = {
      {"modern, cookies.txt", false, "cookies.txt", {}},
      {"classic, cookies.txt", true, "cookies.txt", {}},
      {"modern, cookies.sqlite, polite options", false, "profile/cookies.sqlite", polite},
      {"classic, cookies.sqlite", true, "profile/cookies.sqlite", {}},
      {"without cookies", false, "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MembersSite site;
    test::TempDir dir("tvx-cli");
    dir.Write("cookies.txt", kCookiesTxt);
    fs::create_directories(dir / "profile");
    WriteFirefoxCookies(dir / "profile/cookies.sqlite");
    const std::string before = test::ReadFile(dir / c.cookieFile);

    std::vector<std::string> args{"crawl", site.Start(), "--project", "club"};
    if (c.classic) args.push_back("--classic");
    if (*c.cookieFile) args.insert(args.end(), {"--cookies", c.cookieFile});
    args.insert(args.end(), c.polite.begin(), c.polite.end());
    const test::ProgramResult run = RunProgram(kProgram, args, dir.Path());
    ASSERT_TRUE(run.status.has_value());
    EXPECT_EQ(*run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    site.ExpectOnlyTheSessionSent(*c.cookieFile != '\0');
    // A modern crawl reads robots.txt first unless told not to.
    const auto requests = site.Requests();
    const bool robotsRead = std::any_of(requests.begin(), requests.end(), [](const HttpRequest& r) {
      return r.path == "/robots.txt";
    });
    EXPECT_EQ(robotsRead, !c.classic && c.polite.empty());
    const std::string options = List(dir, "picwebopts.data");
    for (const char* line : {"\trobots 0", "\twait 1", "\tmax-kb 100", "\trefetch-deleted 1",
                             "\tcopies-across-projects 1"})
      EXPECT_EQ(options.find(line) != std::string::npos, !c.polite.empty()) << line << options;
    EXPECT_EQ(List(dir, "dnldpicwebs.data").rfind("club\r\n", 0), 0u) << "moved when done";
    if (!*c.cookieFile) {
      // Every member page answered 403: nothing to save, which is no error.
      EXPECT_EQ(run.out, "club: 0 pictures saved\n");
      continue;
    }
    EXPECT_EQ(LineSet(run.out), MembersSite::SavedLines("club"));
    EXPECT_EQ(test::ReadFile(dir / "Pictures/club/members/c.jpg"), test::BinaryBody(3000));
    // The project keeps the file by its full name; the file is only read.
    EXPECT_NE(List(dir, "picwebopts.data").find("\tcookies " + (dir / c.cookieFile).string()),
              std::string::npos)
        << List(dir, "picwebopts.data");
    EXPECT_EQ(test::ReadFile(dir / c.cookieFile), before);
  }
}

TEST(ProgramCrawl, ACookieFileThatCannotBeReadKeepsTheCrawlFromStarting) {
  MembersSite site;
  test::TempDir dir("tvx-cli");
  const std::string cookies = (dir / "cookies.txt").string();
  const std::string unusable =
      "The cookie file \"" + cookies + "\" cannot be used: No such file or directory";

  // Named on the command line: nothing is added, nothing fetched.
  test::ProgramResult run =
      RunProgram(kProgram, {"crawl", site.Start(), "--cookies", "cookies.txt"}, dir.Path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "tavrinox: " + unusable + "\n");
  EXPECT_FALSE(fs::exists(dir / "reqpicwebs.data"));
  EXPECT_TRUE(site.Requests().empty());

  // Kept by a project whose crawl broke off; the file went away since: the
  // next run tells so and fetches nothing, and once it is back the project
  // is crawled with its cookies.
  dir.Write("cookies.txt", kCookiesTxt);
  site.ResetStart(true);
  run = RunProgram(kProgram, {"crawl", site.Start(), "--project", "club", "--cookies", cookies},
                   dir.Path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "failed club: Some errors occurred\n");
  site.ResetStart(false);
  // A project of that name is requested already: refused as Add Web Site does.
  run = RunProgram(kProgram, {"crawl", site.Start(), "--project", "club"}, dir.Path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "tavrinox: A project with that name already exists!\n");
  fs::remove(dir / "cookies.txt");
  const std::size_t asked = site.Requests().size();
  run = RunProgram(kProgram, {"run"}, dir.Path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "failed club: " + unusable + "\n");
  EXPECT_EQ(site.Requests().size(), asked);
  EXPECT_EQ(List(dir, "reqpicwebs.data").rfind("club\r\n", 0), 0u) << "still requested";

  dir.Write("cookies.txt", kCookiesTxt);
  run = RunProgram(kProgram, {"run"}, dir.Path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(LineSet(run.out), MembersSite::SavedLines("club"));
  site.ExpectOnlyTheSessionSent();
}

TEST(ProgramSearch, TheResultsArePrintedOneALineAndKept) {
  TestHttpServer engine;
  const std::vector<std::string> links = test::ResultLinks(3);
  engine.Serve(test::kAltaVistaPath, HttpResponse::Html(test::AltaVistaPage(links)));
  const ProgramRun::Env env{{kAltaVistaHostVariable, "127.0.0.1:" + std::to_string(engine.Port())}};
  test::TempDir dir("tvx-cli");

  test::ProgramResult run =
      RunProgram(kProgram, {"search", "tulips", "--engine", "altavista"}, dir.Path(), env);
  EXPECT_EQ(run.status, 0) << run.err;
  std::string printed, kept;
  for (const std::string& link : test::Kept(links)) {
    printed += link + "\n";
    kept += link + "\r\n";
  }
  EXPECT_EQ(run.out, printed);
  EXPECT_EQ(List(dir, "picsearchres.data"), kept);
  EXPECT_EQ(List(dir, "reqpicsearch.data").rfind("tulips\r\ntulips\r\n1 0 0 ", 0), 0u)
      << List(dir, "reqpicsearch.data");

  // Without --engine the engines of today are asked; here only Openverse
  // answers with pictures, the two others with nothing.
  TestHttpServer today;
  today.SetHandler([](const HttpRequest& r) {
    if (r.target.rfind("/openverse", 0) != 0) return HttpResponse::Status(404);
    return HttpResponse::Ok(
        R"({"result_count":2,"page_count":1,"results":[)"
        R"({"id":"1","title":"Tulip","url":"http://pics.example/tulip.jpg",)"
        R"("foreign_landing_url":"https://pages.example/1","creator":"Ann","license":"by",)"
        R"("license_version":"4.0"},)"
        R"({"id":"2","title":"Tulips","url":"http://pics.example/tulips.png",)"
        R"("foreign_landing_url":"https://pages.example/2","creator":"Bo","license":"cc0",)"
        R"("license_version":"1.0"}]})",
        "application/json");
  });
  const ProgramRun::Env todayEnv{{"TAVRINOX_OPENVERSE_URL", today.Url("/openverse")},
                                 {"TAVRINOX_COMMONS_URL", today.Url("/commons")},
                                 {"TAVRINOX_DUCKDUCKGO_URL", today.Url("/duckduckgo")}};
  run = RunProgram(kProgram, {"search", "red", "tulips"}, dir.Path(), todayEnv);
  EXPECT_NE(run.out.find("http://pics.example/tulip.jpg\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("http://pics.example/tulips.png\n"), std::string::npos) << run.out;
  EXPECT_NE(List(dir, "picsearchres.data").find("http://pics.example/tulips.png\r\n"),
            std::string::npos);
  EXPECT_NE(List(dir, "picsearchopts.data").find("red tulips"), std::string::npos)
      << List(dir, "picsearchopts.data");

  engine.Serve(test::kAltaVistaPath, HttpResponse::Status(500));
  run = RunProgram(kProgram, {"search", "daisies", "--engine", "altavista"}, dir.Path(), env);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "failed daisies: Error retrieving links from Altavista\n");
}

TEST(ProgramRunCommand, EveryRequestedItemRunsAsCronWouldRunIt) {
  // Everything is down at first, so that each item stays requested.
  std::atomic<bool> up{false};
  TestHttpServer web;
  web.SetHandler([&](const HttpRequest& r) {
    if (!up && r.path == "/index.html") {
      HttpResponse cut = HttpResponse::Html("<img");
      cut.closeAfterBytes = 0;
      cut.resetOnClose = true;
      return cut;
    }
    // Not 503: a server that asks to slow down is waited for.
    if (!up) return HttpResponse::Status(404);
    if (r.path == test::kAltaVistaPath)
      return HttpResponse::Html(test::AltaVistaPage(test::ResultLinks(2)));
    if (r.path == "/index.html") return HttpResponse::Html("<img src=\"pic.png\">\n");
    return HttpResponse::Ok(test::BinaryBody(700), "image/png");
  });
  const ProgramRun::Env env{{kAltaVistaHostVariable, "127.0.0.1:" + std::to_string(web.Port())}};
  test::TempDir dir("tvx-cli");
  const std::string file = web.Url("/a.png");

  // An empty folder: nothing to do, nothing written.
  EXPECT_EQ(RunProgram(kProgram, {"run"}, dir.Path(), env).status, 0);
  EXPECT_TRUE(FilesBelow(dir.Path()).empty());

  EXPECT_EQ(RunProgram(kProgram, {"get", file}, dir.Path(), env).status, 1);
  EXPECT_EQ(
      RunProgram(kProgram, {"crawl", web.Url("/index.html"), "--classic", "--project", "site"},
                 dir.Path(), env)
          .status,
      1);
  EXPECT_EQ(
      RunProgram(kProgram, {"search", "tulips", "--engine", "altavista"}, dir.Path(), env).status,
      1);

  up = true;
  const test::ProgramResult run = RunProgram(kProgram, {"--quiet", "run"}, dir.Path(), env);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "") << "quiet";
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(List(dir, "reqpics.data"), "");
  EXPECT_EQ(List(dir, "dnldpics.data"), file + "\r\n");
  EXPECT_EQ(test::ReadFile(dir / "Pictures/a.png"), test::BinaryBody(700));
  EXPECT_EQ(List(dir, "picsearchres.data"), test::Kept(test::ResultLinks(2))[0] + "\r\n" +
                                                test::Kept(test::ResultLinks(2))[1] + "\r\n");

  // Each list as `list` prints it: the URL or name, a tab, the status.
  struct Listed {
    const char* list;
    std::string printed;
  };
  const Listed listed[] = {
      {"files", ""},
      {"downloaded-files", file + "\tSuccess\n"},
      {"sites", ""},
      {"downloaded-sites", "site\tSuccess\n"},
      {"searches", "tulips\tReady for download\n"},
      {"results", test::Kept(test::ResultLinks(2))[0] + "\tNew Project\n" +
                      test::Kept(test::ResultLinks(2))[1] + "\tNew Project\n"},
  };
  for (const Listed& l : listed) {
    SCOPED_TRACE(l.list);
    const test::ProgramResult shown = RunProgram(kProgram, {"list", l.list}, dir.Path());
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out, l.printed);
  }
}

// A picture that comes half and then nothing more, beside one that comes
// whole: the run waits for the first while its bar stands at 50%.
class HalfServed {
 public:
  HalfServed() {
    web_.Serve("/a.jpg", HttpResponse::Ok(test::BinaryBody(5000), "image/jpeg"));
    HttpResponse half = HttpResponse::Ok(test::BinaryBody(200000), "image/jpeg");
    half.stallAfterBytes = 100000;
    web_.Serve("/big.jpg", half);
  }
  std::string A() const { return web_.Url("/a.jpg"); }
  std::string Big() const { return web_.Url("/big.jpg"); }
  std::size_t Asked(const std::string& path) const { return web_.RequestCount(path); }

 private:
  TestHttpServer web_;
};

TEST(ProgramTerminal, BarsWhileItRunsAndEachQuitSignalSavesTheListsBeforeItEnds) {
  struct Case {
    const char* name;
    std::vector<int> signals;
  };
  const Case cases[] = {{"SIGINT", {SIGINT}},
                        {"SIGTERM", {SIGTERM}},
                        {"SIGHUP", {SIGHUP}},
                        {"Ctrl+C twice", {SIGINT, SIGINT}}};
  bool first = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HalfServed web;
    test::TempDir dir("tvx-cli");
    ProgramRun program(kProgram, {"get", web.A(), web.Big()}, dir.Path(),
                       ProgramRun::Via::Terminal);
    ASSERT_TRUE(program.WaitForOutput("saved Pictures/a.jpg 5000", 60s)) << program.Out();
    // The bar of the big one, whatever part of it has been drawn yet.
    ASSERT_TRUE(program.WaitForOutput("big.jpg  [", 60s)) << program.Out();
    ASSERT_TRUE(program.WaitForOutput(" of 195.3 KB", 60s)) << program.Out();

    if (first) {
      // The folder is taken: another copy says so and touches nothing.
      first = false;
      const test::ProgramResult second = RunProgram(kProgram, {"get", web.A()}, dir.Path());
      EXPECT_EQ(second.status, 3);
      EXPECT_EQ(second.err, std::string(kAnotherCopyText) + "\n");
      EXPECT_EQ(second.out, "");
      EXPECT_EQ(web.Asked("/a.jpg"), 1u);
      EXPECT_EQ(RunProgram(kProgram, {"list"}, dir.Path()).status, 3);
    }

    for (int s : c.signals) program.Signal(s);
    const std::optional<int> status = program.Wait(60s);
    ASSERT_TRUE(status.has_value()) << "still running after the signal";
    EXPECT_EQ(*status, 1) << "not every item ended well";
    EXPECT_NE(program.Out().find("stopped " + web.Big()), std::string::npos) << program.Out();
    EXPECT_EQ(List(dir, "reqpics.data"), web.Big() + "\r\n");
    EXPECT_EQ(List(dir, "dnldpics.data"), web.A() + "\r\n");
    EXPECT_FALSE(fs::exists(dir / "Pictures/big.jpg")) << "a piece never takes the name";
    EXPECT_FALSE(fs::exists(dir / kFolderLockFile));
  }
}

TEST(ProgramProxy, EveryTransferGoesThroughTheProxyTheEnvironmentNames) {
  // The proxy answers for two hosts that only it can reach.
  TestHttpServer proxy;
  const std::vector<std::string> links = test::ResultLinks(2);
  proxy.SetHandler([&](const HttpRequest& r) {
    auto below = [&](const std::string& host) -> std::optional<std::string> {
      for (const std::string& prefix : {"http://" + host + ":80", "http://" + host})
        if (r.target.rfind(prefix, 0) == 0) return r.target.substr(prefix.size());
      return std::nullopt;
    };
    if (auto path = below("search.example"); path && path->rfind(test::kAltaVistaPath, 0) == 0)
      return HttpResponse::Html(test::AltaVistaPage(links));
    std::optional<std::string> path = below("pictures.example");
    if (!path) return HttpResponse::Status(502);
    if (*path == "/index.html")
      return HttpResponse::Html("<a href=\"a.jpg\">a</a>\n<img src=\"g/b.png\">\n");
    if (*path == "/a.jpg") return HttpResponse::Ok(test::BinaryBody(900), "image/jpeg");
    if (*path == "/g/b.png") return HttpResponse::Ok(test::BinaryBody(800), "image/png");
    return HttpResponse::Status(404);
  });
  const ProgramRun::Env env{{"http_proxy", "http://127.0.0.1:" + std::to_string(proxy.Port())},
                            {"https_proxy", std::nullopt},
                            {"all_proxy", std::nullopt},
                            {"no_proxy", std::nullopt},
                            {"NO_PROXY", std::nullopt},
                            {kAltaVistaHostVariable, "search.example"}};
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::multiset<std::string> out;
  };
  const Case cases[] = {
      {"a single file", {"get", "http://pictures.example/a.jpg"}, {"saved Pictures/a.jpg 900"}},
      {"a modern crawl",
       {"crawl", "http://pictures.example/index.html"},
       {"saved Pictures/pictures.example/a.jpg 900", "saved Pictures/pictures.example/g/b.png 800",
        "pictures.example: 2 pictures saved"}},
      {"a classic crawl",
       {"crawl", "http://pictures.example/index.html", "--classic", "--project", "old"},
       {"saved Pictures/old/a.jpg 900", "saved Pictures/old/g/b.png 800", "old: 2 pictures saved"}},
      {"a search", {"search", "tulips", "--engine", "altavista"}, {}},
  };
  std::size_t before = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir("tvx-cli");
    const test::ProgramResult run = RunProgram(kProgram, c.args, dir.Path(), env);
    EXPECT_EQ(run.status, 0) << run.err;
    if (c.out.empty()) {
      EXPECT_EQ(Lines(run.out), test::Kept(links));
    } else {
      EXPECT_EQ(LineSet(run.out), c.out);
    }
    const std::vector<HttpRequest> requests = proxy.Requests();
    EXPECT_GT(requests.size(), before);
    for (std::size_t i = before; i < requests.size(); ++i)
      EXPECT_EQ(requests[i].target.rfind("http://", 0), 0u) << requests[i].target;
    before = requests.size();
  }
}

}  // namespace
}  // namespace tvx
