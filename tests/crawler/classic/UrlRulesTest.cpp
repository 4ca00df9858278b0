#include <gtest/gtest.h>

#include <string>

#include "crawler/classic/UrlRules.h"
#include "files/PictureFile.h"

namespace tvx {
namespace {

struct Case {
  const char* text;
  bool expected;
};

SiteProject ProjectWith(void (*setup)(SiteProject&)) {
  SiteProject p{};
  setup(p);
  return p;
}

TEST(UrlRulesTest, PictureFilesAreFoundAnywhereInTheTextIgnoringCase) {
  const Case cases[] = {
      {"HTTP://X/PIC.GIF", true},
      {"a.jpeg", false},
      {"a.gif.html", true},
      {"a.tiff", true},
      {"x.wpg", true},
      {"http://x/a.Cdr?v=1", true},
      {"http://x/page.html", false},
      {"", false},
      {"gif", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsPictureFile(c.text), c.expected) << c.text;
}

TEST(UrlRulesTest, ProgramNamesAreToldByTheirLastExtension) {
  const Case cases[] = {
      {"a.desktop", true},      {"A.DESKTOP", true},  {"a.desktop. ", true}, {"Setup.exe", true},
      {"tool.AppImage", true},  {"a.jar", true},      {"x.gif.sh", true},    {"run.py", true},
      {"a.desktop.gif", false}, {"a.jar.png", false}, {"scan.msp", false},   {"photo_id=3", false},
      {"desktop", false},       {"a.shtml", false},   {"", false},           {"a.", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsProgramName(c.text), c.expected) << c.text;
}

TEST(UrlRulesTest, LinkContainsFoldsCaseAndRefusesFragments) {
  EXPECT_FALSE(LinkContains("http://", "http://x/p.html#top"));
  EXPECT_TRUE(LinkContains("cgi-bin", "HTTP://X/CGI-BIN/Y"));
  EXPECT_TRUE(LinkContains("HTTP://X/", "http://x/a.gif"));
  EXPECT_FALSE(LinkContains("https://", "http://x/a.gif"));
  EXPECT_FALSE(LinkContains("", "#"));
}

TEST(UrlRulesTest, WantedLinksWithOnlyGifTicked) {
  const SiteProject gifOnly = ProjectWith([](SiteProject& p) { p.typeGif = 1; });
  const Case cases[] = {
      {"http://x/a.gif", true},   {"http://x/a.jpg", false},
      {"http://x/dir/", true},    {"http://x/a.html", true},
      {"http://x/a.asp", true},   {"http://x/a.shtml", true},
      {"http://x/run.cgi", true}, {"", false},
      {"noslash", false},         {"http://x.com", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsWantedLink(c.text, gifOnly), c.expected) << c.text;
}

TEST(UrlRulesTest, WantedLinksFollowDownloadAllAndTypeFlags) {
  const SiteProject all = ProjectWith([](SiteProject& p) { p.downloadAllFiles = 1; });
  EXPECT_TRUE(IsWantedLink("http://x/a.jpg", all));
  EXPECT_TRUE(IsWantedLink("http://x/a.pcx", all));
  EXPECT_FALSE(IsWantedLink("http://x/a.zip", all));

  // The seven type flags count even when every file is wanted.
  const SiteProject allAndTif = ProjectWith([](SiteProject& p) {
    p.downloadAllFiles = 1;
    p.typeTif = 1;
  });
  EXPECT_TRUE(IsWantedLink("http://x/A.TIF", allAndTif));

  const SiteProject none{};
  EXPECT_FALSE(IsWantedLink("http://x/a.gif", none));
  EXPECT_TRUE(IsWantedLink("http://x/dir", none));

  // Flags are read at each call, so an edit applies to the next link.
  SiteProject edited{};
  EXPECT_FALSE(IsWantedLink("http://x/a.png", edited));
  edited.typePng = 1;
  EXPECT_TRUE(IsWantedLink("http://x/a.png", edited));
}

TEST(UrlRulesTest, OtherTypesMatchesTheFoldedLinkAsEntered) {
  SiteProject p{};
  SetText(p.otherTypes, ".avi");
  EXPECT_TRUE(IsWantedLink("http://x/A.AVI", p));
  EXPECT_FALSE(IsWantedLink("http://x/a.mpg", p));
  SetText(p.otherTypes, ".AVI");
  EXPECT_FALSE(IsWantedLink("http://x/A.AVI", p));
  SetText(p.otherTypes, "");
  EXPECT_FALSE(IsWantedLink("http://x/a.avi", p));
}

TEST(UrlRulesTest, PageOrFile) {
  const Case cases[] = {
      {"http://pics", true},
      {"http://pics/pic.jpg", false},
      {"http://pics/dir", true},
      {"http://pics/index.html", true},
      {"http://pics/INDEX.HTM", true},
      {"http://pics/a.shtml", true},
      {"http://pics/run.cgi", false},
      {"http://pics/a.asp", false},
      {"http://pics.com", true},
      {"http://pics.com/x/", true},
      {"http://pics/x/pic.jpg", false},
      {"", false},
      {"plain", false},
      {"a.b", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsPageUrl(c.text), c.expected) << c.text;
}

TEST(UrlRulesTest, SiteRoot) {
  std::string out = "former";
  GetSiteRoot("http://pics/a/b.html", out);
  EXPECT_EQ(out, "http://pics/");
  GetSiteRoot("http://pics", out);
  EXPECT_EQ(out, "http://pics/");
  GetSiteRoot("ftp://h:21/", out);
  EXPECT_EQ(out, "ftp://h:21/");

  out = "former";
  GetSiteRoot("pics/x", out);
  EXPECT_EQ(out, "former");
  GetSiteRoot("", out);
  EXPECT_EQ(out, "former");
}

struct ResolveCase {
  const char* link;
  const char* expected;
};

TEST(UrlRulesTest, ResolveLinkOnAPageInSubfolders) {
  const ResolveCase cases[] = {
      {"q.html", "http://h/a/b/q.html"},
      {"/q.html", "http://h/q.html"},
      {"../q.html", "http://h/a/q.html"},
      {"../../../q.html", "http://h/q.html"},
      {"./q.html", "http://h/q.html"},
      // Up to the root: the root without its '/', which is not the site root.
      {"../../", "http://h"},
      {"http://o/q.html", "http://o/q.html"},
      {"", ""},
  };
  for (const ResolveCase& c : cases) {
    std::string link = c.link;
    ResolveLink("http://h/", "http://h/a/b/p.html", "\\a\\b", link);
    EXPECT_EQ(link, c.expected) << c.link;
  }
}

TEST(UrlRulesTest, ResolveLinkInTheRootAndOnOtherSites) {
  std::string link = "q.html";
  ResolveLink("http://h/", "http://h/p.html", "", link);
  EXPECT_EQ(link, "http://h/q.html");

  // Plain relative links use the page's own root; rooted ones the start site's.
  link = "q.html";
  ResolveLink("http://h/", "http://o/p.html", "", link);
  EXPECT_EQ(link, "http://o/q.html");
  link = "/q.html";
  ResolveLink("http://h/", "http://o/p.html", "", link);
  EXPECT_EQ(link, "http://h/q.html");
}

TEST(UrlRulesTest, ResolveLinkOfTheStartUrl) {
  std::string link = "pics/index.html";
  ResolveLink("", "", "", link);
  EXPECT_EQ(link, "http://pics/index.html");
  link = "ftp://pics/a.gif";
  ResolveLink("", "", "", link);
  EXPECT_EQ(link, "ftp://pics/a.gif");
}

TEST(UrlRulesTest, ParentLinks) {
  const struct {
    const char* folder;
    const char* link;
    const char* expected;
  } cases[] = {
      {"\\a\\b", "../c.gif", "/a/c.gif"},
      {"\\a\\b", "../../c.gif", "/c.gif"},
      {"\\a\\b", "../../../../c.gif", "/c.gif"},
      {"", "../c.gif", "/c.gif"},
      {"\\a\\\\b\\", "..//c.gif", "/a/c.gif"},
      // The first "up" segments are skipped, whatever they are.
      {"\\a\\b", "x/../c.gif", "/a/../c.gif"},
      {"\\a", "..", ""},
      {"\\a", "../", ""},
  };
  for (const auto& c : cases) {
    std::string link = c.link;
    ResolveParentLinks(c.folder, link);
    EXPECT_EQ(link, c.expected) << c.folder << " + " << c.link;
  }
}

TEST(UrlRulesTest, ParentLinksCutOverLongInput) {
  // 30 folders and 30 link segments: only the first 19 of each side count.
  std::string folder, link = "../";
  for (int i = 0; i < 30; ++i) folder += "\\f" + std::to_string(i);
  for (int i = 0; i < 30; ++i) link += "l" + std::to_string(i) + "/";
  ResolveParentLinks(folder, link);
  std::string expected;
  for (int i = 0; i < 18; ++i) expected += "/f" + std::to_string(i);
  for (int i = 0; i < 18; ++i) expected += "/l" + std::to_string(i);
  EXPECT_EQ(link, expected);

  // Very long segments: the result never exceeds its limit.
  std::string longFolder = "\\" + std::string(400, 'f');
  std::string longLink = "../" + std::string(100, 'a') + "/" + std::string(600, 'b');
  ResolveParentLinks(longFolder, longLink);
  EXPECT_LE(longLink.size(), kMaxParentLinkResult);
  EXPECT_EQ(longLink.substr(0, 101), "/" + std::string(100, 'a'));

  std::string viaResolve = "../" + std::string(5000, 'z');
  ResolveLink("http://h/", "http://h/a/b/p.html", "\\a\\b", viaResolve);
  EXPECT_EQ(viaResolve.size(), std::string("http://h").size() + kMaxParentLinkResult);
}

TEST(UrlRulesTest, LocalSubfolder) {
  EXPECT_EQ(GetLocalSubfolder("http://pics/", "http://pics/a/b/c.jpg"), "\\a\\b");
  EXPECT_EQ(GetLocalSubfolder("http://h/", "http://h/x.jpg"), "");
  EXPECT_EQ(GetLocalSubfolder("http://h/", "http://h/dir/"), "\\dir");
  EXPECT_EQ(GetLocalSubfolder("http://h/", "http://h"), "");
  EXPECT_EQ(GetLocalSubfolder("http://h/", "nothing"), "");
  // The root's length is an offset even into another site's URL.
  EXPECT_EQ(GetLocalSubfolder("http://h/", "http://other/x/y.gif"), "\\her\\x");
}

TEST(UrlRulesTest, IllegalLocalPaths) {
  const Case cases[] = {
      {"Pictures\\p\\a+b.jpg", true},       {"Pictures\\p\\a?b=1", true},
      {"Pictures\\p\\a,b.gif", true},       {"Pictures\\p\\*.gif", true},
      {"Pictures\\p\\a\\b.jpg", false},     {"Pictures\\p\\..\\x.jpg", true},
      {"Pictures\\p\\a/../../x.jpg", true}, {"..", true},
      {"Pictures\\p\\..x.jpg", false},      {"Pictures\\p\\x..\\y.jpg", false},
      {"Pictures\\p\\.\\y.jpg", false},     {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(HasIllegalChars(c.text), c.expected) << c.text;
  EXPECT_TRUE(HasIllegalChars(std::string_view("Pictures\\p\\a\0b.jpg", 18)));
}

}  // namespace
}  // namespace tvx
