#include <gtest/gtest.h>

#include <string>

#include "crawler/modern/Robots.h"

namespace tvx {
namespace {

// One robots.txt, the paths asked of it and what it answers.
struct Case {
  const char* name;
  const char* robots;
  struct Ask {
    const char* path;
    bool allowed;
  } asks[6];
};

const Case kCases[] = {
    {"our group wins over *",
     "User-agent: *\nDisallow: /\n\nUser-agent: tavrinox/2.1\nDisallow: /private\n",
     {{"/", true}, {"/private/a.jpg", false}, {"/public/a.jpg", true}}},
    {"groups for us are joined; agents stacked over one group",
     "User-agent: Other\nUser-agent: Tavrinox\nDisallow: /a\n# c\nUser-agent: TAVRINOX\n"
     "Disallow: /b # comment\nUser-agent: *\nDisallow: /c\n",
     {{"/a", false}, {"/b/x", false}, {"/c", true}}},
    {"no group for us: *",
     "User-agent: OtherBot\nDisallow: /\nUser-agent: *\nDisallow: /tmp/\n",
     {{"/tmp/x.gif", false}, {"/tmp", true}, {"/x.gif", true}}},
    {"longest match wins, allow wins a tie",
     "User-agent: *\nDisallow: /gallery/\nAllow: /gallery/public/\nAllow: /same\nDisallow: /same\n",
     {{"/gallery/a.jpg", false}, {"/gallery/public/a.jpg", true}, {"/same/x", true}}},
    {"wildcards and end marks",
     "User-agent: *\nDisallow: /*.php$\nDisallow: /*/thumbs/\nDisallow: /*&sid=\n",
     {{"/index.php", false},
      {"/index.php?x=1", true},
      {"/a/b/thumbs/1.jpg", false},
      {"/thumbs/1.jpg", true},
      {"/page?a=1&sid=4", false},
      {"/p.jpg", true}}},
    {"percent-encoding compared alike",
     "User-agent: *\nDisallow: /%7Euser/\nDisallow: /caf%c3%a9\nDisallow: /a%2fb\n",
     {{"/~user/x.jpg", false},
      {"/caf%C3%A9/1.jpg", false},
      {"/a%2Fb", false},
      {"/a/b", true},
      {"/%7euser/", false}}},
    {"empty disallow and lines of no group",
     "Disallow: /early\nUser-agent: *\nDisallow:\nSitemap: http://x/s.xml\nfoo bar\n",
     {{"/early", true}, {"/anything", true}}},
    {"robots.txt itself is always allowed",
     "User-agent: *\nDisallow: /\n",
     {{"/robots.txt", true}, {"/", false}, {"/a.jpg", false}}},
    {"CR LF lines and blanks",
     "user-agent : *\r\n  disallow :  /x  \r\n",
     {{"/x/1", false}, {"/y", true}}},
};

TEST(Robots, RulesAnswerEveryPathAsTheGroupSays) {
  for (const Case& c : kCases) {
    const RobotsRules rules = RobotsRules::Parse(c.robots);
    for (const Case::Ask& ask : c.asks) {
      if (!ask.path) break;
      EXPECT_EQ(rules.Allows(ask.path), ask.allowed) << c.name << ": " << ask.path;
    }
  }
}

TEST(Robots, CrawlDelayOfTheChosenGroupAndHugeFilesReadToTheirBound) {
  EXPECT_EQ(RobotsRules::Parse("User-agent: *\nCrawl-delay: 2.5\n").CrawlDelay(), 2.5);
  EXPECT_EQ(RobotsRules::Parse("User-agent: other\nCrawl-delay: 9\nUser-agent: *\nDisallow: /x\n")
                .CrawlDelay(),
            std::nullopt);
  EXPECT_EQ(RobotsRules::Parse("User-agent: *\nCrawl-delay: soon\n").CrawlDelay(), std::nullopt);

  // A rule past the first 500 KiB is not read; a huge pattern costs no more
  // than its length.
  std::string big = "User-agent: *\nDisallow: /early\n# " + std::string(kMaxRobotsBytes, 'x') +
                    "\nDisallow: /late\n";
  const RobotsRules rules = RobotsRules::Parse(big);
  EXPECT_FALSE(rules.Allows("/early"));
  EXPECT_TRUE(rules.Allows("/late"));
  const RobotsRules stars =
      RobotsRules::Parse("User-agent: *\nDisallow: /" + std::string(5000, '*') + "x$\n");
  EXPECT_TRUE(stars.Allows("/" + std::string(5000, 'a')));
  EXPECT_FALSE(stars.Allows("/" + std::string(5000, 'a') + "x"));
}

}  // namespace
}  // namespace tvx
