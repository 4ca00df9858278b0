#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "crawler/classic/LinkExtract.h"

namespace tvx {
namespace {

struct Case {
  const char* line;
  std::optional<std::string> link;  // nullopt: nothing found
};

std::optional<std::string> Href(std::string_view line) {
  std::string link = "untouched";
  if (!ExtractHref(line, link)) {
    EXPECT_EQ(link, "untouched") << line;
    return std::nullopt;
  }
  return link;
}

std::optional<std::string> FrameSrc(std::string_view line) {
  std::string link = "untouched";
  if (!ExtractFrameSrc(line, link)) {
    EXPECT_EQ(link, "untouched") << line;
    return std::nullopt;
  }
  return link;
}

std::optional<std::string> ImgSrc(std::string_view line, bool& pending) {
  std::string link;
  if (!ExtractImgSrc(line, pending, link)) return std::nullopt;
  return link;
}

TEST(LinkExtractTest, Href) {
  const Case cases[] = {
      {R"(<A HREF="Page.HTML" TARGET=x>)", "page.html"},
      {R"(<a href="a.html">mail me: mailto:me@x</a>)", std::nullopt},
      {R"(<a href="MAILTO:me@x">)", std::nullopt},
      {R"(<a href="one.html">1</a> <a href="two.html">2</a>)", "one.html"},
      {"<a href='a.html' target=x>", "a.html"},
      {"<a href='a.html'>", "a.html"},
      {R"(<a href='a.html'">)", "a.html"},
      // The marks are tried in order: "' " wins although "'>" stands nearer.
      {"<a href='a.html'><b class='x' y>", "a.html'><b class='x"},
      {"<a href='a.html", std::nullopt},
      {"<a href=a.html target=x>", "a.html target=x"},
      {"<a href=a.html target=x", "a.html"},
      {"<a href=a.html", std::nullopt},
      {R"(<a href="next-line.html)", std::nullopt},
      {R"(<a href="">)", ""},
      // A quoted href anywhere on the line is preferred to an earlier unquoted one.
      {R"(<a href=u.html> <a href="q.html">)", "q.html"},
      {"no links here", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(Href(c.line), c.link) << c.line;
}

TEST(LinkExtractTest, FrameSrc) {
  const Case cases[] = {
      {R"(<FRAME SRC="M.html" name=main>)", "m.html"},
      {R"(<frame src="m.html">)", std::nullopt},
      {R"(<frame src="m.html")", std::nullopt},
      {R"(<iframe src="i.html" width=3>)", "i.html"},
      {R"(<frameset><x src="s.html" >)", "s.html"},
      // The source may stand before the word frame.
      {R"(<x src="b.html" > frame)", "b.html"},
      {R"(<img src="p.gif" alt=x>)", std::nullopt},
      {"<frame src=m.html name=main>", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(FrameSrc(c.line), c.link) << c.line;
}

TEST(LinkExtractTest, ImgSrcOnOneLine) {
  const Case cases[] = {
      {R"(<IMG SRC="P.GIF" alt=x>)", "p.gif"},
      {R"(<img src="p.gif">)", "p.gif"},
      // Quoted: the closing quote followed by a space beats one followed by '>'.
      {R"(<img src="a.gif"><img src="b.gif" >)", "a.gif\"><img src=\"b.gif"},
      {"<img src=p.gif>", "p.gif"},
      {"<img src=a.gif><b>x y", "a.gif><b>x"},
      {R"(<img src="p.gif)", std::nullopt},
      {"<img src=p.gif", std::nullopt},
  };
  for (const Case& c : cases) {
    bool pending = false;
    EXPECT_EQ(ImgSrc(c.line, pending), c.link) << c.line;
    EXPECT_EQ(pending, !c.link.has_value()) << c.line;
  }
}

TEST(LinkExtractTest, ImgTagSpanningLines) {
  bool pending = false;
  EXPECT_EQ(ImgSrc(R"(<p src="x.gif" >)", pending), std::nullopt);  // no img yet
  EXPECT_FALSE(pending);

  EXPECT_EQ(ImgSrc("<img", pending), std::nullopt);
  EXPECT_TRUE(pending);
  EXPECT_EQ(ImgSrc("  alt=x", pending), std::nullopt);
  EXPECT_TRUE(pending);
  EXPECT_EQ(ImgSrc(R"(  src="p.gif" width=3>)", pending), "p.gif");
  EXPECT_FALSE(pending);
  EXPECT_EQ(ImgSrc(R"(<script src="s.js" >)", pending), std::nullopt);

  // An open tag is completed by the next source, whatever tag it belongs to.
  EXPECT_EQ(ImgSrc("<img", pending), std::nullopt);
  EXPECT_EQ(ImgSrc(R"(<script src="s.js" >)", pending), "s.js");
}

TEST(LinkExtractTest, ImgPendingStatesAreIndependent) {
  bool first = false;
  bool second = false;
  EXPECT_EQ(ImgSrc("<img", first), std::nullopt);
  EXPECT_TRUE(first);
  EXPECT_FALSE(second);

  // The other reader's source line does not complete the first reader's tag.
  EXPECT_EQ(ImgSrc(R"(src="theirs.gif" )", second), std::nullopt);
  EXPECT_TRUE(first);
  EXPECT_EQ(ImgSrc(R"(src="mine.gif" )", first), "mine.gif");
  EXPECT_FALSE(first);
  EXPECT_FALSE(second);
}

TEST(LinkExtractTest, HugeLinesAreHandledInLinearTime) {
  // Near-misses of every pattern, repeated over a mebibyte: a quadratic scan
  // would not end within the test's time-out (the test does not time
  // itself, so a busy machine cannot fail it).
  std::string line;
  while (line.size() < (1u << 20)) line += "href src= frame img '>\" ";
  line += "href=\"" + std::string(1000, 'a');
  for (int i = 0; i < 5; ++i) {
    std::string link;
    bool pending = false;
    EXPECT_FALSE(ExtractHref(line, link));  // the quoted href is never closed
    EXPECT_FALSE(ExtractFrameSrc(line, link));
    EXPECT_TRUE(ExtractImgSrc(line, pending, link));
    EXPECT_EQ(link, "");
  }
}

}  // namespace
}  // namespace tvx
