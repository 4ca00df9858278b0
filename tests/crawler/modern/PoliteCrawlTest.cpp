// Modern link search as a good citizen of the web: robots.txt, slow-down
// answers and retries, the gap between requests, only new pictures on a
// second run, no copies, size filters. Servers on 127.0.0.1 and 127.0.0.2 log
// every request with the time it came; waits are checked from below only (a
// busy machine makes them longer, never shorter).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "crawler/SiteCrawlFixture.h"
#include "crawler/modern/ModernCrawl.h"
#include "engine/Engine.h"
#include "files/Sha256.h"
#include "store/PictureArchive.h"
#include "store/SiteOptions.h"
#include "support/Files.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using test::BinaryBody;
using test::HttpRequest;
using test::HttpResponse;
using test::ReadFile;
using Strings = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

std::string Be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

// A PNG head of width x height, then bytes of its own up to size.
std::string Png(std::uint32_t width, std::uint32_t height, std::size_t size,
                const std::string& name) {
  std::string png =
      std::string("\x89PNG\r\n\x1a\n", 8) + Be32(13) + "IHDR" + Be32(width) + Be32(height) + name;
  png += BinaryBody(size - std::min(size, png.size()));
  for (std::size_t i = 0; i < name.size() && 40 + i < png.size(); ++i) png[40 + i] ^= name[i];
  return png;
}

std::string Digest(const std::string& bytes) {
  Sha256 sha;
  sha.Add(bytes.data(), bytes.size());
  return sha.HexDigest();
}

std::string HttpDate(std::time_t t) {
  char text[64];
  std::tm tm{};
  gmtime_r(&t, &tm);
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
  return text;
}

class PoliteCrawl : public test::SiteCrawlFixture {
 protected:
  void SetUp() override {
    SiteCrawlFixture::SetUp();
    test::E().siteOptions.Reset();
    test::E().archive.Reset();
  }
  void TearDown() override {
    SiteCrawlFixture::TearDown();
    test::E().siteOptions.Reset();
    test::E().archive.Reset();
  }
  SiteProject Polite(const std::string& startUrl, const SiteOptions& options,
                     const char* name = "proj") {
    SiteProject p = Project(startUrl, name);
    p.typeGif = 0;
    p.typeJpg = 1;
    p.typePng = 1;
    SiteOptions o = options;
    o.modernLinks = true;
    test::E().siteOptions.Set(name, o);
    return p;
  }
  // Runs the project to its end as a new requested site.
  void Crawl(const SiteProject& p) {
    Start(p);
    ASSERT_EQ(Finish(), kCrawlDone);
  }
  static Strings PathsOf(const test::TestHttpServer& server) {
    Strings out;
    for (const HttpRequest& r : server.Requests()) out.push_back(r.target);
    return out;
  }
  static bool Has(const Strings& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
  }
  // The requests a server heard after the one for `path` (its first), and
  // how long after it each came.
  static std::vector<Clock::duration> After(const test::TestHttpServer& server,
                                            const std::string& path) {
    const std::vector<HttpRequest> all = server.Requests();
    std::vector<Clock::duration> out;
    auto first = std::find_if(all.begin(), all.end(),
                              [&](const HttpRequest& r) { return r.target == path; });
    if (first == all.end()) return out;
    for (auto r = first + 1; r != all.end(); ++r) out.push_back(r->at - first->at);
    return out;
  }
};

// One host's robots.txt has a group for us among others, Allow within a
// Disallow, wildcards, an end mark and a Crawl-delay; another host answers
// 404 for its robots.txt and is crawled whole; a third origin's robots.txt
// fails (503), so nothing of it is fetched and the run says so.
TEST_F(PoliteCrawl, RobotsTxtOfEveryOriginIsObeyed) {
  test::TestHttpServer other("127.0.0.2");
  test::TestHttpServer failing("127.0.0.2");
  http_.Serve("/robots.txt", HttpResponse::Ok("User-agent: *\nDisallow: /\n\n"
                                              "User-agent: Tavrinox\nDisallow: /private/\n"
                                              "Allow: /private/ok/\nDisallow: /*.png$\n"
                                              "Crawl-delay: 1\n",
                                              "text/plain"));
  http_.Serve(
      "/index.html",
      HttpResponse::Html("<img src=a.jpg><img src=private/x.jpg><img src=private/ok/y.jpg>"
                         "<img src=b.png><img src=\"b.png?v=1\"><a href=private/p.html>"
                         "<a href=\"" +
                         other.Url("/o.html") + "\"><a href=\"" + failing.Url("/f.jpg") + "\">"));
  http_.SetHandler([](const HttpRequest& r) { return HttpResponse::Ok("JFIF" + r.target); });
  other.Serve("/o.html", HttpResponse::Html("<img src=d.jpg><img src=e.jpg>"));
  other.SetHandler([](const HttpRequest& r) {
    return r.path == "/robots.txt" ? HttpResponse::Status(404)
                                   : HttpResponse::Ok("JFIF" + r.target);
  });
  failing.SetHandler([](const HttpRequest&) { return HttpResponse::Status(503); });
  SiteProject p = Polite(http_.Url("/index.html"), {});
  p.exitDomain = 1;
  Crawl(p);

  const Strings asked = PathsOf(http_);
  for (const char* never : {"/private/x.jpg", "/b.png", "/private/p.html"})
    EXPECT_FALSE(Has(asked, never)) << never;
  EXPECT_EQ(asked.front(), "/robots.txt") << "robots.txt is read before anything else";
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "/robots.txt"), 1);
  EXPECT_EQ(PathsOf(failing), Strings{"/robots.txt"});
  for (const char* saved : {"a.jpg", "private/ok/y.jpg", "b_v=1.png"})
    EXPECT_EQ(ReadFile("Pictures/proj/" + std::string(saved)).substr(0, 4), "JFIF") << saved;
  for (const char* saved : {"d.jpg", "e.jpg"})
    EXPECT_TRUE(fs::exists("Pictures/proj/127.0.0.2/" + std::string(saved))) << saved;

  // Crawl-delay: 1 spaces the starts of the host's requests by a second. A
  // request reaches the server some time after its start, so the whole row
  // of them is checked, against all gaps but one.
  const std::vector<HttpRequest> all = http_.Requests();
  ASSERT_EQ(all.size(), 5u);  // robots.txt, the page, three pictures
  EXPECT_GE(all.back().at - all.front().at, std::chrono::seconds(3));

  const std::string reason = "http://" + failing.Host() + ":" + std::to_string(failing.Port()) +
                             "/robots.txt answered 503: nothing fetched there";
  EXPECT_TRUE(Ui().Has("Status: " + reason));
  EXPECT_EQ(Status(), reason + ", 3 links skipped by robots.txt");
  EXPECT_TRUE(Ui().Has("row 0 status: " + reason + ", 3 links skipped by robots.txt"));
  ASSERT_EQ(test::E().lists.requestedSites.GetCount(), 1);
  EXPECT_STREQ(test::E().lists.requestedSites.GetAt(0)->status, "Some errors occurred");
}

// With "Obey robots.txt" unticked nothing of it is read or followed.
TEST_F(PoliteCrawl, RobotsTxtCanBeLeftAlone) {
  http_.Serve("/robots.txt", HttpResponse::Ok("User-agent: *\nDisallow: /\n", "text/plain"));
  http_.Serve("/index.html", HttpResponse::Html("<img src=a.jpg>"));
  http_.Serve("/a.jpg", HttpResponse::Ok("JFIF a"));
  SiteOptions options;
  options.obeyRobots = false;
  Crawl(Polite(http_.Url("/index.html"), options));
  EXPECT_EQ(PathsOf(http_), (Strings{"/index.html", "/a.jpg"}));
  EXPECT_EQ(Status(), "Success");
}

// 429 with Retry-After in seconds, as a date and without one, 503, a reset
// mid-body and a server error: the host is left alone for as long as it
// asked, failures are asked again after a growing wait, and every picture
// that could be had is saved in the end. "Wait between requests" spaces the
// requests to the other host.
TEST_F(PoliteCrawl, SlowDownAnswersPauseTheHostAndFailuresAreTriedAgain) {
  test::TestHttpServer other("127.0.0.2");
  std::mutex mutex;
  std::map<std::string, int> times;  // requests per path
  const auto once = [&](const HttpRequest& r) {
    std::lock_guard lock(mutex);
    return ++times[r.path + r.Header("Host")] == 1;
  };
  const auto picture = [](const std::string& path) { return "JFIF" + path + BinaryBody(4000); };
  http_.SetHandler([&](const HttpRequest& r) {
    if (r.path == "/robots.txt") return HttpResponse::Status(404);
    if (r.path == "/index.html") {
      std::string page;
      for (const char* name : {"p1", "p2", "p3", "p4", "p5", "p6"})
        page += "<img src=" + std::string(name) + ".jpg>";
      return HttpResponse::Html(page + "<a href=\"" + other.Url("/q.html") + "\">");
    }
    const bool first = once(r);
    HttpResponse slow = HttpResponse::Status(429);
    if (r.path == "/p1.jpg" && first) {
      slow.headers.push_back({"Retry-After", "1"});
      return slow;
    }
    if (r.path == "/p2.jpg" && first) return slow;  // the default wait
    if (r.path == "/p3.jpg" && first) return HttpResponse::Status(503);
    if (r.path == "/p4.jpg" && first) {
      HttpResponse cut = HttpResponse::Ok(picture(r.path), "image/jpeg");
      cut.closeAfterBytes = 1000;
      cut.resetOnClose = true;
      return cut;
    }
    if (r.path == "/p6.jpg") return HttpResponse::Status(500);
    return HttpResponse::Ok(picture(r.path), "image/jpeg");
  });
  other.SetHandler([&](const HttpRequest& r) {
    if (r.path == "/robots.txt") return HttpResponse::Status(404);
    if (r.path == "/q.html") return HttpResponse::Html("<img src=q1.jpg><img src=q2.jpg>");
    if (r.path == "/q1.jpg" && once(r)) {
      HttpResponse slow = HttpResponse::Status(429);
      slow.headers.push_back({"Retry-After", HttpDate(std::time(nullptr) + 30)});
      return slow;
    }
    return HttpResponse::Ok(picture(r.path), "image/jpeg");
  });
  SiteOptions options;
  options.transfersPerHost = 1;  // one request after the other: the order tells the waits
  SiteProject p = Polite(http_.Url("/index.html"), options);
  p.exitDomain = 1;
  Crawl(p);

  for (const char* name : {"p1", "p2", "p3", "p4", "p5"})
    EXPECT_EQ(ReadFile("Pictures/proj/" + std::string(name) + ".jpg"),
              picture("/" + std::string(name) + ".jpg"))
        << name;
  for (const char* name : {"q1", "q2"})
    EXPECT_EQ(ReadFile("Pictures/proj/127.0.0.2/" + std::string(name) + ".jpg"),
              picture("/" + std::string(name) + ".jpg"))
        << name;
  EXPECT_EQ(http_.RequestCount("/p6.jpg"), std::size_t(kMaxTries)) << "a 500 is tried four times";
  EXPECT_FALSE(fs::exists("Pictures/proj/p6.jpg"));
  EXPECT_EQ(Status(), "Success") << "a 500 to the end is not found, as before";

  // After each slow-down answer nothing reached its host for the time asked:
  // 1 s; the default (300 ms in tests); the HTTP date 30 s ahead, within the
  // cap (1.5 s in tests).
  const struct {
    const test::TestHttpServer& server;
    const char* path;
    milliseconds least;
  } waits[] = {{http_, "/p1.jpg", milliseconds(1000)},
               {http_, "/p2.jpg", limits_.slowDownDefault},
               {http_, "/p3.jpg", limits_.slowDownDefault},
               {other, "/q1.jpg", limits_.slowDownCap}};
  for (const auto& w : waits) {
    const std::vector<Clock::duration> after = After(w.server, w.path);
    ASSERT_FALSE(after.empty()) << w.path;
    EXPECT_GE(after.front(), w.least) << w.path;
  }
  EXPECT_TRUE(Ui().Has("Status: Waiting 1 s: 127.0.0.1 asked to slow down"));
  EXPECT_TRUE(Ui().Has("row 0 status: Waiting 1 s: 127.0.0.1 asked to slow down"));
  EXPECT_TRUE(Ui().Has("Status: Waiting 2 s: 127.0.0.2 asked to slow down"));
}

// A host gets no more transfers at once than the ceiling, and fewer once it
// asked to slow down: the server counts the requests it holds as each comes.
// After a run of slow-down answers it counts only the requests that came
// after them, so the transfers of before (which a busy machine may deliver
// late) are not taken for new ones.
TEST_F(PoliteCrawl, FewerTransfersAtOnceAfterASlowDown) {
  constexpr int kCeiling = 6;
  constexpr int kPictures = 80;
  constexpr int kCalm = 30;  // pictures answered before the slow-down answers
  std::mutex mutex;
  int held = 0, most = 0, asked = 0, slowDowns = 0, heldAfter = 0;
  std::vector<int> after;  // requests held after the slow-downs, as each came
  http_.SetHandler([&](const HttpRequest& r) {
    if (r.path == "/robots.txt") return HttpResponse::Status(404);
    if (r.path == "/index.html") {
      std::string page;
      for (int i = 0; i < kPictures; ++i) page += "<img src=p" + std::to_string(i) + ".jpg>";
      return HttpResponse::Html(page);
    }
    bool late = false;
    {
      std::lock_guard lock(mutex);
      most = std::max(most, ++held);
      if (++asked > kCalm && slowDowns < kCeiling) {
        ++slowDowns;
        --held;
        HttpResponse slow = HttpResponse::Status(503);
        slow.headers.push_back({"Retry-After", "1"});
        return slow;
      }
      late = slowDowns == kCeiling;
      if (late) after.push_back(++heldAfter);
    }
    // Held a little, so that transfers overlap.
    std::this_thread::sleep_for(milliseconds(20));
    std::lock_guard lock(mutex);
    --held;
    if (late) --heldAfter;
    return HttpResponse::Ok("JFIF" + r.path, "image/jpeg");
  });
  SiteOptions options;
  options.transfersPerHost = kCeiling;
  Crawl(Polite(http_.Url("/index.html"), options));

  EXPECT_EQ(Status(), "Success");
  for (int i = 0; i < kPictures; ++i) {
    const std::string name = "p" + std::to_string(i) + ".jpg";
    EXPECT_EQ(ReadFile("Pictures/proj/" + name), "JFIF/" + name);
  }
  std::lock_guard lock(mutex);
  EXPECT_EQ(slowDowns, kCeiling);
  EXPECT_LE(most, kCeiling);
  ASSERT_GE(after.size(), std::size_t(kCeiling));
  // Each slow-down halved the host's transfers (the host waited a second
  // after each, while the crawl read the others), and a round of answers
  // adds one at most: the first requests after them are no more than half.
  EXPECT_LE(*std::max_element(after.begin(), after.begin() + kCeiling), kCeiling / 2)
      << "held at once after the slow-downs";
}

// "Wait between requests to a host" spaces the starts of its requests, and
// Crawl-delay wins when larger.
TEST_F(PoliteCrawl, WaitBetweenRequestsSpacesThemOut) {
  http_.Serve("/index.html", HttpResponse::Html("<img src=a.jpg><img src=b.jpg><img src=c.jpg>"));
  http_.SetHandler([](const HttpRequest& r) {
    return r.path == "/robots.txt" ? HttpResponse::Status(404)
                                   : HttpResponse::Ok("JFIF" + r.path, "image/jpeg");
  });
  SiteOptions options;
  options.waitSeconds = 1;
  Crawl(Polite(http_.Url("/index.html"), options));
  const std::vector<HttpRequest> all = http_.Requests();
  ASSERT_EQ(all.size(), 5u);
  EXPECT_GE(all.back().at - all.front().at, std::chrono::seconds(3));
  EXPECT_EQ(Status(), "Success");
}

// A crawl stopped while its host makes it wait ten minutes ends at once: the
// wait is no timer it sleeps through. (Finish's bound is well below ten
// minutes.)
TEST_F(PoliteCrawl, AStopEndsAWaitAtOnce) {
  http_.Serve("/index.html", HttpResponse::Html("<img src=a.jpg>"));
  HttpResponse slow = HttpResponse::Status(503);
  slow.headers.push_back({"Retry-After", "3600"});
  http_.Serve("/a.jpg", slow);
  limits_.slowDownCap = std::chrono::minutes(10);
  SiteOptions options;
  options.obeyRobots = false;
  Start(Polite(http_.Url("/index.html"), options));
  ASSERT_TRUE(test::WaitFor([&] { return http_.RequestCount("/a.jpg") == 1; }));
  ASSERT_TRUE(test::WaitFor(
      [&] { return Ui().Has("Status: Waiting 600 s: 127.0.0.1 asked to slow down"); }));
  test::PauseWorker(WorkerKind::Site);
  test::ResumeWorker(WorkerKind::Site);
  test::RequestStop(WorkerKind::Site);
  EXPECT_EQ(Finish(), kCrawlStopped);
  EXPECT_EQ(Status(), "Download Stopped");
  EXPECT_EQ(http_.RequestCount("/a.jpg"), 1u);
}

// A site that changes between two runs: the second run asks each picture it
// has with its validators and is sent only the bodies of what is new or
// changed; a picture the user deleted is not asked for again; pages are read
// every time. A third run cut off mid-picture leaves every file whole and
// every archive line true to its file.
TEST_F(PoliteCrawl, ASecondRunFetchesOnlyWhatIsNew) {
  std::mutex mutex;
  std::map<std::string, int> version;  // picture path -> its version
  int bodies = 0, notModified = 0;
  bool cut = false;  // p4 breaks off mid-body, every time
  const auto body = [](const std::string& path, int v) {
    return "JFIF" + path + std::to_string(v) + BinaryBody(3000);
  };
  for (int i = 0; i < 10; ++i) version["/p" + std::to_string(i) + ".jpg"] = 1;
  http_.SetHandler([&](const HttpRequest& r) {
    std::lock_guard lock(mutex);
    if (r.path == "/robots.txt") return HttpResponse::Status(404);
    if (r.path == "/index.html") {
      std::string page;
      for (const auto& [path, v] : version) page += "<img src=" + path.substr(1) + ">";
      return HttpResponse::Html(page);
    }
    auto it = version.find(r.path);
    if (it == version.end()) return HttpResponse::Status(404);
    const std::string etag = "\"" + r.path + "-" + std::to_string(it->second) + "\"";
    if (r.Header("If-None-Match") == etag) {
      ++notModified;
      return HttpResponse::Status(304);
    }
    ++bodies;
    HttpResponse ok = HttpResponse::Ok(body(r.path, it->second), "image/jpeg");
    ok.headers.push_back({"ETag", etag});
    ok.headers.push_back({"Last-Modified", "Tue, 01 Dec 2026 10:00:00 GMT"});
    if (cut && r.path == "/p4.jpg") {
      ok.closeAfterBytes = 1500;
      ok.resetOnClose = true;
    }
    return ok;
  });
  const SiteProject p = Polite(http_.Url("/index.html"), {});
  Crawl(p);
  EXPECT_EQ(bodies, 10);
  EXPECT_EQ(test::E().archive.EntriesOf("proj"), 10u);

  {
    std::lock_guard lock(mutex);
    for (const char* added : {"/n1.jpg", "/n2.jpg", "/n3.jpg"}) version[added] = 1;
    version["/p3.jpg"] = 2;
    bodies = notModified = 0;
  }
  fs::remove("Pictures/proj/p5.jpg");  // the user deleted it
  const std::size_t before = http_.Requests().size();
  Crawl(p);
  EXPECT_EQ(bodies, 4) << "three new pictures and the changed one";
  EXPECT_EQ(notModified, 8);
  EXPECT_EQ(http_.RequestCount("/index.html"), 2u) << "pages are read every time";
  EXPECT_EQ(http_.RequestCount("/p5.jpg"), 1u) << "a deleted picture is not asked for again";
  EXPECT_EQ(http_.Requests().size() - before, 1u + 1u + 4u + 8u);
  EXPECT_EQ(ReadFile("Pictures/proj/p3.jpg"), body("/p3.jpg", 2));
  EXPECT_FALSE(fs::exists("Pictures/proj/p5.jpg"));
  EXPECT_EQ(test::E().archive.Find("proj", http_.Url("/p5.jpg"))->state, ArchiveState::Deleted);

  // With "Fetch deleted pictures again" it comes back.
  SiteOptions refetch;
  refetch.refetchDeleted = true;
  Crawl(Polite(http_.Url("/index.html"), refetch));
  EXPECT_EQ(ReadFile("Pictures/proj/p5.jpg"), body("/p5.jpg", 1));

  // A fault mid-run: p4 changed, and its new body breaks off every time.
  {
    std::lock_guard lock(mutex);
    version["/p4.jpg"] = 2;
    cut = true;
  }
  Start(p);
  EXPECT_EQ(Finish(), kCrawlDone);
  EXPECT_EQ(ReadFile("Pictures/proj/p4.jpg"), body("/p4.jpg", 1)) << "the old picture stays whole";
  for (const auto& entry : fs::recursive_directory_iterator("Pictures"))
    EXPECT_EQ(entry.path().extension(), entry.is_directory() ? "" : ".jpg") << entry.path();

  // Written as the lists are, and read back: every line that says a picture
  // is saved says its size and digest truly.
  ASSERT_TRUE(test::E().Store().Write(SaveScope::Modified).empty());
  const std::string file = ReadFile(kArchiveFile);
  PictureArchive read;
  read.Read(file);
  std::uint64_t generation = 0;
  EXPECT_EQ(read.Format(generation), file);
  std::istringstream lines(file);
  int saved = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("\tsaved ", 0) != 0) continue;
    std::istringstream fields(line.substr(7));
    std::uint64_t size = 0;
    std::string digest, rest;
    fields >> size >> digest;
    std::getline(fields, rest);
    const std::string path = rest.substr(
        rest.find('\t') + 1, rest.find('\t', rest.find('\t') + 1) - rest.find('\t') - 1);
    std::string local = path;
    std::replace(local.begin(), local.end(), '\\', '/');
    const std::string bytes = ReadFile(local);
    EXPECT_EQ(bytes.size(), size) << line;
    EXPECT_EQ(Digest(bytes), digest) << line;
    ++saved;
  }
  EXPECT_EQ(saved, 13);
}

// One picture under three URLs is kept once; with "Skip copies across all
// projects" a picture another project keeps is not kept again.
TEST_F(PoliteCrawl, CopiesAreKeptOnce) {
  const std::string same = Png(300, 200, 5000, "same");
  http_.Serve("/index.html",
              HttpResponse::Html("<img src=a.png><img src=b/a.png><img src=\"c.php?id=1\">"));
  http_.Serve("/robots.txt", HttpResponse::Status(404));
  http_.SetHandler([&](const HttpRequest&) { return HttpResponse::Ok(same, "image/png"); });
  Crawl(Polite(http_.Url("/index.html"), {}));
  std::size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator("Pictures/proj"))
    if (entry.is_regular_file()) ++files;
  EXPECT_EQ(files, 1u);
  EXPECT_EQ(Status(), "Success, 2 copies skipped");

  // Another project finds the same picture: kept again unless it checks
  // every project's pictures.
  for (bool across : {false, true}) {
    SiteOptions options;
    options.copiesAcrossProjects = across;
    const char* name = across ? "across" : "alone";
    http_.Serve("/other.html", HttpResponse::Html("<img src=z.png>"));
    Crawl(Polite(http_.Url("/other.html"), options, name));
    EXPECT_EQ(fs::exists("Pictures/" + std::string(name) + "/z.png"), !across) << name;
    EXPECT_EQ(Status(), across ? "Success, 1 copies skipped" : "Success") << name;
  }
}

// 100 pictures, 60 of them icons of 32 x 32: with a smallest picture of
// 100 x 100 the icons are ended after their first bytes and 40 pictures are
// kept. File sizes: over the largest is ended at once when Content-Length
// says so, or when the limit is passed; under the smallest is not kept.
TEST_F(PoliteCrawl, SizeFiltersEndPicturesEarly) {
  std::string page;
  std::map<std::string, std::string> bodies;
  for (int i = 0; i < 100; ++i) {
    const bool icon = i % 5 < 3;
    const std::string path = "/" + std::string(icon ? "icon" : "pic") + std::to_string(i) + ".png";
    bodies[path] = icon ? Png(32, 32, 20 * 1024, path) : Png(640, 480, 30 * 1024, path);
    page += "<img src=" + path.substr(1) + ">";
  }
  http_.Serve("/index.html", HttpResponse::Html(page));
  http_.Serve("/robots.txt", HttpResponse::Status(404));
  for (const auto& [path, bytes] : bodies) http_.Serve(path, HttpResponse::Ok(bytes, "image/png"));
  SiteOptions options;
  options.minWidth = options.minHeight = 100;
  Crawl(Polite(http_.Url("/index.html"), options));
  for (const auto& [path, bytes] : bodies) {
    const bool icon = path.rfind("/icon", 0) == 0;
    EXPECT_EQ(fs::exists("Pictures/proj" + path), !icon) << path;
    if (icon) {
      EXPECT_LE(http_.BodyBytesSent(path), 64u * 1024) << path;
    }
  }
  EXPECT_EQ(Status(), "Success, 60 pictures too small");

  const struct {
    const char* path;
    std::size_t size;
    bool told;  // Content-Length sent
    bool kept;
  } sizes[] = {{"/big.png", 40 * 1024, true, false},
               {"/big-untold.png", 40 * 1024, false, false},
               {"/fits.png", 20 * 1024, false, true},
               {"/tiny.png", 2 * 1024, true, false},
               {"/tiny-untold.png", 2 * 1024, false, false}};
  std::string second;
  for (const auto& s : sizes) {
    HttpResponse r = HttpResponse::Ok(Png(640, 480, s.size, s.path), "image/png");
    r.sendContentLength = s.told;
    http_.Serve(s.path, r);
    second += "<img src=" + std::string(s.path + 1) + ">";
  }
  http_.Serve("/sizes.html", HttpResponse::Html(second));
  SiteOptions kb;
  kb.minKb = 10;
  kb.maxKb = 30;
  Crawl(Polite(http_.Url("/sizes.html"), kb, "sizes"));
  for (const auto& s : sizes) {
    EXPECT_EQ(fs::exists("Pictures/sizes" + std::string(s.path)), s.kept) << s.path;
  }
  EXPECT_EQ(Status(), "Success, 2 pictures too small, 2 pictures too large");
}

}  // namespace
}  // namespace tvx
