#include <gtest/gtest.h>

#include "crawler/SiteCrawlFixture.h"
#include "store/SiteOptions.h"
#include "support/Files.h"
#include "support/TlsFront.h"

namespace tvx {
namespace {

using test::HttpResponse;
using Strings = std::vector<std::string>;

class HttpsCrawl : public test::SiteCrawlFixture {
 protected:
  test::TlsFront tls_{http_.Port()};
  test::ScopedEnv trust_{net::Session::kCaFileVariable, tls_.CaFile().string()};
};

// An https start URL is fetched over TLS, and the site's own https links,
// absolute or relative, stay on the site; the same host over plain http is
// another site.
TEST_F(HttpsCrawl, StartUrlAndItsOwnLinksGoOverTls) {
  const std::string gif = test::BinaryBody(700);
  http_.Serve("/index.html",
              HttpResponse::Html("<a href=\"sub/page.html\">\n<a href=\"" + tls_.Url("/abs.gif") +
                                 "\">\n<a href=\"" + http_.Url("/plain.gif") + "\">\n"));
  http_.Serve("/sub/page.html", HttpResponse::Html("<img src=\"../rel.gif\" >\n"));
  http_.SetHandler([&](const test::HttpRequest&) { return HttpResponse::Ok(gif); });
  Start(Project(tls_.Url("/index.html")));
  EXPECT_EQ(Finish(), kCrawlDone);

  EXPECT_EQ(Paths(http_), (Strings{"/index.html", "/abs.gif", "/sub/page.html", "/rel.gif"}));
  EXPECT_EQ(test::ReadFile("Pictures/proj/abs.gif"), gif);
  EXPECT_EQ(test::ReadFile("Pictures/proj/rel.gif"), gif);
  EXPECT_FALSE(Ui().Has("Status: Malformed URL : " + tls_.Url("/index.html")));
  EXPECT_TRUE(Ui().Has("LastAction: Opening " + tls_.Url("/index.html")));
  EXPECT_EQ(Status(), "Success");
  EXPECT_EQ(test::E().lists.downloadedSites.GetCount(), 1);
}

// Both crawls: the link fails, and the run ends with the reason, which no
// retry mends, in the project's row and the status view.
TEST_F(HttpsCrawl, UntrustedCertificateIsAnErrorThatSaysWhy) {
  test::ScopedEnv distrust(net::Session::kCaFileVariable, std::nullopt);
  http_.Serve("/index.html", HttpResponse::Html(""));
  for (const bool modern : {false, true}) {
    test::E().siteOptions.Reset();
    if (modern) test::E().siteOptions.Set("proj", SiteOptions{true, 4});
    Start(Project(tls_.Url("/index.html")));
    EXPECT_EQ(Finish(), kCrawlDone);
    EXPECT_TRUE(Paths(http_).empty());
    EXPECT_TRUE(Ui().Has("Status: Error retrieving page")) << modern;
    const std::string reason = Status();
    EXPECT_EQ(reason.rfind("SSL certificate problem: self", 0), 0u) << reason;
    EXPECT_TRUE(Ui().Has("row 0 status: " + reason)) << modern;
    ASSERT_EQ(test::E().lists.requestedSites.GetCount(), 1);
    EXPECT_STREQ(test::E().lists.requestedSites.GetAt(0)->status, "Some errors occurred");
    test::E().lists.requestedSites.RemoveAt(0);
    Ui().Clear();
  }
  test::E().siteOptions.Reset();
}

}  // namespace
}  // namespace tvx
