#include "crawler/modern/HtmlLinks.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>

#include "store/Text.h"

namespace tvx {
namespace {

// A style block is read in pieces of about this size; a single url( that
// runs on for longer than kMaxCssHeld is dropped.
constexpr std::size_t kCssPiece = 64 * 1024;
constexpr std::size_t kMaxCssHeld = 256 * 1024;
// No URL is this long; longer texts (an attribute cut off by the end of the
// page, say) are not links.
constexpr std::size_t kMaxLinkText = 16 * 1024;
constexpr std::string_view kEndOfDocument = "</html";

bool IsCssBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string_view TrimCss(std::string_view text) {
  while (!text.empty() && IsCssBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsCssBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::size_t FindUrlOpening(std::string_view css, std::size_t from) {
  for (std::size_t i = from; i + 4 <= css.size(); ++i) {
    if (AsciiLower(css[i]) == 'u' && AsciiLower(css[i + 1]) == 'r' &&
        AsciiLower(css[i + 2]) == 'l' && css[i + 3] == '(')
      return i;
  }
  return std::string_view::npos;
}

bool HasToken(std::string_view list, std::string_view token) {
  std::size_t pos = 0;
  while (pos < list.size()) {
    std::size_t end = list.find_first_of(" \t\n\r\f", pos);
    if (end == std::string_view::npos) end = list.size();
    if (EqualsIgnoreCase(list.substr(pos, end - pos), token)) return true;
    pos = end + 1;
  }
  return false;
}

std::string_view View(const xmlChar* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

void InitialiseLibxml() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

}  // namespace

bool ForEachSrcsetUrl(std::string_view srcset, const std::function<bool(std::string_view)>& take) {
  // Each candidate is a URL (a run without blanks; commas at its end are
  // not part of it) and descriptors up to the next comma outside brackets.
  std::size_t i = 0;
  const std::size_t n = srcset.size();
  while (i < n) {
    while (i < n && (IsCssBlank(srcset[i]) || srcset[i] == ',')) ++i;
    if (i >= n) break;
    std::size_t start = i;
    while (i < n && !IsCssBlank(srcset[i])) ++i;
    std::string_view url = srcset.substr(start, i - start);
    bool descriptors = true;
    if (!url.empty() && url.back() == ',') {
      while (!url.empty() && url.back() == ',') url.remove_suffix(1);
      descriptors = false;
    }
    if (descriptors) {
      int depth = 0;
      while (i < n) {
        char c = srcset[i];
        if (c == '(') ++depth;
        if (c == ')' && depth > 0) --depth;
        if (c == ',' && depth == 0) break;
        ++i;
      }
    }
    if (!url.empty() && !take(url)) return false;
  }
  return true;
}

std::size_t ForEachCssUrl(std::string_view css, bool last,
                          const std::function<bool(std::string_view)>& take) {
  std::size_t pos = 0;
  for (;;) {
    std::size_t at = FindUrlOpening(css, pos);
    if (at == std::string_view::npos) {
      // "url" may be cut at the end of this piece.
      if (last) return css.size();
      return std::max(pos, css.size() < 3 ? 0 : css.size() - 3);
    }
    std::size_t i = at + 4;
    while (i < css.size() && IsCssBlank(css[i])) ++i;
    std::size_t end;
    std::string_view url;
    if (i < css.size() && (css[i] == '"' || css[i] == '\'')) {
      end = css.find(css[i], i + 1);
      if (end != std::string_view::npos) url = css.substr(i + 1, end - i - 1);
    } else {
      end = css.find(')', i);
      if (end != std::string_view::npos) url = TrimCss(css.substr(i, end - i));
    }
    if (end == std::string_view::npos) return last ? css.size() : at;
    pos = end + 1;
    if (!url.empty() && !take(url)) return css.size();
  }
}

struct HtmlLinkReader::Parser {
  HtmlLinkSink& sink;
  htmlParserCtxtPtr context = nullptr;
  bool stopped = false;
  bool baseSeen = false;
  int styleDepth = 0;
  std::string css;

  explicit Parser(HtmlLinkSink& s) : sink(s) {}

  void Stop() {
    if (stopped) return;
    stopped = true;
    if (context) xmlStopParser(context);
  }

  void Link(std::string_view link) {
    if (stopped || link.empty() || link.size() > kMaxLinkText) return;
    if (!sink.OnLink(link)) Stop();
  }

  void Srcset(std::string_view value) {
    ForEachSrcsetUrl(value, [this](std::string_view url) {
      Link(url);
      return !stopped;
    });
  }

  void Css(std::string_view text) {
    ForEachCssUrl(text, true, [this](std::string_view url) {
      Link(url);
      return !stopped;
    });
  }

  void StyleText(std::string_view text, bool last) {
    css.append(text);
    if (!last && css.size() < kCssPiece) return;
    std::size_t used = ForEachCssUrl(css, last, [this](std::string_view url) {
      Link(url);
      return !stopped;
    });
    css.erase(0, used);
    if (css.size() > kMaxCssHeld || last) css.clear();
  }

  void Element(std::string_view name, const xmlChar** atts) {
    if (EqualsIgnoreCase(name, "style")) ++styleDepth;
    if (!atts) return;
    const bool anchor = EqualsIgnoreCase(name, "a") || EqualsIgnoreCase(name, "area");
    const bool img = EqualsIgnoreCase(name, "img");
    const bool source = EqualsIgnoreCase(name, "source");
    const bool frame = EqualsIgnoreCase(name, "frame") || EqualsIgnoreCase(name, "iframe");
    const bool link = EqualsIgnoreCase(name, "link");
    const bool meta = EqualsIgnoreCase(name, "meta");
    const bool base = EqualsIgnoreCase(name, "base");
    const bool input = EqualsIgnoreCase(name, "input");
    const bool object = EqualsIgnoreCase(name, "object");
    const bool image = EqualsIgnoreCase(name, "image");  // SVG's

    std::string_view rel, property, content, href, src, type, data;
    for (const xmlChar** a = atts; a[0] && !stopped; a += 2) {
      const std::string_view attr = View(a[0]);
      const std::string_view value = View(a[1]);
      if (EqualsIgnoreCase(attr, "style")) {
        Css(value);
      } else if (EqualsIgnoreCase(attr, "data-src") || EqualsIgnoreCase(attr, "data-original") ||
                 EqualsIgnoreCase(attr, "data-lazy-src")) {
        Link(value);
      } else if (EqualsIgnoreCase(attr, "data-srcset") ||
                 EqualsIgnoreCase(attr, "data-lazy-srcset")) {
        Srcset(value);
      } else if (EqualsIgnoreCase(attr, "href")) {
        if (anchor || image) Link(value);
        href = value;
      } else if (EqualsIgnoreCase(attr, "src")) {
        if (img || source || frame) Link(value);
        src = value;
      } else if (EqualsIgnoreCase(attr, "srcset")) {
        if (img || source) Srcset(value);
      } else if (EqualsIgnoreCase(attr, "rel")) {
        rel = value;
      } else if (EqualsIgnoreCase(attr, "property") || EqualsIgnoreCase(attr, "name")) {
        if (property.empty()) property = value;
      } else if (EqualsIgnoreCase(attr, "content")) {
        content = value;
      } else if (EqualsIgnoreCase(attr, "type")) {
        type = value;
      } else if (EqualsIgnoreCase(attr, "data")) {
        data = value;
      }
    }
    if (stopped) return;
    if (input && EqualsIgnoreCase(TrimCss(type), "image")) Link(src);
    // An object of another declared type (a plugin's, a page's) shows no picture.
    if (object && (type.empty() || EqualsIgnoreCase(TrimCss(type).substr(0, 6), "image/")))
      Link(data);
    if (link &&
        (HasToken(rel, "image_src") || HasToken(rel, "icon") || HasToken(rel, "apple-touch-icon") ||
         HasToken(rel, "apple-touch-icon-precomposed") || HasToken(rel, "mask-icon")))
      Link(href);
    if (link && HasToken(rel, "stylesheet") && !href.empty() && href.size() <= kMaxLinkText &&
        !stopped && !sink.OnStylesheet(href))
      Stop();
    if (meta &&
        (EqualsIgnoreCase(property, "og:image") || EqualsIgnoreCase(property, "og:image:url") ||
         EqualsIgnoreCase(property, "og:image:secure_url")))
      Link(content);
    if (base && !baseSeen && !href.empty()) {
      baseSeen = true;
      sink.OnBase(href);
    }
  }

  void ElementEnd(std::string_view name) {
    if (!EqualsIgnoreCase(name, "style") || styleDepth == 0) return;
    --styleDepth;
    if (styleDepth == 0) StyleText({}, true);
  }

  void Text(const xmlChar* text, int size) {
    if (styleDepth == 0 || stopped || size <= 0) return;
    StyleText(std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size)),
              false);
  }

  static Parser& Of(void* self) { return *static_cast<Parser*>(self); }
  static void OnStart(void* self, const xmlChar* name, const xmlChar** atts) {
    Of(self).Element(View(name), atts);
  }
  static void OnEnd(void* self, const xmlChar* name) { Of(self).ElementEnd(View(name)); }
  static void OnText(void* self, const xmlChar* text, int size) { Of(self).Text(text, size); }
};

HtmlLinkReader::HtmlLinkReader(HtmlLinkSink& sink, std::size_t maxBytes)
    : maxBytes_(maxBytes), parser_(std::make_unique<Parser>(sink)) {
  InitialiseLibxml();
  htmlSAXHandler events{};
  events.startElement = &Parser::OnStart;
  events.endElement = &Parser::OnEnd;
  events.characters = &Parser::OnText;
  events.cdataBlock = &Parser::OnText;
  // UTF-8 unless the page says otherwise (a meta charset switches it).
  parser_->context =
      htmlCreatePushParserCtxt(&events, parser_.get(), nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
  if (!parser_->context) {
    parser_->stopped = true;
    return;
  }
  htmlCtxtUseOptions(parser_->context, HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                           HTML_PARSE_NONET | HTML_PARSE_NOBLANKS |
                                           HTML_PARSE_COMPACT);
}

HtmlLinkReader::~HtmlLinkReader() {
  if (parser_->context) htmlFreeParserCtxt(parser_->context);
}

bool HtmlLinkReader::Feed(const char* data, std::size_t size) {
  if (parser_->stopped || finished_) return false;
  if (fed_ + size > maxBytes_) {
    size = maxBytes_ - fed_;
    cut_ = true;
  }
  fed_ += size;
  // The parser ignores everything after the end tag of the document, where
  // a browser goes on reading (pages often carry more after it). The tag is
  // turned into a bogus declaration, which the parser skips as text; a tag
  // cut by the end of this piece waits for the next one.
  std::string text = std::move(held_);
  held_.clear();
  text.append(data, size);
  std::size_t ready = text.size();
  for (std::size_t i = text.find('<'); i != std::string::npos; i = text.find('<', i + 1)) {
    if (i + 7 > text.size()) {
      if (!cut_ &&
          EqualsIgnoreCase(kEndOfDocument.substr(0, std::min<std::size_t>(6, text.size() - i)),
                           std::string_view(text).substr(i, 6))) {
        ready = i;
        break;
      }
      continue;
    }
    const char after = text[i + 6];
    if (EqualsIgnoreCase(std::string_view(text).substr(i, 6), kEndOfDocument) &&
        (after == '>' || after == '/' || IsCssBlank(after)))
      text[i + 1] = '!';
  }
  held_ = text.substr(ready);
  Parse(text.data(), ready);
  if (cut_) Finish();
  return !parser_->stopped && !finished_;
}

void HtmlLinkReader::Parse(const char* data, std::size_t size) {
  while (size > 0 && !parser_->stopped) {
    const int piece = static_cast<int>(std::min<std::size_t>(size, INT_MAX / 2));
    htmlParseChunk(parser_->context, data, piece, 0);
    data += piece;
    size -= static_cast<std::size_t>(piece);
  }
}

void HtmlLinkReader::Finish() {
  if (finished_) return;
  finished_ = true;
  Parse(held_.data(), held_.size());
  held_.clear();
  if (!parser_->stopped) htmlParseChunk(parser_->context, nullptr, 0, 1);
  if (!parser_->stopped && parser_->styleDepth > 0) parser_->StyleText({}, true);
}

}  // namespace tvx
