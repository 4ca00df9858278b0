#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crawler/classic/LinkAdmission.h"
#include "store/Lists.h"
#include "support/RecordingReporter.h"

namespace tvx {
namespace {

SiteProject Project(const char* startUrl) {
  SiteProject p{};
  SetText(p.name, "proj");
  SetText(p.startUrl, startUrl);
  p.typeGif = 1;
  return p;
}

// Everything queued so far, first queued first (the stack is emptied).
std::vector<std::string> Queued(CrawlState& state) {
  std::vector<std::string> out;
  while (!state.stack.Empty()) out.insert(out.begin(), state.stack.Pop());
  out.erase(out.begin());  // the start URL
  return out;
}

// A crawl of http://h/ reading the page http://h/a/p.html.
struct Page {
  explicit Page(SiteProject p = Project("h/Index.html"),
                const RecordList<SiteProject>* sites = nullptr, ItemId id = 0)
      : state(p, sites, id) {
    state.url = "http://h/a/p.html";
    state.pageFolder = "\\a";
  }
  Admission Admit(const std::string& line) {
    return AdmitLink(state, line, [this](const std::string& t) { shown.push_back(t); });
  }
  CrawlState state;
  std::vector<std::string> shown;
};

TEST(CrawlStateTest, StartsFromTheResolvedStartUrl) {
  CrawlState s(Project("h/Index.html"));
  EXPECT_EQ(s.StartUrl(), "http://h/Index.html");
  EXPECT_EQ(s.siteRoot, "http://h/");
  EXPECT_EQ(s.projectFolder.Shown(), "Pictures\\proj");
  EXPECT_TRUE(s.visited.Contains("HTTP://H/index.HTML"));
  EXPECT_TRUE(s.domains.Contains("http://h/"));
  EXPECT_EQ(s.domainCount, 1);
  EXPECT_EQ(s.stack.Pop(), "http://h/Index.html");
  EXPECT_EQ(s.stack.Pop(), "") << "an empty stack pops an empty text";
}

TEST(CrawlStateTest, AnOverlongStartUrlIsQueuedWholeButNeverVisited) {
  const std::string start = "http://h/" + std::string(kMaxCrawlUrl, 'x');
  CrawlState s(Project(start.c_str()));
  EXPECT_EQ(s.visited.Count(), 0);
  EXPECT_FALSE(s.visited.Contains(start.substr(0, kMaxCrawlUrl)));
  EXPECT_EQ(s.stack.Pop(), start.substr(0, sizeof(SiteProject{}.startUrl) - 1));
}

TEST(UrlSetTest, HoldsWholeCutTextsAndFindsThemIgnoringCase) {
  UrlSet set;
  const std::string longUrl = "http://h/" + std::string(300, 'x');
  EXPECT_EQ(set.Text(set.Add(longUrl)).size(), kMaxCrawlUrl);
  EXPECT_TRUE(set.Contains(longUrl.substr(0, kMaxCrawlUrl)));
  EXPECT_FALSE(set.Contains(longUrl));
  EXPECT_FALSE(set.Contains("http://h/x")) << "whole texts only";
  EXPECT_FALSE(set.Contains(""));

  // Enough URLs to grow the table many times; the texts keep their case.
  UrlSet many;
  UrlStack stack(many);
  constexpr int kUrls = 100000;
  for (int i = 0; i < kUrls; ++i)
    stack.Push(many.Add("http://Host/page" + std::to_string(i) + ".html"));
  EXPECT_EQ(many.Count(), kUrls);
  for (int i = 0; i < kUrls; i += 997) {
    EXPECT_TRUE(many.Contains("HTTP://host/PAGE" + std::to_string(i) + ".HTML")) << i;
    EXPECT_FALSE(many.Contains("http://host/page" + std::to_string(i) + ".htm")) << i;
  }
  EXPECT_FALSE(many.Contains("http://host/page" + std::to_string(kUrls) + ".html"));
  EXPECT_LE((many.HeldBytes() + stack.HeldBytes()) / kUrls, 150u) << "bytes per URL";
  EXPECT_EQ(stack.Pop(), "http://Host/page99999.html");
  EXPECT_EQ(stack.Pop(), "http://Host/page99998.html");
}

struct Case {
  const char* line;
  std::vector<std::string> queued;
};

TEST(LinkAdmissionTest, SingleLinesOnTheStartSite) {
  const std::string atLimit = "http://h/" + std::string(kMaxCrawlUrl - 9 - 5, 'y') + ".html";
  const Case cases[] = {
      {R"(<a href="q.html">)", {"http://h/a/q.html"}},
      {R"(<a href="/index.html">)", {}},  // the start URL, ignoring case
      {R"(<a href="../index.html">)", {}},
      {R"(<a href="../">)", {}},      // "http://h": not the site root "http://h/"
      {R"(<a href="pic.jpg">)", {}},  // type not ticked
      {R"(<a href="pic.gif">)", {"http://h/a/pic.gif"}},
      {R"(<a href="q.html#top">)", {}},        // fragment
      {R"(<a href="/cgi-bin/run.gif">)", {}},  // scripts are not followed...
      {R"(<img src="/cgi-bin/run.gif" >)", {"http://h/cgi-bin/run.gif"}},  // ...but images are
      {R"(<a href="javascript:open.html">)", {}},
      {R"(<a href="http://other/x.html">)", {}},  // another host
      {R"(<a href="http://www.h/x.html">)", {}},  // another host name for it
      {R"(<a href="mailto:me@h" href="x.html">)", {}},
      {R"(<a href="q.html"><img src="i.gif">)", {"http://h/a/q.html", "http://h/a/i.gif"}},
      {R"(<frame src="f.html" name=x>)", {"http://h/a/f.html"}},
      {"<a href=\"http://h/"
       "\">",
       {"http://h/"}},
  };
  for (const Case& c : cases) {
    Page page;
    EXPECT_EQ(page.Admit(c.line), Admission::Continue) << c.line;
    EXPECT_EQ(Queued(page.state), c.queued) << c.line;
  }

  // A link longer than a record's url is never queued, not even cut (were it
  // cut, the link at the limit would count as visited).
  Page page;
  page.Admit("<a href=\"" + atLimit + "l\">");
  page.Admit("<a href=\"" + atLimit + "\">");
  EXPECT_EQ(Queued(page.state), std::vector<std::string>{atLimit});
}

TEST(LinkAdmissionTest, CountsQueuedLinksAndShowsEachCount) {
  Page page;
  page.Admit(R"(<a href="1.html">)");
  page.Admit(R"(<a href="1.html">)");  // once only
  page.Admit(R"(<a href="2.html"><img src="2.gif">)");
  EXPECT_EQ(page.state.linkCount, 3);
  EXPECT_EQ(page.shown,
            (std::vector<std::string>{"1 links found", "2 links found", "3 links found"}));
  EXPECT_EQ(page.state.progressText, "3 links found");
}

TEST(LinkAdmissionTest, DomainLimitEndsThePageAndStaysReached) {
  SiteProject p = Project("http://a/");
  p.exitDomain = 1;
  p.maxDomainCount = 2;
  Page page(p);
  page.state.url = "http://a/";
  page.state.pageFolder = "";
  EXPECT_EQ(page.Admit(R"(<a href="http://b/x.html">)"), Admission::Continue);
  EXPECT_EQ(page.Admit(R"(<a href="http://b/y.html">)"), Admission::Continue);
  EXPECT_EQ(page.state.domainCount, 2);
  EXPECT_EQ(page.Admit(R"(<a href="http://c/z.html"><img src="q.gif">)"), Admission::EndPage);
  EXPECT_EQ(page.state.domainCount, 3);
  // Even a link on the start site now ends the page.
  EXPECT_EQ(page.Admit(R"(<a href="own.html">)"), Admission::EndPage);
  EXPECT_EQ(Queued(page.state), (std::vector<std::string>{"http://b/x.html", "http://b/y.html"}));

  p.maxDomainCount = 0;  // no limit
  Page open(p);
  for (const char* host : {"b", "c", "d", "e"})
    open.Admit(std::string("<a href=\"http://") + host + "/x.html\">");
  EXPECT_EQ(open.state.domainCount, 5);
  EXPECT_EQ(Queued(open.state).size(), 4u);
}

TEST(LinkAdmissionTest, ReadsTheProjectRecordAtEachLineAndKeepsTheLastCopy) {
  test::ResetLists();
  SiteProject p = Project("h/index.html");
  const ItemId id = test::E().lists.requestedSites.Add(p);
  Page page(p, &test::E().lists.requestedSites, id);
  page.Admit(R"(<a href="1.gif">)");
  test::E().lists.requestedSites.Update(0, [](SiteProject& r) {
    r.typeGif = 0;
    r.typeJpg = 1;
  });
  page.Admit(R"(<a href="2.gif">)");
  page.Admit(R"(<a href="3.jpg">)");
  test::E().lists.requestedSites.RemoveAt(
      0);  // deleted while the crawl runs: its last settings stay
  page.Admit(R"(<a href="4.gif">)");
  page.Admit(R"(<a href="5.jpg">)");
  EXPECT_EQ(Queued(page.state),
            (std::vector<std::string>{"http://h/a/1.gif", "http://h/a/3.jpg", "http://h/a/5.jpg"}));
}

TEST(LinkAdmissionTest, AnOpenImgTagBelongsToItsOwnCrawl) {
  Page first;
  Page second;
  first.Admit("<img");
  second.Admit(R"(src="x.gif" >)");
  first.Admit(R"(src="y.gif" >)");
  EXPECT_TRUE(Queued(second.state).empty());
  EXPECT_EQ(Queued(first.state), std::vector<std::string>{"http://h/a/y.gif"});
}

}  // namespace
}  // namespace tvx
