#include "crawler/modern/HtmlLinks.h"

#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "crawler/modern/HtmlTokenizer.h"
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

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool IsUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();
  while (p < end) {
    const unsigned char c = *p++;
    if (c < 0x80) continue;
    int more;
    std::uint32_t code;
    if (c >= 0xC2 && c <= 0xDF) {
      more = 1;
      code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      more = 2;
      code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      more = 3;
      code = c & 0x07;
    } else {
      return false;
    }
    if (end - p < more) return false;
    for (int i = 0; i < more; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      code = (code << 6) | (p[i] & 0x3F);
    }
    p += more;
    if ((more == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
        (more == 3 && (code < 0x10000 || code > 0x10FFFF)))
      return false;
  }
  return true;
}

// The character set a page declares, as iconv names it; empty for UTF-8
// (and the UTF-16 and 32 labels, which a page read as bytes cannot be).
std::string CharsetName(std::string_view label) {
  label = TrimBlanks(label);
  while (!label.empty() && (label.front() == '"' || label.front() == '\'')) label.remove_prefix(1);
  while (!label.empty() && (label.back() == '"' || label.back() == '\'')) label.remove_suffix(1);
  std::string name = LowerCopy(label);
  if (name == "utf-8" || name == "utf8" || name == "unicode-1-1-utf-8" ||
      name.rfind("utf-16", 0) == 0 || name.rfind("utf-32", 0) == 0 || name == "unicode")
    return {};
  // As browsers do, Latin-1 and ASCII are read as Windows-1252, of which
  // they are a part.
  if (name == "iso-8859-1" || name == "iso8859-1" || name == "latin1" || name == "l1" ||
      name == "us-ascii" || name == "ascii" || name == "cp1252")
    return "WINDOWS-1252";
  return name;
}

}  // namespace

bool IsCssBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string_view TrimCss(std::string_view text) {
  while (!text.empty() && IsCssBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsCssBlank(text.back())) text.remove_suffix(1);
  return text;
}

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

struct HtmlLinkReader::Parser final : HtmlTokenSink {
  HtmlLinkSink& sink;
  HtmlTokenizer tokenizer{*this};
  bool stopped = false;
  bool baseSeen = false;
  int styleDepth = 0;
  std::string css;
  // A page in another character set than UTF-8: its links with other than
  // ASCII in them are turned into UTF-8.
  std::string charset;  // declared by the page; empty: UTF-8
  bool charsetSeen = false;
  std::string converterFor;
  iconv_t converter = reinterpret_cast<iconv_t>(-1);
  std::string cssUtf8;

  explicit Parser(HtmlLinkSink& s) : sink(s) {}
  ~Parser() override {
    if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
  }

  void Stop() { stopped = true; }

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
      Link(ToUtf8(url, cssUtf8) ? std::string_view(cssUtf8) : url);
      return !stopped;
    });
    css.erase(0, used);
    if (css.size() > kMaxCssHeld || last) css.clear();
  }

  void Element(std::string_view name, std::span<const HtmlAttribute> atts) {
    if (EqualsIgnoreCase(name, "style")) ++styleDepth;
    if (atts.empty()) return;
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
    for (auto a = atts.begin(); a != atts.end() && !stopped; ++a) {
      const std::string_view attr = a->name;
      const std::string_view value = a->value;
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

  void Text(std::string_view text) {
    if (styleDepth == 0 || stopped || text.empty()) return;
    StyleText(text, false);
  }

  // The first <meta charset> or <meta http-equiv=content-type> says how
  // the rest of the page is written.
  void Charset(std::span<const HtmlAttribute> atts) {
    std::string_view equiv, content;
    for (const HtmlAttribute& a : atts) {
      if (a.name == "charset") {
        charsetSeen = true;
        charset = CharsetName(a.value);
        return;
      }
      if (a.name == "http-equiv") equiv = a.value;
      if (a.name == "content") content = a.value;
    }
    if (!EqualsIgnoreCase(TrimBlanks(equiv), "content-type")) return;
    const std::string lower = LowerCopy(content);
    const std::size_t at = lower.find("charset=");
    if (at == std::string::npos) return;
    std::string_view label = std::string_view(content).substr(at + 8);
    label = label.substr(0, label.find_first_of(";, \t"));
    charsetSeen = true;
    charset = CharsetName(label);
  }

  // text in UTF-8 into out, when it is not already: from the declared
  // character set, or, none declared and text not UTF-8, from Windows-1252
  // (as a browser guesses). false: text is right as it is, or cannot be
  // turned.
  bool ToUtf8(std::string_view text, std::string& out) override {
    if (IsAscii(text)) return false;
    std::string from = charset;
    if (from.empty()) {
      if (IsUtf8(text)) return false;
      from = "WINDOWS-1252";
    }
    if (from != converterFor) {
      if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
      converter = iconv_open("UTF-8", from.c_str());
      converterFor = from;
    }
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    out.resize(text.size() * 4 + 8);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* next = out.data();
    std::size_t outLeft = out.size();
    if (iconv(converter, &in, &inLeft, &next, &outLeft) == static_cast<std::size_t>(-1) ||
        iconv(converter, nullptr, nullptr, &next, &outLeft) == static_cast<std::size_t>(-1))
      return false;
    out.resize(out.size() - outLeft);
    return true;
  }

  // The attributes Element and Charset look at.
  bool WantsAttribute(std::string_view name) override {
    static constexpr std::string_view kWanted[] = {
        "style",   "data-src", "data-original", "data-lazy-src", "data-srcset", "data-lazy-srcset",
        "href",    "src",      "srcset",        "rel",           "property",    "name",
        "content", "type",     "data",          "charset",       "http-equiv"};
    for (std::string_view wanted : kWanted)
      if (name == wanted) return true;
    return false;
  }

  bool OnStartTag(std::string_view name, std::span<const HtmlAttribute> atts) override {
    if (name == "meta" && !charsetSeen) Charset(atts);
    Element(name, atts);
    return !stopped;
  }
  bool OnEndTag(std::string_view name) override {
    ElementEnd(name);
    return !stopped;
  }
  bool OnRawText(std::string_view text) override {
    Text(text);
    return !stopped;
  }
};

HtmlLinkReader::HtmlLinkReader(HtmlLinkSink& sink, std::size_t maxBytes)
    : maxBytes_(maxBytes), parser_(std::make_unique<Parser>(sink)) {}

HtmlLinkReader::~HtmlLinkReader() = default;

bool HtmlLinkReader::Feed(const char* data, std::size_t size) {
  if (parser_->stopped || finished_) return false;
  if (fed_ + size > maxBytes_) {
    size = maxBytes_ - fed_;
    cut_ = true;
  }
  fed_ += size;
  parser_->tokenizer.Feed(data, size);
  if (cut_) Finish();
  return !parser_->stopped && !finished_;
}

void HtmlLinkReader::Finish() {
  if (finished_) return;
  finished_ = true;
  if (!parser_->stopped) parser_->tokenizer.Finish();
  if (!parser_->stopped && parser_->styleDepth > 0) parser_->StyleText({}, true);
}

}  // namespace tvx
