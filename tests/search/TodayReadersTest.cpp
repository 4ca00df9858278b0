// What the program makes of the engines of today: the requests it sends, and
// what it reads from their answers, from the documented shapes to the ones
// it must refuse.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "search/AnswerReaders.h"
#include "search/EngineChoice.h"
#include "search/TodayEngines.h"
#include "search/TodayFakes.h"
#include "search/TodayQuery.h"

namespace tvx {
namespace {

using test::FakePictureOf;

std::vector<std::string> Urls(const AnswerPage& page) {
  std::vector<std::string> urls;
  for (const FoundItem& item : page.items) urls.push_back(item.url);
  return urls;
}

TEST(TodayRequests, EachEngineIsAskedAtItsDocumentedAddress) {
  const std::string words =
      "phare cr\xC3\xA9"
      "ac'h & co";
  const std::string escaped = "phare%20cr%C3%A9ac%27h%20%26%20co";
  struct Case {
    TodayEngine engine;
    std::optional<NextPage> next;
    std::string url;
  } cases[] = {
      {TodayEngine::Openverse, std::nullopt, "B/v1/images/?q=" + escaped + "&page=1&page_size=20"},
      {TodayEngine::Openverse, NextPage{3, {}},
       "B/v1/images/?q=" + escaped + "&page=3&page_size=20"},
      {TodayEngine::Commons, std::nullopt,
       "B/w/api.php?action=query&format=json&formatversion=2&generator=search&gsrnamespace=6"
       "&gsrsearch=" +
           escaped + "&gsrlimit=50&prop=imageinfo&iiprop=url%7Csize%7Cmime%7Cextmetadata"},
      {TodayEngine::Commons, NextPage{0, "gsroffset=50&continue=gsroffset%7C%7C"},
       "B/w/api.php?action=query&format=json&formatversion=2&generator=search&gsrnamespace=6"
       "&gsrsearch=" +
           escaped +
           "&gsrlimit=50&prop=imageinfo&iiprop=url%7Csize%7Cmime%7Cextmetadata"
           "&gsroffset=50&continue=gsroffset%7C%7C"},
      {TodayEngine::DuckDuckGo, std::nullopt, "B/html/?q=" + escaped},
      {TodayEngine::DuckDuckGo, NextPage{30, "q=x&s=30&dc=31"}, "B/html/?q=x&s=30&dc=31"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(AnswerPageUrl(c.engine, "B", words, c.next), c.url) << EngineTitle(c.engine);

  // Bases: the public ones, or the variable's (its '/' at the end dropped).
  unsetenv(kOpenverseUrlVariable);
  EXPECT_EQ(EngineBase(TodayEngine::Openverse), "https://api.openverse.org");
  setenv(kOpenverseUrlVariable, "http://127.0.0.1:8080/", 1);
  EXPECT_EQ(EngineBase(TodayEngine::Openverse), "http://127.0.0.1:8080");
  unsetenv(kOpenverseUrlVariable);
  EXPECT_EQ(EngineBase(TodayEngine::Commons), "https://commons.wikimedia.org");
  EXPECT_EQ(EngineBase(TodayEngine::DuckDuckGo), "https://html.duckduckgo.com");
}

TEST(TodayAnswers, OpenversePagesWithTheirCredits) {
  AnswerPage page;
  ASSERT_TRUE(ReadOpenverseAnswer(test::OpenverseAnswer(1, 20, 3), 1, page));
  ASSERT_EQ(page.items.size(), 20u);
  const test::FakePicture third = FakePictureOf("ov", 3);
  EXPECT_EQ(page.items[2], (FoundItem{third.url, third.credit}));
  EXPECT_EQ(page.next, (NextPage{2, {}}));
  // The last page, and a search that found nothing, have no next page.
  ASSERT_TRUE(ReadOpenverseAnswer(test::OpenverseAnswer(41, 45, 3), 3, page));
  EXPECT_EQ(page.items.size(), 5u);
  EXPECT_FALSE(page.next);
  ASSERT_TRUE(ReadOpenverseAnswer(R"({"result_count":0,"page_count":0,"results":[]})", 1, page));
  EXPECT_TRUE(page.items.empty());
  EXPECT_FALSE(page.next);
  // Missing or odd fields leave a credit's part empty; a result without a
  // URL is none.
  ASSERT_TRUE(ReadOpenverseAnswer(
      R"({"page_count":"9","results":[{"url":"http://a.example/1.jpg","title":null,
          "creator":7,"license":"cc0","license_version":"1.0"},{"title":"no url"},
          {"url":"http://a.example/2.jpg","license":"pdm"}, 5]})",
      1, page));
  EXPECT_EQ(Urls(page),
            (std::vector<std::string>{"http://a.example/1.jpg", "http://a.example/2.jpg"}));
  EXPECT_EQ(page.items[0].credit, (PictureCredit{"", "", "CC0 1.0", ""}));
  EXPECT_EQ(page.items[1].credit->licence, "Public Domain Mark");
  EXPECT_FALSE(page.next);
}

TEST(TodayAnswers, CommonsInSearchOrderWithTheArtistsText) {
  AnswerPage page;
  ASSERT_TRUE(ReadCommonsAnswer(test::CommonsAnswer(1, 50, 50), page));
  // By index, not by page id; the PDF is no picture.
  ASSERT_EQ(page.items.size(), 50u);
  for (int n = 1; n <= 50; ++n) {
    const test::FakePicture p = FakePictureOf("wc", n);
    EXPECT_EQ(page.items[n - 1], (FoundItem{p.url, p.credit})) << n;
  }
  EXPECT_EQ(page.next, (NextPage{0, "continue=gsroffset%7C%7C&gsroffset=50"}));

  ASSERT_TRUE(ReadCommonsAnswer(R"({"batchcomplete":true})", page));
  EXPECT_TRUE(page.items.empty());
  EXPECT_FALSE(page.next);

  ASSERT_TRUE(ReadCommonsAnswer(
      R"({"query":{"pages":[{"title":"File:A b.png","imageinfo":[{"url":"http://c.example/A_b.png",
          "mime":"image/png","extmetadata":{"Artist":{"value":"<span>Jo &amp; <b>Kim</b>\n Lee</span>"},
          "LicenseShortName":{"value":"Public domain"}}}]},{"title":"File:x","imageinfo":[]},
          {"title":"File:y"}]}})",
      page));
  ASSERT_EQ(page.items.size(), 1u);
  EXPECT_EQ(page.items[0].credit, (PictureCredit{"A b.png", "Jo & Kim Lee", "Public domain", ""}));
}

TEST(TodayAnswers, DuckDuckGoTargetsBehindTheRedirectAndTheNextForm) {
  AnswerPage page;
  ASSERT_TRUE(ReadDuckDuckGoAnswer(test::DuckDuckGoAnswer(11, 20, 20), page));
  std::vector<std::string> targets;
  for (int n = 11; n <= 20; ++n) targets.push_back(test::FakePage(n));
  // The advertisement (a link to the engine itself) is none.
  EXPECT_EQ(Urls(page), targets);
  EXPECT_FALSE(page.items[0].credit);
  // The form that goes further, not the previous page's.
  ASSERT_TRUE(page.next);
  EXPECT_EQ(page.next->number, 20);
  EXPECT_EQ(page.next->fields,
            "q=lighthouse%20keeper&s=20&nextParams=&v=l&o=json&dc=21&api=d.js&vqd=4-1234");

  ASSERT_TRUE(ReadDuckDuckGoAnswer(test::DuckDuckGoNoResults(), page));
  EXPECT_TRUE(page.items.empty());
  EXPECT_FALSE(page.next);
}

TEST(TodayAnswers, WhatIsNotTheEnginesAnswerIsRefused) {
  const std::string openverse = test::OpenverseAnswer(1, 20, 3);
  const std::string commons = test::CommonsAnswer(1, 50, 50);
  const std::string deep = std::string(100, '[') + std::string(100, ']');
  struct Case {
    TodayEngine engine;
    std::string body;
    const char* what;
  } cases[] = {
      {TodayEngine::Openverse, openverse.substr(0, openverse.size() / 2), "cut short"},
      {TodayEngine::Openverse, R"({"detail":"Throttled"})", "an error"},
      {TodayEngine::Openverse, R"({"results":{"url":"x"}})", "changed"},
      {TodayEngine::Openverse, "[" + openverse + "]", "changed"},
      {TodayEngine::Openverse, R"({"results":)" + deep + "}", "too deep"},
      {TodayEngine::Openverse, test::CaptchaPage(), "a page"},
      {TodayEngine::Openverse, "", "empty"},
      {TodayEngine::Commons, commons.substr(0, commons.size() - 1), "cut short"},
      {TodayEngine::Commons, R"({"error":{"code":"maxlag","info":"Waiting"}})", "an error"},
      {TodayEngine::Commons, R"({"query":{"pages":{"1":{}}}})", "changed"},
      {TodayEngine::Commons, "{}", "changed"},
      {TodayEngine::DuckDuckGo, test::CaptchaPage(), "a captcha"},
      {TodayEngine::DuckDuckGo, "<html><body><div class=result>x</div></body></html>", "changed"},
      {TodayEngine::DuckDuckGo, openverse, "JSON"},
      {TodayEngine::DuckDuckGo, "", "empty"},
  };
  for (const Case& c : cases) {
    AnswerPage page;
    page.items.push_back({"left over", std::nullopt});
    EXPECT_FALSE(ReadAnswer(c.engine, c.body, 1, page)) << EngineTitle(c.engine) << ": " << c.what;
  }
}

TEST(TodayAnswers, ResultLinksBecomeUrlsARecordHolds) {
  const std::string longPath(300, 'a');
  struct Case {
    std::string link;
    std::string url;
  } cases[] = {
      {"https://a.example/x.jpg", "https://a.example/x.jpg"},
      {"  HTTP://a.example/X.jpg#top ", "http://a.example/X.jpg"},
      {"Https://a.example/x.jpg", "https://a.example/x.jpg"},
      {"//upload.example/a/b.jpg", "https://upload.example/a/b.jpg"},
      {"http://a.example/caf\xC3\xA9 au lait\t\"x\".jpg",
       "http://a.example/caf%C3%A9%20au%20lait%09%22x%22.jpg"},
      {"http://a.example/100%25.jpg?w=1&h=2", "http://a.example/100%25.jpg?w=1&h=2"},
      {"ftp://a.example/x.jpg", ""},
      {"/relative/x.jpg", ""},
      {"javascript:alert(1)", ""},
      {"http://", ""},
      {"https:///x.jpg", ""},
      {"http://a.example/" + longPath + ".jpg", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ResultUrl(c.link), c.url) << c.link;
}

TEST(TodayAnswers, TextsOfCreditsAndWaits) {
  struct LicenceCase {
    const char* license;
    const char* version;
    const char* name;
  } licences[] = {{"by-nc-sa", "2.0", "CC BY-NC-SA 2.0"},
                  {"BY", "", "CC BY"},
                  {"cc0", "1.0", "CC0 1.0"},
                  {"pdm", "1.0", "Public Domain Mark 1.0"},
                  {"", "4.0", ""}};
  for (const LicenceCase& c : licences) EXPECT_EQ(LicenceName(c.license, c.version), c.name);

  EXPECT_EQ(HtmlText("<a href=\"x\">Ann</a> <i>&amp;</i><br>Bo<script>x()</script>"), "Ann & Bo");
  EXPECT_EQ(HtmlText("plain  \n text"), "plain text");

  const std::time_t now = 1'700'000'000;
  struct WaitCase {
    const char* retryAfter;
    const char* text;
  } waits[] = {{"120", "Openverse asks to wait: try again in 120 s"},
               {" 0 ", "Openverse asks to wait: try again in 0 s"},
               {"Tue, 14 Nov 2023 22:13:50 GMT", "Openverse asks to wait: try again in 30 s"},
               {"Mon, 13 Nov 2023 00:00:00 GMT", "Openverse asks to wait: try again in 0 s"},
               {"", "Openverse asks to wait: try again in 60 s"},
               {"soon", "Openverse asks to wait: try again in 60 s"},
               {"99999999999999", "Openverse asks to wait: try again in 60 s"}};
  for (const WaitCase& c : waits)
    EXPECT_EQ(WaitText(TodayEngine::Openverse, c.retryAfter, now), c.text) << c.retryAfter;
  EXPECT_EQ(UnreadableText(TodayEngine::Commons),
            "Wikimedia Commons answered in a form this version cannot read");

  const PictureCredit full{"Phare", "Ann", "CC BY 4.0", "https://p.example/1"};
  EXPECT_EQ(CreditText(full), "Phare by Ann, CC BY 4.0, https://p.example/1");
  EXPECT_EQ(CreditLine("Phare.jpg", full),
            "Phare.jpg \xE2\x80\x94 Phare by Ann, CC BY 4.0, https://p.example/1");
  EXPECT_EQ(CreditText({"", "Ann", "", "https://p.example/1"}), "by Ann, https://p.example/1");
  EXPECT_EQ(CreditField(" a\tb\r\n\x01  c "), "a b c");
  // Cut to the field without splitting a character.
  const std::string cut = CreditField(std::string(kMaxCreditField - 1, 'x') + "\xC3\xA9");
  EXPECT_EQ(cut, std::string(kMaxCreditField - 1, 'x'));
}

TEST(EngineChoiceNames, EveryEngineHasItsNameAndNoOther) {
  EXPECT_EQ(EngineNames(), (std::vector<std::string_view>{"altavista", "yahoo", "openverse",
                                                          "commons", "duckduckgo"}));
  EngineChoice choice;
  for (const char* name : {"openverse", "Commons", "DUCKDUCKGO", "yahoo"})
    EXPECT_TRUE(ChooseEngine(name, choice)) << name;
  EXPECT_FALSE(ChooseEngine("hotbot", choice));
  EXPECT_FALSE(ChooseEngine("", choice));
  EXPECT_EQ(choice, (EngineChoice{false, true, kEveryTodayEngine}));

  const NewSearch made = MakeSearchProject("Lights", "lighthouse keeper", choice);
  EXPECT_EQ(TextOf(made.project.name), "Lights");
  EXPECT_EQ(TextOf(made.project.searchText), "lighthouse keeper");
  EXPECT_EQ(made.project.useAltaVista, 0);
  EXPECT_EQ(made.project.useYahoo, 1);
  EXPECT_EQ(made.project.runWhenRequested, 1);
  EXPECT_EQ(made.project.stopWhenRequested, 1);
  EXPECT_EQ(made.today, kEveryTodayEngine);
}

}  // namespace
}  // namespace tvx
