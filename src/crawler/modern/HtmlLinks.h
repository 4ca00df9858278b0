#pragma once
// The links of an HTML page for the modern link search, read as the page
// arrives, piece by piece, by a streaming tokenizer (HtmlTokenizer: no
// document is built, and what is held between pieces is bounded). Taken: a and
// area href; img and source src and srcset (every candidate); the lazy
// attributes data-src, data-srcset, data-original, data-lazy-src and
// data-lazy-srcset on any element; frame and iframe src; input type=image
// src; object data (without a type, or of an image type); image href (SVG);
// link href of rel image_src, icon (also "shortcut icon"),
// apple-touch-icon, apple-touch-icon-precomposed and mask-icon; meta
// og:image; url(...) in style attributes and style blocks; the page's
// <base href>; and, on their own call, the stylesheets it links.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tvx {

// No more of a page is read than this; the rest of a longer page is left.
inline constexpr std::size_t kMaxPageBytes = 8 * 1024 * 1024;

class HtmlLinkSink {
 public:
  virtual ~HtmlLinkSink() = default;
  // A link as the page writes it (entities decoded, not yet resolved); a
  // text too long to be a URL is not passed on. false: read no further.
  virtual bool OnLink(std::string_view link) = 0;
  // The page's first <base href>; the links after it resolve against it.
  virtual void OnBase(std::string_view href) = 0;
  // The href of a <link rel=stylesheet>, as OnLink gives links; a sink that
  // reads no stylesheets leaves them. false: read no further.
  virtual bool OnStylesheet(std::string_view /*href*/) { return true; }
};

class HtmlLinkReader {
 public:
  explicit HtmlLinkReader(HtmlLinkSink& sink, std::size_t maxBytes = kMaxPageBytes);
  ~HtmlLinkReader();
  HtmlLinkReader(const HtmlLinkReader&) = delete;
  HtmlLinkReader& operator=(const HtmlLinkReader&) = delete;

  // Reads the next piece of the page. false once reading has ended: the sink
  // asked for it, or the page passed maxBytes (what came before counts).
  bool Feed(const char* data, std::size_t size);
  // The page has ended: what the parser still holds is read.
  void Finish();

  // The page was longer than maxBytes.
  bool Cut() const { return cut_; }

  struct Parser;  // the tokenizer's events turned into links

 private:
  std::size_t maxBytes_;
  std::size_t fed_ = 0;
  bool cut_ = false;
  bool finished_ = false;
  std::unique_ptr<Parser> parser_;
};

// The blanks of CSS (and of srcset): space, tab, line feed, carriage return,
// form feed.
bool IsCssBlank(char c);
// text without the blanks of CSS around it.
std::string_view TrimCss(std::string_view text);

// Calls take for each URL of a srcset value, in order, until take answers
// false; answers whether it went through.
bool ForEachSrcsetUrl(std::string_view srcset, const std::function<bool(std::string_view)>& take);

// Calls take for each complete url(...) of a piece of CSS, until take
// answers false. Gives how much of css it is done with: with more to come,
// an unfinished url( at the end is left for the next call; with last set
// everything is used.
std::size_t ForEachCssUrl(std::string_view css, bool last,
                          const std::function<bool(std::string_view)>& take);

}  // namespace tvx
