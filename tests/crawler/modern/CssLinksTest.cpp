#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crawler/modern/CssLinks.h"

namespace tvx {
namespace {

using Strings = std::vector<std::string>;

class Collect : public CssLinkSink {
 public:
  explicit Collect(std::size_t stopAfter = SIZE_MAX) : stopAfter_(stopAfter) {}
  bool OnCssUrl(std::string_view url) override {
    urls.emplace_back(url);
    return ++count_ < stopAfter_;
  }
  bool OnCssImport(std::string_view url) override {
    imports.emplace_back(url);
    return ++count_ < stopAfter_;
  }
  Strings urls;
  Strings imports;

 private:
  std::size_t stopAfter_;
  std::size_t count_ = 0;
};

Collect Read(const std::string& css, std::size_t piece, std::size_t maxBytes = kMaxPageBytes,
             std::size_t stopAfter = SIZE_MAX) {
  Collect sink(stopAfter);
  CssLinkReader reader(sink, maxBytes);
  for (std::size_t i = 0; i < css.size(); i += piece)
    if (!reader.Feed(css.data() + i, std::min(piece, css.size() - i))) break;
  reader.Finish();
  return sink;
}

// Every way of writing an import and a url(), read whole and cut anywhere.
TEST(CssLinks, FindsImportsAndUrlsInAnyPieces) {
  const std::string css =
      "@charset \"utf-8\";@import url(\"basic.css\");@IMPORT 'print.css' print;\n"
      "@import\turl( theme.css );@import \"x.css\" layer(x);@importer \"no.css\";"
      "@import none;@import url(last.css)\n"
      ".a{background:url(file.png) no-repeat}.b::after{content:url('../_static/caret.svg')}"
      "@font-face{src:URL(f.woff2) format('woff2')}.c{background:url(  \"sp ace.gif\"  )}"
      "/* the end */.d{x:url(end.jpg)}";
  const Strings urls = {"basic.css", "theme.css",  "last.css", "file.png", "../_static/caret.svg",
                        "f.woff2",   "sp ace.gif", "end.jpg"};
  const Strings imports = {"basic.css", "print.css", "theme.css", "x.css", "last.css"};
  for (std::size_t piece : {css.size(), std::size_t{64}, std::size_t{7}, std::size_t{1}}) {
    const Collect got = Read(css, piece);
    EXPECT_EQ(got.urls, urls) << "pieces of " << piece;
    EXPECT_EQ(got.imports, imports) << "pieces of " << piece;
  }
}

// The sink stops the reading; a stylesheet past the bound is read up to it;
// a url( that never ends does not keep the reader from what comes after it.
TEST(CssLinks, StopsWhenAskedAndKeepsItsBounds) {
  const Collect two = Read("@import 'a.css';x{y:url(b.png)}z{w:url(c.png)}", 5, kMaxPageBytes, 2);
  EXPECT_EQ(two.imports, Strings{"a.css"});
  EXPECT_EQ(two.urls, Strings{"b.png"});

  const std::string longer =
      "a{b:url(before.png)}" + std::string(5000, ' ') + "c{d:url(after.png)}";
  EXPECT_EQ(Read(longer, 1000, 2000).urls, Strings{"before.png"});

  const std::string open =
      "a{b:url(first.png)}c{d:url(" + std::string(3 << 20, 'y') + "\ne{f:url(next.png)}";
  const Collect got = Read(open, 64 * 1024);
  ASSERT_FALSE(got.urls.empty());
  EXPECT_EQ(got.urls.front(), "first.png");
  EXPECT_EQ(got.urls.back(), "next.png");
}

}  // namespace
}  // namespace tvx
