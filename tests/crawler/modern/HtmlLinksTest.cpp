#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "crawler/modern/HtmlLinks.h"

namespace tvx {
namespace {

using Strings = std::vector<std::string>;

class Collect : public HtmlLinkSink {
 public:
  explicit Collect(std::size_t stopAfter = SIZE_MAX) : stopAfter_(stopAfter) {}
  bool OnLink(std::string_view link) override {
    links.emplace_back(link);
    return ++count_ < stopAfter_;
  }
  void OnBase(std::string_view href) override { links.push_back("base:" + std::string(href)); }
  bool OnStylesheet(std::string_view href) override {
    links.push_back("css:" + std::string(href));
    return ++count_ < stopAfter_;
  }
  Strings links;

 private:
  std::size_t stopAfter_;
  std::size_t count_ = 0;
};

// Reads page in pieces of pieceSize bytes.
Strings LinksOf(const std::string& page, std::size_t pieceSize,
                std::size_t maxBytes = kMaxPageBytes) {
  Collect sink;
  HtmlLinkReader reader(sink, maxBytes);
  for (std::size_t i = 0; i < page.size(); i += pieceSize)
    if (!reader.Feed(page.data() + i, std::min(pieceSize, page.size() - i))) break;
  reader.Finish();
  return sink.links;
}

// A gallery page of today, minified onto one line.
const std::string kGallery =
    "<!DOCTYPE html><html><head><meta charset=utf-8><base href=\"/media/\"><base href=/no/>"
    "<meta property=\"og:image\" content=\"https://pics.example/Cover.JPG\">"
    "<meta name=og:title content=\"not a link\">"
    "<link rel=\"stylesheet\" href=\"site.css\"><link rel=\"Image_Src\" href=\"thumb.png\">"
    "<link rel=\"shortcut icon\" type=\"image/png\" href=\"py.svg\"><link rel=ICON href=i.ico>"
    "<link rel=apple-touch-icon-precomposed href=t.png><link rel=\"mask-icon\" href=m.svg>"
    "<link rel=apple-touch-icon href=a.png><link rel=iconic href=no.png><link rel=stylesheet>"
    "<link href=\"alt.css?v=2\" rel=\"alternate stylesheet\"><link rel=preload href=no.jpg>"
    "<style>.hero{background:url(hero.jpg)}.b{background-image:URL( 'quoted b.png' )}</style>"
    "</head><body><a href=\"Page2.html?x=1&amp;y=2\">next</a><area href=map.html>"
    "<img src=\"IMG_1234.JPG\" srcset=\"s-480.jpg 480w, s-800.jpg 800w\" alt=\"\">"
    "<img class=lazy src=\"data:image/gif;base64,R0lGOD\" data-src=\"Lazy1.jpg\" "
    "data-srcset=\"l-1x.jpg 1x,l-2x.jpg 2x\">"
    "<div data-original=\"orig.jpg\" style=\"background:url(&quot;div.webp&quot;)\"></div>"
    "<picture><source srcset=\"p.avif\" type=\"image/avif\"><source src=p.webp>"
    "<img src=p.jpg></picture><iframe src=\"frame.html\"></iframe><frame src=f2.html>"
    "<input src=go.png type=IMAGE><input type=text src=no.png><video poster=no.jpg></video>"
    "<object data=o.svg type=\"image/svg+xml\"></object><object data=o.png></object>"
    "<object data=no.swf type=application/x-shockwave-flash></object>"
    "<svg><image href=\"s.png\"/><image xlink:href=\"no.png\"/></svg>"
    "<script>var a = \"<img src='not-a-tag.jpg'>\";</script>"
    "<a href='mailto:me@x'>mail</a><p>url(text-is-not-css.jpg)</p></body></HTML >"
    "<img src=\"After-End.png\">";

const Strings kGalleryLinks = {"base:/media/",
                               "https://pics.example/Cover.JPG",
                               "css:site.css",
                               "thumb.png",
                               "py.svg",
                               "i.ico",
                               "t.png",
                               "m.svg",
                               "a.png",
                               "css:alt.css?v=2",
                               "hero.jpg",
                               "quoted b.png",
                               "Page2.html?x=1&y=2",
                               "map.html",
                               "IMG_1234.JPG",
                               "s-480.jpg",
                               "s-800.jpg",
                               "data:image/gif;base64,R0lGOD",
                               "Lazy1.jpg",
                               "l-1x.jpg",
                               "l-2x.jpg",
                               "orig.jpg",
                               "div.webp",
                               "p.avif",
                               "p.webp",
                               "p.jpg",
                               "frame.html",
                               "f2.html",
                               "go.png",
                               "o.svg",
                               "o.png",
                               "s.png",
                               "mailto:me@x",
                               "After-End.png"};

TEST(HtmlLinks, FindsEveryLinkOfAOneLinePageInAnyPieces) {
  for (std::size_t piece : {kGallery.size(), std::size_t{4096}, std::size_t{7}, std::size_t{1}})
    EXPECT_EQ(LinksOf(kGallery, piece), kGalleryLinks) << "pieces of " << piece;
}

// Pages that take the tokenizer through its states: what is markup and
// what is not, character references, attributes, character sets, ends.
const struct {
  const char* name;
  std::string page;
  Strings links;
} kPages[] = {
    {"comments",
     "<!-- <img src=c1.jpg> --><img src=a.jpg><!--> <img src=b.jpg><!---><img src=c.jpg>"
     "<!-- x --!><img src=d.jpg><!-- <img src=c2.jpg> -- > --- ><img src=c3.jpg>",
     {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}},
    {"a comment left open", "<img src=a.jpg><!-- <img src=c.jpg>", {"a.jpg"}},
    {"declarations",
     "<!DOCTYPE html PUBLIC \"-//x\"><?xml version=\"1.0\"?><img src=a.jpg>"
     "<![CDATA[ a > b <img src=c.jpg> ]]><img src=b.jpg></ ><img src=c.jpg><! x><img src=d.jpg>"
     "</3 <img src=e.jpg>x>< img src=t.jpg><img src=f.jpg>",
     {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "f.jpg"}},
    {"text elements",
     "<script>document.write('<img src=s.jpg>'); if (a</b) x = '</scripts>'</SCRIPT >"
     "<textarea><img src=t.jpg></textarea><title><a href=t.html></title >"
     "<xmp><img src=x.jpg></xmp><noembed><img src=e.jpg></noembed>"
     "<iframe src=frame.html><img src=i.jpg></iframe><noscript><img src=lazy.jpg></noscript>"
     "<style>p{background:url(s</style)}</style x><img src=after.jpg>"
     "<plaintext><img src=p.jpg></plaintext><img src=p2.jpg>",
     {"frame.html", "lazy.jpg", "s</style", "after.jpg"}},
    {"character references",
     "<a href=\"?a=1&amp;b=&#x41;&#66;&#X43&eacute;&#128;&#0;\">"
     "<a href='?c=1&copy=2&amp&lt;&ampx;&nosuch;&#;&#x;&'><a href=u&amp;v&gt>",
     {"?a=1&b=ABC\xC3\xA9\xE2\x82\xAC\xEF\xBF\xBD", "?c=1&copy=2&<&ampx;&nosuch;&#;&#x;&", "u&v>"}},
    {"attributes",
     "<IMG SRC=up.jpg Src=again.jpg><img\nsrc = \"spaced.jpg\" ><img src=''data-src=q.jpg>"
     "<img alt=\"a > b\" src=\"quoted>.jpg\"/><img =x src=after-eq.jpg><img/src=slash.jpg>"
     "<a href=x.html/>",
     {"up.jpg", "spaced.jpg", "q.jpg", "quoted>.jpg", "after-eq.jpg", "slash.jpg", "x.html/"}},
    {"a value too long to keep",
     "<img src=\"" + std::string(70 * 1024, 'y') + "\" data-src=ok.jpg><img src=next.jpg>",
     {"ok.jpg", "next.jpg"}},
    {"declared character sets",
     "<img src=\"caf\xC3\xA9.jpg\"><meta http-equiv=Content-Type content='text/html; "
     "charset=ISO-8859-1'><img src=\"caf\xE9&nbsp;&eacute;.jpg\"><meta charset=koi8-r>"
     "<style>a{b:url(\xE9t\xE9.png)}</style>",
     {"caf\xC3\xA9.jpg", "caf\xC3\xA9\xC2\xA0\xC3\xA9.jpg", "\xC3\xA9t\xC3\xA9.png"}},
    {"another character set", "<meta charset=\"KOI8-R\"><img src=\"\xC1.jpg\">", {"\xD0\xB0.jpg"}},
    {"undeclared bytes not UTF-8",
     "<img src=\"\xE9t\xE9.jpg\"><img src=\"\xC3\xA9.jpg\">",
     {"\xC3\xA9t\xC3\xA9.jpg", "\xC3\xA9.jpg"}},
    {"a tag cut by the end", "<a href=whole.html class=x", {"whole.html"}},
    {"an attribute cut by the end", "<img src=a.jpg data-src=\"half", {"a.jpg"}},
};

TEST(HtmlLinks, ReadsMarkupAsABrowserDoes) {
  for (const auto& c : kPages) EXPECT_EQ(LinksOf(c.page, c.page.size()), c.links) << c.name;
}

// However a page is cut into pieces (a tag, an attribute, a reference or
// an end tag of a style block split between them), its links are those of
// the whole page.
TEST(HtmlLinks, PiecesOfAnySizeGiveTheLinksOfTheWholePage) {
  std::vector<std::string> pages = {kGallery};
  for (const auto& c : kPages) pages.push_back(c.page);
  std::mt19937 random(20240611);
  for (const std::string& page : pages) {
    const Strings whole = LinksOf(page, page.size());
    EXPECT_EQ(LinksOf(page, 1), whole) << page.substr(0, 60);
    for (int round = 0; round < 20; ++round) {
      Collect sink;
      HtmlLinkReader reader(sink);
      std::size_t at = 0;
      while (at < page.size()) {
        const std::size_t piece = std::min<std::size_t>(page.size() - at, 1 + random() % 40);
        reader.Feed(page.data() + at, piece);
        at += piece;
      }
      reader.Finish();
      EXPECT_EQ(sink.links, whole) << page.substr(0, 60) << " round " << round;
    }
  }
}

TEST(HtmlLinks, SrcsetAndCssUrls) {
  const struct {
    const char* srcset;
    Strings urls;
  } srcsets[] = {
      {"a.jpg 1x, b.jpg 2x", {"a.jpg", "b.jpg"}},
      {"a.jpg,b.jpg", {"a.jpg,b.jpg"}},  // no blank: one URL with a comma in it
      {"a.jpg, b.jpg,", {"a.jpg", "b.jpg"}},
      {" img.jpg?s=1,2 1x ,\n x.jpg (fn(1,2)) 2x", {"img.jpg?s=1,2", "x.jpg"}},
      {"", {}},
  };
  for (const auto& c : srcsets) {
    Strings got;
    ForEachSrcsetUrl(c.srcset, [&](std::string_view u) {
      got.emplace_back(u);
      return true;
    });
    EXPECT_EQ(got, c.urls) << c.srcset;
  }

  Strings got;
  auto take = [&](std::string_view u) {
    got.emplace_back(u);
    return true;
  };
  const std::string css = "a{b:url(one.jpg)}c{d:url(  \"two.png\"  )}e{f:url(thr";
  const std::size_t used = ForEachCssUrl(css, false, take);
  EXPECT_EQ(got, (Strings{"one.jpg", "two.png"}));
  EXPECT_EQ(css.substr(used), "url(thr") << "an unfinished url( waits for the next piece";
  ForEachCssUrl(css.substr(used) + "ee.gif)}", true, take);
  EXPECT_EQ(got.back(), "three.gif");
  EXPECT_EQ(ForEachCssUrl("ur", false, take), 0u) << "a piece too short to tell waits too";
}

TEST(HtmlLinks, StopsWhenTheSinkAsksAndAtTheSizeBound) {
  Collect two(2);
  HtmlLinkReader reader(two);
  EXPECT_FALSE(reader.Feed(kGallery.data(), kGallery.size()));
  reader.Finish();
  EXPECT_EQ(two.links, (Strings{"base:/media/", "https://pics.example/Cover.JPG", "css:site.css"}))
      << "a stylesheet's call stops the page as a link's does";

  // A page past the bound: the links before it count, those after it do not.
  const std::string page = "<a href=a.html><p>" + std::string(5000, 'x') + "<a href=b.html>";
  EXPECT_EQ(LinksOf(page, 1000, 2000), Strings{"a.html"});
}

// Hostile pages: a line of text far over the bound, an attribute that never
// closes and a million links are read in bounded time and memory.
TEST(HtmlLinks, HostilePagesEndWithinTheBound) {
  constexpr std::size_t kBound = 1 << 20;
  const std::string text =
      "<a href=before.html><p>" + std::string(3 * kBound, 'x') + "</p><a href=after.html>";
  EXPECT_EQ(LinksOf(text, 64 * 1024, kBound), Strings{"before.html"});

  const std::string open = "<a href=before.html><img src=\"" + std::string(3 * kBound, 'y');
  EXPECT_EQ(LinksOf(open, 64 * 1024, kBound), Strings{"before.html"});

  std::string many;
  many.reserve(15 << 20);
  for (int i = 0; i < 1'000'000; ++i) {
    many += "<a href=";
    many += std::to_string(i);
    many += '>';
  }
  const Strings links = LinksOf(many, 64 * 1024, many.size());
  ASSERT_EQ(links.size(), 1'000'000u);
  EXPECT_EQ(links.back(), "999999");
}

}  // namespace
}  // namespace tvx
