#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "search/EngineQuery.h"
#include "search/ResultPages.h"
#include "support/RecordingReporter.h"
#include "workers/WorkerControl.h"

namespace tvx {
namespace {

using test::HttpResponse;
using test::kAltaVistaPath;
using test::kYahooPath;
using Links = std::vector<std::string>;

constexpr const char* kAltaVistaTarget =
    "/cgi-bin/query?pg=q&kl=XX&stype=stext&q=red+tulips+picture+image&search.x=19&search.y=9";

class EngineQuery : public ::testing::Test {
 protected:
  int Query(SearchEngine engine, const std::string& text, Links& links) {
    return QueryEngine(engine, text, links);
  }

  test::EngineFixture fx_;
  test::TestHttpServer server_;
  test::EnginesAt engines_{server_};
};

TEST(EngineQueryUrl, EachEngineHasItsPathWordsAndSuffix) {
  EXPECT_EQ(BuildQueryUrl(SearchEngine::AltaVista, "www.altavista.com", "Red Tulips"),
            "http://www.altavista.com/cgi-bin/query?pg=q&kl=XX&stype=stext&q=Red+Tulips"
            "+picture+image&search.x=19&search.y=9");
  EXPECT_EQ(BuildQueryUrl(SearchEngine::Yahoo, "search.yahoo.com", "red  tulips"),
            "http://search.yahoo.com/bin/search?p=red++tulips+picture+image");
  // Only spaces are touched.
  EXPECT_EQ(EncodeSearchText(" cats&dogs/100%+\"x\" "), "+cats&dogs/100%+\"x\"+");
}

TEST(EngineQueryUrl, HostsComeFromTheEnvironmentWhenSet) {
  unsetenv(kAltaVistaHostVariable);
  unsetenv(kYahooHostVariable);
  EXPECT_EQ(SearchHost(SearchEngine::AltaVista), "www.altavista.com");
  EXPECT_EQ(SearchHost(SearchEngine::Yahoo), "search.yahoo.com");
  {
    test::EnginesAt engines("127.0.0.1:8001", "");
    EXPECT_EQ(SearchHost(SearchEngine::AltaVista), "127.0.0.1:8001");
    EXPECT_EQ(SearchHost(SearchEngine::Yahoo), "search.yahoo.com");  // empty: the default
  }
  EXPECT_EQ(SearchHost(SearchEngine::AltaVista), "www.altavista.com");
}

TEST_F(EngineQuery, SendsSpacesAsPlusSignsInAPlainGet) {
  server_.Serve(kAltaVistaPath, HttpResponse::Html(""));
  server_.Serve(kYahooPath, HttpResponse::Html(""));
  Links links;
  EXPECT_EQ(Query(SearchEngine::AltaVista, "red tulips", links), 0);
  EXPECT_EQ(Query(SearchEngine::Yahoo, "Red  Tulips", links), 0);
  EXPECT_EQ(Query(SearchEngine::Yahoo, "a&b=c", links), 0);

  auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, kAltaVistaTarget);
  EXPECT_EQ(requests[0].Header("User-Agent"), "Tavrinox");
  EXPECT_EQ(requests[1].target, "/bin/search?p=Red++Tulips+picture+image");
  EXPECT_EQ(requests[2].target, "/bin/search?p=a&b=c+picture+image");
}

TEST_F(EngineQuery, KeepsTheResultLinksOfEachEngineInPageOrder) {
  Links altaVista = test::ResultLinks(12, "Tulips");
  Links yahoo = test::ResultLinks(5, "Roses");
  server_.Serve(kAltaVistaPath, HttpResponse::Html(test::AltaVistaPage(altaVista)));
  server_.Serve(kYahooPath, HttpResponse::Html(test::YahooPage(yahoo)));

  Links links;
  EXPECT_EQ(Query(SearchEngine::AltaVista, "red tulips", links), 12);
  EXPECT_EQ(links, test::Kept(altaVista));
  EXPECT_EQ(Query(SearchEngine::Yahoo, "red tulips", links), 5);
  EXPECT_EQ(links, test::Kept(yahoo));  // refilled from the start
}

TEST_F(EngineQuery, TakesOnlyTheFirstLinkOfALineAndDropsFragmentsAndTheEngineItself) {
  const std::string page =
      "<p><a href=\"/cgi-bin/query?stq=10\">More</a> <a href=\"http://www.kept-later.example/\">"
      "</a>\n"
      "<a href=\"http://www.gallery.example/tulips.html#top\">Top</a>\n"
      "<A HREF='http://www.AltaVista-Fans.example/pics.html' >Fans</A>\n"
      "<a href=\"http://www.YAHOO-free.example/\">Free</a>\n"
      "<a href=http://www.unquoted.example/a.html>Unquoted</a>\n"
      "<a href=\"mailto:me@pictures.example\">http://www.mail.example/</a>\n"
      "<a href=\"ftp://ftp.pictures.example/pub/\">FTP</a>\n"
      "<a href=\"HTTPS://www.Secure.example/tulips.html\">Secure</a>\n"
      "<a href=\"http://www.twice.example/\">Once</a>\n"
      "<a href=\"http://www.twice.example/\">Twice</a>\n";
  server_.Serve(kAltaVistaPath, HttpResponse::Html(page));
  server_.Serve(kYahooPath, HttpResponse::Html(page));

  Links links;
  EXPECT_EQ(Query(SearchEngine::AltaVista, "tulips", links), 5);
  EXPECT_EQ(links, (Links{"http://www.yahoo-free.example/", "http://www.unquoted.example/a.html",
                          "https://www.secure.example/tulips.html", "http://www.twice.example/",
                          "http://www.twice.example/"}));
  EXPECT_EQ(Query(SearchEngine::Yahoo, "tulips", links), 5);
  EXPECT_EQ(links,
            (Links{"http://www.altavista-fans.example/pics.html",
                   "http://www.unquoted.example/a.html", "https://www.secure.example/tulips.html",
                   "http://www.twice.example/", "http://www.twice.example/"}));
}

TEST_F(EngineQuery, AnEmptyPageOrOneWithoutResultsGivesZero) {
  server_.Serve(kAltaVistaPath, HttpResponse::Html(""));
  server_.Serve(kYahooPath, HttpResponse::Html(test::YahooPage({})));
  Links links{"left over"};
  EXPECT_EQ(Query(SearchEngine::AltaVista, "tulips", links), 0);
  EXPECT_TRUE(links.empty());
  EXPECT_EQ(Query(SearchEngine::Yahoo, "tulips", links), 0);
  EXPECT_EQ(server_.Requests().size(), 2u);
}

TEST_F(EngineQuery, FollowsARedirectAndReadsAnyStatus) {
  server_.Serve(kAltaVistaPath, HttpResponse::Redirect("/results/page1.html"));
  server_.Serve("/results/page1.html",
                HttpResponse::Html(test::AltaVistaPage(test::ResultLinks(3))));
  server_.Serve(kYahooPath, HttpResponse::Status(404, test::YahooPage(test::ResultLinks(2))));
  Links links;
  EXPECT_EQ(Query(SearchEngine::AltaVista, "tulips", links), 3);
  EXPECT_EQ(Query(SearchEngine::Yahoo, "tulips", links), 2);
}

TEST_F(EngineQuery, KeepsAtMostAHundredLinks) {
  Links many = test::ResultLinks(150);
  server_.Serve(kYahooPath, HttpResponse::Html(test::YahooPage(many)));
  Links links;
  EXPECT_EQ(Query(SearchEngine::Yahoo, "tulips", links), 100);
  EXPECT_EQ(links, test::Kept(Links(many.begin(), many.begin() + 100)));
}

TEST_F(EngineQuery, ReadsAtMostTenThousandLines) {
  // Links on lines 9,996 to 10,005: the first five are within the bound.
  std::string page;
  for (int line = 1; line <= 9995; ++line) page += "<p>filler line " + std::to_string(line) + "\n";
  Links links10 = test::ResultLinks(10);
  for (const auto& link : links10) page += "<a href=\"" + link + "\">result</a>\n";
  server_.Serve(kYahooPath, HttpResponse::Html(page));
  Links links;
  EXPECT_EQ(Query(SearchEngine::Yahoo, "tulips", links), 5);
  EXPECT_EQ(links, test::Kept(Links(links10.begin(), links10.begin() + 5)));
}

TEST_F(EngineQuery, AnyInternetFailureGivesMinusOne) {
  Links links{"left over"};
  {
    test::EnginesAt unreachable(test::DeadHost(), test::DeadHost());
    EXPECT_EQ(Query(SearchEngine::AltaVista, "tulips", links), kQueryFailed);
    EXPECT_TRUE(links.empty());
    EXPECT_EQ(Query(SearchEngine::Yahoo, "tulips", links), kQueryFailed);
  }
  // A page broken off after its first results: those are not used either.
  HttpResponse broken = HttpResponse::Html(test::AltaVistaPage(test::ResultLinks(40)));
  broken.closeAfterBytes = broken.body.size() / 2;
  server_.Serve(kAltaVistaPath, broken);
  EXPECT_EQ(Query(SearchEngine::AltaVista, "tulips", links), kQueryFailed);
  EXPECT_TRUE(links.empty());
}

TEST_F(EngineQuery, AnEmptyTextGivesMinusTwoWithoutARequest) {
  Links links{"left over"};
  EXPECT_EQ(Query(SearchEngine::AltaVista, "", links), kQueryEmptyText);
  EXPECT_EQ(Query(SearchEngine::Yahoo, "", links), kQueryEmptyText);
  EXPECT_TRUE(links.empty());
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(EngineQuery, AStopRaisedWhileThePageArrivesGivesZero) {
  HttpResponse dripping = HttpResponse::Html(test::AltaVistaPage(test::ResultLinks(400)));
  dripping.dripBytes = 64;
  dripping.dripIntervalMs = 10;
  server_.Serve(kAltaVistaPath, dripping);

  std::atomic<int> linesSeen{0};
  std::atomic<bool> stop{false};
  Links links;
  auto query = std::async(std::launch::async, [&] {
    return QueryEngine(
        SearchEngine::AltaVista, "tulips", links, [&] { ++linesSeen; },
        [&] { return stop.load(); });
  });
  ASSERT_TRUE(server_.WaitForRequests(1, std::chrono::seconds(20)));
  ASSERT_TRUE(test::WaitFor([&] { return linesSeen > 0; }));
  stop = true;
  ASSERT_EQ(query.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_EQ(query.get(), 0);
  EXPECT_TRUE(links.empty());
}

}  // namespace
}  // namespace tvx
