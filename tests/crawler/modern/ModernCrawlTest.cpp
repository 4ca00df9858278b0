#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "crawler/SiteCrawlFixture.h"
#include "crawler/modern/HtmlLinks.h"
#include "store/SiteOptions.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/TlsFront.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
using test::BinaryBody;
using test::HttpResponse;
using test::ReadFile;
using Strings = std::vector<std::string>;

bool Has(const Strings& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// What a crawl asked of a server besides its robots.txt.
Strings Asked(const test::TestHttpServer& server) {
  Strings out;
  for (const auto& r : server.Requests())
    if (r.path != "/robots.txt") out.push_back(r.target);
  return out;
}

class ModernCrawl : public test::SiteCrawlFixture {
 protected:
  void SetUp() override {
    SiteCrawlFixture::SetUp();
    test::E().siteOptions.Reset();
  }
  void TearDown() override {
    SiteCrawlFixture::TearDown();
    test::E().siteOptions.Reset();
  }
  // The project with the modern search ticked.
  SiteProject Modern(const std::string& startUrl, int transfersPerHost = 4) {
    SiteProject p = Project(startUrl);
    p.typeGif = 0;
    p.typeJpg = 1;
    test::E().siteOptions.Set("proj", SiteOptions{true, transfersPerHost});
    return p;
  }
  std::string Picture(const std::string& name) { return "JFIF" + name + BinaryBody(300); }
};

// Today's gallery: one line, mixed-case names on a server that tells them
// apart, srcset and lazy pictures, a picture behind a script URL, a base
// href and a link back to the start.
TEST_F(ModernCrawl, FindsEveryPictureOfAOneLineGalleryInItsOwnCase) {
  http_.Serve("/index.html",
              HttpResponse::Html("<html><body><a href=\"Gallery/Page1.html#top\">1</a>"
                                 "<img src=\"IMG_1234.JPG\" srcset=\"s/IMG_1234-480.jpg 480w, "
                                 "s/IMG_1234-800.jpeg 800w\"><img src=\"img_1234.jpg\">"
                                 "<img class=lazy src=\"data:image/gif;base64,R0lG\" "
                                 "data-src=\"lazy/L1.jpg\" "
                                 "data-srcset=\"lazy/L2.jpg 1x, lazy/L3.jpg 2x\">"
                                 "<a href=\"photo.php?id=3&amp;size=big\">p</a><a "
                                 "href=\"style.css\">s</a>"
                                 "<a href=\"clip.mp4\">c</a><a href=\"anim.gif\">g</a><a "
                                 "href=\"mailto:x@y\">m</a>"
                                 "</body></html>"));
  http_.Serve("/Gallery/Page1.html",
              HttpResponse::Html("<head><base href=\"/media/\"></head><img src=\"Deep.JPG\">"
                                 "<a href=\"../index.html\">home</a>"));
  for (const char* path :
       {"/IMG_1234.JPG", "/img_1234.jpg", "/s/IMG_1234-480.jpg", "/s/IMG_1234-800.jpeg",
        "/lazy/L1.jpg", "/lazy/L2.jpg", "/lazy/L3.jpg", "/media/Deep.JPG"})
    http_.Serve(path, HttpResponse::Ok(Picture(path), "image/jpeg"));
  http_.Serve("/photo.php?id=3&size=big", HttpResponse::Ok(Picture("php"), "image/jpeg"));
  Start(Modern(http_.Url("/index.html")));
  EXPECT_EQ(Finish(), kCrawlDone);

  const Strings asked = Paths(http_);
  for (const char* never : {"/style.css", "/clip.mp4", "/anim.gif"})
    EXPECT_FALSE(Has(asked, never)) << never;
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "/index.html"), 1);
  const struct {
    const char* local;
    std::string body;
  } saved[] = {
      {"IMG_1234.JPG", Picture("/IMG_1234.JPG")},
      {"img_1234.jpg", Picture("/img_1234.jpg")},
      {"s/IMG_1234-480.jpg", Picture("/s/IMG_1234-480.jpg")},
      {"s/IMG_1234-800.jpeg", Picture("/s/IMG_1234-800.jpeg")},
      {"lazy/L1.jpg", Picture("/lazy/L1.jpg")},
      {"lazy/L2.jpg", Picture("/lazy/L2.jpg")},
      {"lazy/L3.jpg", Picture("/lazy/L3.jpg")},
      {"media/Deep.JPG", Picture("/media/Deep.JPG")},
      {"photo.php_id=3&size=big.jpg", Picture("php")},
  };
  Strings tree = Ui().FilesOf("proj");
  EXPECT_EQ(tree.size(), std::size(saved));
  for (const auto& s : saved) {
    EXPECT_EQ(ReadFile("Pictures/proj/" + std::string(s.local)), s.body) << s.local;
    std::string shown = "Pictures\\proj\\" + std::string(s.local);
    std::replace(shown.begin(), shown.end(), '/', '\\');
    EXPECT_TRUE(Has(tree, shown)) << shown;
  }
  EXPECT_TRUE(Ui().Has("LastAction: Opening " + http_.Url("/index.html")));
  EXPECT_TRUE(Ui().Has("Status: 10 links found"));
  // The row's bar ends at every picture saved, the one told by its type too.
  const Strings bars = Ui().CallsStartingWith("row 0 progress: ");
  ASSERT_FALSE(bars.empty());
  EXPECT_EQ(bars.back(), "row 0 progress: 9/9");
  EXPECT_EQ(Status(), "Success");
  EXPECT_EQ(Ui().Text(StatusField::LastAction), "Download completed");
  EXPECT_EQ(test::E().lists.downloadedSites.GetCount(), 1);
  EXPECT_EQ(test::E().lists.requestedSites.GetCount(), 0);
}

// The pictures a page shows through its icon and its stylesheets: a
// stylesheet linked twice is read once, an @import's url() resolves against
// the stylesheet that names it, url() of a font or a stylesheet is no
// picture, and stylesheets off the site, refused by robots.txt or answering
// with a page are not read. No stylesheet is ever saved.
TEST_F(ModernCrawl, FindsThePicturesOfIconsAndStylesheets) {
  test::TestHttpServer other("127.0.0.2");
  other.SetHandler(
      [&](const test::HttpRequest&) { return HttpResponse::Ok("a{b:url(far.png)}", "text/css"); });
  http_.Serve("/robots.txt",
              HttpResponse::Ok("User-agent: *\nDisallow: /private/\n", "text/plain"));
  http_.Serve("/index.html",
              HttpResponse::Html("<html><head><link rel=\"shortcut icon\" type=\"image/png\" "
                                 "href=\"static/fav.svg\"><link rel=stylesheet href=static/"
                                 "site.css?v=3><link rel=stylesheet href=\"" +
                                 other.Url("/far.css") +
                                 "\"><link rel=stylesheet href=/private/hidden.css>"
                                 "<link rel=stylesheet href=page.css><link rel=stylesheet "
                                 "href=pic-style></head><body><a href=static/linked.css>css</a>"
                                 "<a href=two.html>2</a></body></html>"));
  http_.Serve("/two.html",
              HttpResponse::Html("<link rel=stylesheet href=\"static/site.css?v=3\">"));
  http_.Serve("/static/site.css",
              HttpResponse::Ok("@import url(\"base.css\");@import 'print';\n"
                               "@font-face{src:url(fonts/f.woff2)}.x{background:url(bg.png)}"
                               ".y{background:url(../img/deep.jpg)}.z{background:url(other.css)}",
                               "text/css; charset=utf-8"));
  // Told by its name, whatever its type says; it imports the first again.
  http_.Serve("/static/base.css",
              HttpResponse::Ok("@import url(site.css?v=3);.file{background:url(file.png)}"));
  http_.Serve("/static/print", HttpResponse::Ok("p{background:url(p.jpg)}", "text/css"));
  http_.Serve("/private/hidden.css", HttpResponse::Ok("a{b:url(hidden.png)}", "text/css"));
  http_.Serve("/page.css", HttpResponse::Html("<img src=trap.jpg>a{b:url(trap.png)}"));
  http_.Serve("/pic-style", HttpResponse::Ok(Picture("pic-style") + "url(bogus.png)", "image/png"));
  const std::vector<std::pair<std::string, std::string>> pictures = {
      {"static/fav.svg", "image/svg+xml"}, {"static/bg.png", "image/png"},
      {"static/file.png", "image/png"},    {"img/deep.jpg", "image/jpeg"},
      {"static/p.jpg", "image/jpeg"},
  };
  for (const auto& [path, type] : pictures)
    http_.Serve("/" + path, HttpResponse::Ok(Picture(path), type));
  // A project that lists "css" among its types saves the stylesheets too
  // (any file so named, as it always did), and still reads them.
  const struct {
    const char* name;
    const char* otherTypes;
    std::set<std::string> alsoSaved;
  } cases[] = {
      {"proj", "svg", {}},
      {"css", "svg css", {"static/site_v=3.css", "static/base.css", "page.css"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.otherTypes);
    const std::size_t siteCss = http_.RequestCount("/static/site.css");
    const std::size_t baseCss = http_.RequestCount("/static/base.css");
    const std::size_t before = Asked(http_).size();
    SiteProject p = Modern(http_.Url("/index.html"));
    SetText(p.name, c.name);
    test::E().siteOptions.Set(c.name, SiteOptions{true, 4});
    p.typePng = 1;
    SetText(p.otherTypes, c.otherTypes);
    test::Shown().FollowRow(0);
    Start(p);
    EXPECT_EQ(Finish(), kCrawlDone);

    const std::string folder = "Pictures/" + std::string(c.name);
    std::set<std::string> saved;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
      if (entry.is_regular_file())
        saved.insert(entry.path().lexically_relative(folder).generic_string());
    std::set<std::string> expected = c.alsoSaved;
    expected.insert("pic-style.png");  // a picture, whatever linked it
    for (const auto& [path, type] : pictures) {
      expected.insert(path);
      EXPECT_EQ(ReadFile(folder + "/" + path), Picture(path)) << path;
    }
    EXPECT_EQ(saved, expected);
    EXPECT_EQ(Ui().FilesOf(c.name).size(), expected.size()) << "what is saved is shown, no more";
    EXPECT_EQ(http_.RequestCount("/static/site.css"), siteCss + 1);
    EXPECT_EQ(http_.RequestCount("/static/base.css"), baseCss + 1);
    const Strings all = Asked(http_);
    const Strings asked(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    for (const char* never : {"/static/fonts/f.woff2", "/private/hidden.css", "/private/hidden.png",
                              "/trap.jpg", "/trap.png", "/bogus.png", "/bg.png"})
      EXPECT_FALSE(Has(asked, never)) << never;
    EXPECT_EQ(Has(asked, "/static/other.css"), !c.alsoSaved.empty());
    EXPECT_EQ(Has(asked, "/static/linked.css"), !c.alsoSaved.empty());
    EXPECT_TRUE(other.Requests().empty()) << "another site's stylesheet is not read";
    EXPECT_EQ(Status(), "Success, 1 links skipped by robots.txt");
    test::E().lists.downloadedSites.RemoveAt(0);
    Ui().Clear();
  }
}

// http to https and back, a redirect loop, a chain longer than ten, and a
// redirect to another site.
TEST_F(ModernCrawl, FollowsRedirectsAcrossSchemesWithinLimits) {
  test::TlsFront tls(http_.Port());
  test::ScopedEnv trust(net::Session::kCaFileVariable, tls.CaFile().string());
  test::TestHttpServer other("127.0.0.2");
  other.SetHandler([&](const test::HttpRequest&) { return HttpResponse::Ok(Picture("x")); });
  http_.Serve("/start", HttpResponse::Redirect(tls.Url("/index.html"), 301));
  http_.Serve("/index.html",
              HttpResponse::Html("<a href=loop1.html></a><a href=r0.jpg></a><a href=away.jpg></a>"
                                 "<a href=\"" +
                                 http_.Url("/plain.jpg") + "\"></a><a href=ok/>"));
  http_.Serve("/loop1.html", HttpResponse::Redirect("/loop2.html"));
  http_.Serve("/loop2.html", HttpResponse::Redirect(tls.Url("/loop1.html")));
  for (int i = 0; i < 12; ++i)
    http_.Serve("/r" + std::to_string(i) + ".jpg",
                HttpResponse::Redirect("/r" + std::to_string(i + 1) + ".jpg", 307));
  http_.Serve("/r12.jpg", HttpResponse::Ok(Picture("r12")));
  http_.Serve("/away.jpg", HttpResponse::Redirect(other.Url("/away.jpg")));
  http_.Serve("/plain.jpg", HttpResponse::Ok(Picture("plain"), "image/jpeg"));
  http_.Serve("/ok/", HttpResponse::Redirect("/ok/final"));
  http_.Serve("/ok/final", HttpResponse::Ok(Picture("final"), "image/jpeg"));
  Start(Modern(http_.Url("/start")));
  EXPECT_EQ(Finish(), kCrawlDone);

  const Strings asked = Paths(http_);
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "/index.html"), 1);
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "/loop1.html"), 1) << "the loop ends";
  EXPECT_TRUE(Has(asked, "/r10.jpg"));
  EXPECT_FALSE(Has(asked, "/r11.jpg")) << "ten redirects at most";
  EXPECT_TRUE(other.Requests().empty()) << "another site is not followed";
  EXPECT_EQ(ReadFile("Pictures/proj/plain.jpg"), Picture("plain"));
  EXPECT_EQ(ReadFile("Pictures/proj/ok/final.jpg"), Picture("final"));
  // The loop and the long chain failed their links; the run says which
  // failed first.
  const std::string loop = "Redirect loop: " + tls.Url("/loop1.html");
  const std::string chain = "Too many redirects: " + tls.Url("/r0.jpg");
  EXPECT_TRUE(Ui().Has("Status: " + loop));
  EXPECT_TRUE(Ui().Has("Status: " + chain));
  EXPECT_TRUE(Status() == loop || Status() == chain) << Status();
}

// Four transfers at once by default (one when asked), none while paused,
// and a stop ends the run without leaving a partial picture.
TEST_F(ModernCrawl, FetchesInParallelPausesAndStops) {
  // Each run has pages and pictures of its own ("p" and "o" names), so that
  // an answer to the stopped run that comes late on a busy machine is not
  // counted with the next run's.
  std::atomic<int> now{0}, most{0}, nowOne{0}, mostOne{0};
  http_.SetHandler([&](const test::HttpRequest& request) {
    if (request.path == "/robots.txt") return HttpResponse::Status(404);
    const bool one = request.path.rfind("/o", 0) == 0;
    std::atomic<int>& at = one ? nowOne : now;
    std::atomic<int>& peak = one ? mostOne : most;
    int n = ++at;
    int seen = peak.load();
    while (n > seen && !peak.compare_exchange_weak(seen, n)) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    --at;
    if (request.path == "/index.html" || request.path == "/one.html") {
      std::string page;
      for (int i = 0; i < 24; ++i)
        page += "<img src=" + std::string(one ? "o" : "p") + std::to_string(i) + ".jpg>";
      return HttpResponse::Html(page);
    }
    return HttpResponse::Ok(Picture(request.path));
  });
  for (int perHost : {4, 1}) {
    ASSERT_TRUE(test::WaitFor([&] { return now.load() == 0; })) << "the last run's answers are out";
    most = 0;
    Start(Modern(http_.Url(perHost == 1 ? "/one.html" : "/index.html"), perHost));
    if (perHost == 1) {
      EXPECT_EQ(Finish(), kCrawlDone);
      EXPECT_EQ(mostOne.load(), 1);
      EXPECT_EQ(Status(), "Success");
      break;
    }
    ASSERT_TRUE(test::WaitFor([&] { return Ui().FilesOf("proj").size() >= 4; }));
    EXPECT_GE(most.load(), 2);
    EXPECT_LE(most.load(), 4);

    test::PauseWorker(WorkerKind::Site);
    // The round under way when the pause came may still send what it had
    // started: once the server has heard nothing for a while (however long
    // that round took on a busy machine), nothing more may come.
    std::size_t asked = http_.Requests().size();
    ASSERT_TRUE(test::WaitFor([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      const std::size_t before = std::exchange(asked, http_.Requests().size());
      return before == asked && now.load() == 0;
    }));
    const std::size_t saved = Ui().FilesOf("proj").size();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(http_.Requests().size(), asked) << "nothing is asked while paused";
    EXPECT_EQ(Ui().FilesOf("proj").size(), saved);
    test::ResumeWorker(WorkerKind::Site);
    ASSERT_TRUE(test::WaitFor([&] { return Ui().FilesOf("proj").size() > saved; }));

    test::RequestStop(WorkerKind::Site);
    EXPECT_EQ(Finish(), kCrawlStopped);
    EXPECT_TRUE(Ui().Has("row 0 status: Stopped"));
    EXPECT_EQ(Status(), "Download Stopped");
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator("Pictures/proj")) {
      ++files;
      EXPECT_EQ(ReadFile(entry.path()), Picture("/" + entry.path().filename().string()))
          << "no partial picture stays";
    }
    EXPECT_EQ(files, Ui().FilesOf("proj").size());
    EXPECT_LT(files, 24u);
    test::E().lists.requestedSites.RemoveAt(0);
    fs::remove_all("Pictures/proj");
    Ui().Clear();
  }
}

// A page of ten thousand links and one with a 50 MB line: each is read up to
// the page bound, the crawl goes on and ends well. (Links come with text
// between them: every link is resolved, which a sanitizer on a busy machine
// makes slow, and the bound is what is tested.)
TEST_F(ModernCrawl, HostilePagesAreReadUpToTheirBound) {
  std::string many = "<a href=first.jpg>";
  const std::string name(60, 'f');
  const std::string text = "<p>" + std::string(800, 'p') + "</p>";
  while (many.size() <= kMaxPageBytes)
    many += "<a href=" + name + std::to_string(many.size()) + ".txt>" + text;
  many += "<a href=last.jpg>";
  http_.Serve("/index.html",
              HttpResponse::Html("<a href=many.html></a><a href=long.html></a><a href=b.jpg>"));
  http_.Serve("/many.html", HttpResponse::Html(many));
  http_.Serve("/long.html", HttpResponse::Html("<a href=before.jpg>" + std::string(50 << 20, 'x') +
                                               "<a href=after.jpg>"));
  http_.SetHandler([&](const test::HttpRequest& r) { return HttpResponse::Ok(Picture(r.path)); });
  Start(Modern(http_.Url("/index.html")));
  EXPECT_EQ(Finish(), kCrawlDone);
  const Strings asked = Asked(http_);
  for (const char* fetched : {"/first.jpg", "/before.jpg", "/b.jpg"})
    EXPECT_TRUE(Has(asked, fetched)) << fetched;
  for (const std::string& path : asked) EXPECT_EQ(path.find(".txt"), std::string::npos) << path;
  for (const char* past : {"/last.jpg", "/after.jpg"}) EXPECT_FALSE(Has(asked, past)) << past;
  EXPECT_EQ(Status(), "Success");
}

// A port nobody listens on now.
int FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof addr;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), size) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size) == 0)
    port = ntohs(addr.sin_port);
  ::close(fd);
  return port;
}

bool Listening(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

// A server that offers HTTP/2 (nginx over TLS): the transfers share its
// connections instead of opening one each.
TEST_F(ModernCrawl, SpeaksHttp2WhereOfferedOverFewConnections) {
  const fs::path site = dir_ / "nginx";
  test::ChildProcess cert(
      {"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
       "-nodes", "-keyout", "key.pem", "-out", "cert.pem", "-days", "2", "-subj", "/CN=127.0.0.1",
       "-addext", "subjectAltName=IP:127.0.0.1"},
      (fs::create_directories(site), site), /*quiet=*/true);
  ASSERT_EQ(cert.Wait(std::chrono::seconds(30)), 0);
  std::string page = "<html><body>";
  for (int i = 0; i < 24; ++i) {
    const std::string name = "P" + std::to_string(i) + ".jpg";
    dir_.Write("nginx/www/" + name, Picture(name));
    page += "<img src=" + name + ">";
  }
  dir_.Write("nginx/www/index.html", page);
  const int port = FreePort();
  const std::string root = site.string();
  std::ofstream(site / "nginx.conf")
      << "daemon off; master_process off; pid " << root << "/nginx.pid;\n"
      << "error_log " << root << "/error.log warn;\nevents { worker_connections 64; }\n"
      << "http { log_format h2 '$connection $server_protocol $uri';\n"
      << "access_log " << root << "/access.log h2;\n"
      << "client_body_temp_path " << root << "/body; proxy_temp_path " << root << "/proxy;\n"
      << "fastcgi_temp_path " << root << "/fcgi; uwsgi_temp_path " << root << "/uwsgi;\n"
      << "scgi_temp_path " << root << "/scgi;\n"
      << "types { text/html html; image/jpeg jpg; }\n"
      << "server { listen 127.0.0.1:" << port << " ssl http2; root " << root << "/www;\n"
      << "ssl_certificate " << root << "/cert.pem; ssl_certificate_key " << root
      << "/key.pem; } }\n";
  std::unique_ptr<test::ChildProcess> nginx;
  try {
    nginx = std::make_unique<test::ChildProcess>(
        std::vector<std::string>{"nginx", "-e", root + "/error.log", "-p", root, "-c",
                                 root + "/nginx.conf"},
        site, /*quiet=*/true);
  } catch (const std::runtime_error&) {
    GTEST_SKIP() << "nginx is not installed";
  }
  ASSERT_TRUE(test::WaitFor([&] { return Listening(port); }, std::chrono::seconds(10)))
      << test::ReadFile(site / "error.log");
  test::ScopedEnv trust(net::Session::kCaFileVariable, (site / "cert.pem").string());

  Start(Modern("https://127.0.0.1:" + std::to_string(port) + "/index.html"));
  EXPECT_EQ(Finish(), kCrawlDone);
  EXPECT_EQ(Status(), "Success");
  EXPECT_EQ(Ui().FilesOf("proj").size(), 24u);
  EXPECT_EQ(ReadFile("Pictures/proj/P7.jpg"), Picture("P7.jpg"));
  nginx.reset();

  std::istringstream log(ReadFile(site / "access.log"));
  std::set<std::string> connections;
  std::size_t requests = 0;
  for (std::string connection, protocol, uri; log >> connection >> protocol >> uri; ++requests) {
    EXPECT_EQ(protocol, "HTTP/2.0") << uri;
    connections.insert(connection);
  }
  EXPECT_EQ(requests, 26u);  // robots.txt among them
  EXPECT_LE(connections.size(), 4u) << "connections are shared, never one per transfer";
}

// Exit domain and Max Domain Count work as for the line-by-line crawl.
TEST_F(ModernCrawl, KeepsTheDomainRules) {
  test::TestHttpServer other("127.0.0.2");
  const std::string port = std::to_string(http_.Port());
  http_.Serve("/index.html",
              HttpResponse::Html("<a href=\"http://localhost:" + port + "/l.html\"></a><a href=\"" +
                                 other.Url("/c.html") + "\"></a><a href=same.html>"));
  http_.SetHandler([](const test::HttpRequest&) { return HttpResponse::Html(""); });
  other.SetHandler([](const test::HttpRequest&) { return HttpResponse::Html(""); });
  SiteProject p = Modern(http_.Url("/index.html"), 1);
  p.exitDomain = 1;
  p.maxDomainCount = 2;
  Start(p);
  EXPECT_EQ(Finish(), kCrawlDone);
  EXPECT_EQ(Asked(http_), (Strings{"/index.html", "/l.html"}));
  EXPECT_TRUE(other.Requests().empty());
}

TEST_F(ModernCrawl, FailuresAndRefusedNamesEndWithErrorsOrNotes) {
  HttpResponse broken = HttpResponse::Ok(BinaryBody(4000));
  broken.contentLength = 8000;
  broken.closeAfterBytes = 4000;
  http_.Serve("/index.html", HttpResponse::Html("<img src=broken.jpg><img src=gone.jpg>"
                                                "<img src=ok.jpg><img src=\"%2e%2e/x.jpg\">"));
  http_.Serve("/broken.jpg", broken);
  http_.Serve("/ok.jpg", HttpResponse::Ok(Picture("ok")));
  http_.Serve("/%2e%2e/x.jpg", HttpResponse::Ok(Picture("x")));
  Start(Modern(http_.Url("/index.html")));
  EXPECT_EQ(Finish(), kCrawlDone);
  EXPECT_TRUE(Ui().Has("Status: " + http_.Url("/gone.jpg") + " not found"));
  EXPECT_TRUE(Ui().Has("Status: Error retrieving page"));
  EXPECT_FALSE(fs::exists("Pictures/proj/broken.jpg")) << "a broken picture is not kept";
  EXPECT_EQ(ReadFile("Pictures/proj/ok.jpg"), Picture("ok"));
  EXPECT_EQ(ReadFile("Pictures/proj/%2e%2e/x.jpg"), Picture("x"));
  EXPECT_EQ(Status(), "Some errors occurred");
  EXPECT_EQ(test::E().lists.requestedSites.GetCount(), 1);

  // A name that cannot be the project's folder ends the run at once.
  test::E().siteOptions.Reset();
  test::E().siteOptions.Set("..", SiteOptions{true, 4});
  const std::size_t asked = http_.Requests().size();
  Start(Project(http_.Url("/index.html"), ".."));
  EXPECT_EQ(Finish(), kCrawlDone);
  EXPECT_EQ(http_.Requests().size(), asked);
  EXPECT_TRUE(Ui().Has("Status: Pictures\\.. has illegal chars"));
}

// A run that saved nothing because of an error never ends "Success": each
// case ends with its reason in the project's row and the status view (the
// record keeps "Some errors occurred"), and with two reasons the first one
// counts.
TEST_F(ModernCrawl, ARunWithErrorsEndsWithItsFirstReason) {
  http_.SetHandler([&](const test::HttpRequest& r) {
    if (r.path.rfind("/c", 0) == 0)  // a chain of ten thousand redirects
      return HttpResponse::Redirect("/c" + std::to_string(std::stoi(r.path.substr(2)) + 1));
    return HttpResponse::Status(404);
  });
  http_.Serve("/l1", HttpResponse::Redirect("/l2"));
  http_.Serve("/l2", HttpResponse::Redirect(http_.Url("/l1")));
  http_.Serve("/file", HttpResponse::Redirect("file:///etc/passwd"));
  http_.Serve("/ftp", HttpResponse::Redirect("ftp://127.0.0.1/x.jpg"));
  http_.Serve("/two.html", HttpResponse::Html("<a href=file></a><a href=l1></a>"));
  http_.Serve("/big.jpg", HttpResponse::Ok(Picture(BinaryBody(5000))));
  const fs::path elsewhere = dir_ / "elsewhere";
  struct Case {
    const char* start;
    std::string reason;
    enum { kNone, kLinkedFolder, kDiskFull } setup = kNone;
  };
  const Case cases[] = {
      {"/c0", "Too many redirects: " + http_.Url("/c0")},
      {"/l1", "Redirect loop: " + http_.Url("/l1")},
      {"/file", *net::RefusedRedirect("file:///etc/passwd")},
      {"/ftp", *net::RefusedRedirect("ftp://127.0.0.1/x.jpg")},
      {"/two.html", "Redirect loop: " + http_.Url("/l1")},  // fetched last in, first out
      {"/big.jpg", "Error creating Pictures\\proj", Case::kLinkedFolder},
      {"/big.jpg", DiskFloorText(), Case::kDiskFull},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.start + (" " + c.reason));
    fs::remove_all("Pictures");
    if (c.setup == Case::kLinkedFolder) {
      fs::create_directories(elsewhere);
      fs::create_directories("Pictures");
      fs::create_directory_symlink(elsewhere, "Pictures/proj");
    }
    DiskLimits::fakeFreeBytes =
        c.setup == Case::kDiskFull ? DiskLimits::freeSpaceFloorBytes.load() + 3 : UINT64_MAX;
    const std::size_t asked = Asked(http_).size();
    Start(Modern(http_.Url(c.start), 1));
    EXPECT_EQ(Finish(), kCrawlDone);
    EXPECT_TRUE(Ui().Has("Status: " + c.reason)) << "said when it happens";
    EXPECT_EQ(Status(), c.reason);
    EXPECT_TRUE(Ui().Has("row 0 status: " + c.reason));
    ASSERT_EQ(test::E().lists.requestedSites.GetCount(), 1);
    EXPECT_STREQ(test::E().lists.requestedSites.GetAt(0)->status, "Some errors occurred");
    EXPECT_TRUE(Ui().FilesOf("proj").empty());
    if (c.setup == Case::kLinkedFolder) {
      EXPECT_EQ(Asked(http_).size(), asked) << "nothing is fetched";
      EXPECT_TRUE(fs::is_empty(elsewhere));
    } else {
      EXPECT_TRUE(fs::is_empty("Pictures/proj")) << "nothing saved, nothing partial left";
    }
    test::E().lists.requestedSites.RemoveAt(0);
    Ui().Clear();
  }
  EXPECT_EQ(http_.RequestCount("/c10"), 1u);
  EXPECT_EQ(http_.RequestCount("/c11"), 0u) << "ten redirects at most";
}

// With "Download all files" only a picture type names the file's extension;
// any other image type keeps the URL's own name, and no name is made that a
// desktop would run.
TEST_F(ModernCrawl, ContentTypesNameOnlyPictures) {
  const struct {
    const char* path;
    const char* type;
    const char* saved;  // below Pictures/proj; nullptr: not saved
  } cases[] = {
      {"/p1", "image/png", "p1.png"},
      {"/p2", "image/svg+xml", "p2.svg"},
      {"/p3", "image/jar", "p3"},
      {"/p4", "image/x-desktop", "p4"},
      {"/x.sh", "image/gif", "x.sh.gif"},
      {"/photo.php?id=3", "image/jpeg", "photo.php_id=3.jpg"},
      {"/run.jar", "image/jar", nullptr},
      {"/app.desktop", "image/x-desktop", nullptr},
      {"/Start.SH", "image/x-sh", nullptr},
      {"/s5", "text/x-sh", nullptr},
      {"/o6", "application/octet-stream", nullptr},
  };
  std::string page;
  for (const auto& c : cases) {
    page += "<a href=\"" + std::string(c.path).substr(1) + "\"></a>";
    http_.Serve(c.path, HttpResponse::Ok(Picture(c.path), c.type));
  }
  http_.Serve("/index.html", HttpResponse::Html(page));
  SiteProject p = Modern(http_.Url("/index.html"));
  p.downloadAllFiles = 1;
  Start(p);
  EXPECT_EQ(Finish(), kCrawlDone);

  std::set<std::string> expected;
  for (const auto& c : cases) {
    EXPECT_EQ(http_.RequestCount(std::string(c.path).substr(0, std::string(c.path).find('?'))), 1u)
        << c.path;
    if (!c.saved) continue;
    expected.insert(c.saved);
    EXPECT_EQ(ReadFile("Pictures/proj/" + std::string(c.saved)), Picture(c.path)) << c.path;
  }
  std::set<std::string> saved;
  for (const auto& entry : fs::directory_iterator("Pictures/proj"))
    saved.insert(entry.path().filename().string());
  EXPECT_EQ(saved, expected);
  for (const char* refused : {"run.jar", "app.desktop", "Start.SH"})
    EXPECT_TRUE(Ui().Has("Status: Pictures\\proj\\" + std::string(refused) +
                         " is not saved: a desktop would run a file of that name"))
        << refused;
  EXPECT_EQ(Status(), "Success") << "a name refused is no error";
}

// A site of links that never end: the crawl keeps no more than its limits
// allow, goes on with what it has, and ends saying so (no error: the
// project moves to the downloaded web sites). Pages are read no more at once
// than the budget holds: one within a small one; within a large one, the
// host's transfers (8) are the bound.
TEST_F(ModernCrawl, ALinkTrapEndsAtTheLinkLimit) {
  std::atomic<int> next{0}, pagesNow{0}, pagesMost{0};
  const std::string tail(1880, 's');  // long links, as session ids make them
  http_.SetHandler([&](const test::HttpRequest&) {
    const int n = ++pagesNow;
    for (int seen = pagesMost.load(); n > seen && !pagesMost.compare_exchange_weak(seen, n);) {
    }
    std::string page;
    for (int i = 0; i < 20; ++i) page += "<a href=\"/t" + std::to_string(++next) + tail + "\">";
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    --pagesNow;
    return HttpResponse::Html(page);
  });
  struct Case {
    CrawlLimits limits;
    std::size_t mostKept;
    int mostPages;
  };
  const Case cases[] = {
      {{std::size_t{256} << 20, 40}, 40, 8},
      {{std::size_t{1} << 20, 2'000'000}, (std::size_t{1} << 20) / tail.size(), 1},
  };
  for (const Case& c : cases) {
    limits_ = c.limits;
    pagesMost = 0;
    test::Shown().FollowRow(0);  // the last run's project left the list
    const std::size_t asked = Asked(http_).size();
    Start(Modern(http_.Url("/index.html")));
    EXPECT_EQ(Finish(), kCrawlDone);
    const std::string status = Status();
    unsigned long kept = 0;
    ASSERT_EQ(std::sscanf(status.c_str(), "Link limit reached: %lu links kept", &kept), 1)
        << status;
    EXPECT_EQ(status, "Link limit reached: " + std::to_string(kept) +
                          " links kept, the rest were not followed");
    EXPECT_LE(kept, c.mostKept);
    EXPECT_GT(kept, c.mostKept / 8);
    EXPECT_LE(Asked(http_).size() - asked, kept) << "only links kept are fetched";
    ASSERT_EQ(test::E().lists.downloadedSites.GetCount(), 1);
    EXPECT_STREQ(test::E().lists.downloadedSites.GetAt(0)->status, "Success");
    EXPECT_LE(pagesMost.load(), c.mostPages);
    test::E().lists.downloadedSites.RemoveAt(0);
    Ui().Clear();
  }
}

}  // namespace
}  // namespace tvx
