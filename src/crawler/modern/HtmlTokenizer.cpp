#include "crawler/modern/HtmlTokenizer.h"

#include <libxml/HTMLparser.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include "store/Text.h"

namespace tvx {

enum class HtmlTokenizer::State : std::uint8_t {
  Data,
  TagOpen,
  EndTagOpen,
  TagName,
  BeforeAttributeName,
  AttributeName,
  AfterAttributeName,
  BeforeAttributeValue,
  ValueDouble,
  ValueSingle,
  ValueUnquoted,
  AfterValue,
  SelfClosing,
  Reference,         // after "&" in a value
  NamedReference,    // "&name"
  NumericStart,      // "&#" or "&#x"
  NumericReference,  // "&#12", "&#x1f"
  MarkupOpen,        // after "<!"
  CommentStart,
  CommentStartDash,
  Comment,
  CommentEndDash,
  CommentEnd,
  CommentEndBang,
  Bogus,  // up to the next ">": doctypes, "<?...>", "</ ...>" and other oddities
  Cdata,
  RawText,
  RawLess,     // "<" in raw text
  RawEndName,  // "</" and part of the element's name in raw text
  Plaintext,
};

namespace {

using State = HtmlTokenizer::State;

// No named character reference is this long.
constexpr std::size_t kMaxReferenceName = 32;
constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\f'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) { return IsAlpha(c) || IsDigit(c); }
bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
std::uint32_t DigitValue(char c) {
  if (IsDigit(c)) return static_cast<std::uint32_t>(c - '0');
  return static_cast<std::uint32_t>(AsciiLower(c) - 'a' + 10);
}

// What ends a run of a tag's name, an attribute's name, an unquoted value.
enum : std::uint8_t { kEndsTagName = 1, kEndsAttributeName = 2, kEndsUnquoted = 4 };
constexpr std::array<std::uint8_t, 256> kEnds = [] {
  std::array<std::uint8_t, 256> ends{};
  for (unsigned char c : {' ', '\n', '\t', '\r', '\f'})
    ends[c] = kEndsTagName | kEndsAttributeName | kEndsUnquoted;
  ends['/'] |= kEndsTagName | kEndsAttributeName;
  ends['>'] |= kEndsTagName | kEndsAttributeName | kEndsUnquoted;
  ends['='] |= kEndsAttributeName;
  ends['&'] |= kEndsUnquoted;
  ends[0] |= kEndsUnquoted;
  return ends;
}();

const char* RunOf(const char* p, const char* end, std::uint8_t ends) {
  while (p < end && !(kEnds[static_cast<unsigned char>(*p)] & ends)) ++p;
  return p;
}

// The end of a run of a quoted value (before quote, "&", NUL or end);
// high tells whether bytes over 0x7F are in it.
const char* QuotedRunOf(const char* p, const char* end, char quote, bool& high) {
  unsigned char bits = 0;
#if defined(__SSE2__)
  const __m128i q = _mm_set1_epi8(quote), amp = _mm_set1_epi8('&'), zero = _mm_setzero_si128();
  while (end - p >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i stop =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, q), _mm_cmpeq_epi8(bytes, amp)),
                     _mm_cmpeq_epi8(bytes, zero));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(stop));
    const unsigned over = static_cast<unsigned>(_mm_movemask_epi8(bytes));
    if (mask != 0) {
      const int at = __builtin_ctz(mask);
      high = high || (over & ((1u << at) - 1)) != 0;
      return p + at;
    }
    high = high || over != 0;
    p += 16;
  }
#endif
  while (p < end && *p != quote && *p != '&' && *p != '\0')
    bits |= static_cast<unsigned char>(*p++);
  high = high || bits >= 0x80;
  return p;
}

// The elements whose content is text up to their end tag.
bool IsRawTextElement(std::string_view name) {
  static constexpr std::array<std::string_view, 8> kNames = {
      "script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes"};
  return std::find(kNames.begin(), kNames.end(), name) != kNames.end();
}

// What "&#128;" to "&#159;" mean: the characters of Windows-1252 there.
std::uint32_t Windows1252(std::uint32_t code) {
  static constexpr std::uint16_t kHigh[32] = {
      0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
  return code >= 0x80 && code <= 0x9F ? kHigh[code - 0x80] : code;
}

}  // namespace

// Goes on to the next state at once, without going round the switch: most
// of a page is tags, and most of their states follow each other.
#define TVX_GO(next)           \
  do {                         \
    state_ = State::next;      \
    if (p == end) return true; \
    goto next##_;              \
  } while (false)

bool HtmlTokenizer::Feed(const char* data, std::size_t size) {
  const char* p = data;
  const char* const end = data + size;
  while (p < end && !stopped_) {
    switch (state_) {
      case State::Data:
      Data_ : {
        const void* open = std::memchr(p, '<', static_cast<std::size_t>(end - p));
        if (!open) return true;
        p = static_cast<const char*>(open) + 1;
        TVX_GO(TagOpen);
      }
      case State::TagOpen:
      TagOpen_ : {
        const char c = *p;
        if (IsAlpha(c)) {
          BeginTag(false);
          TVX_GO(TagName);
        } else if (c == '!') {
          ++p;
          pending_.clear();
          state_ = State::MarkupOpen;
        } else if (c == '/') {
          ++p;
          state_ = State::EndTagOpen;
        } else if (c == '?') {
          ++p;
          state_ = State::Bogus;
        } else {
          state_ = State::Data;  // a "<" of text
        }
        break;
      }
      case State::EndTagOpen: {
        const char c = *p;
        if (IsAlpha(c)) {
          BeginTag(true);
          TVX_GO(TagName);
        }
        ++p;
        state_ = c == '>' ? State::Data : State::Bogus;
        break;
      }
      case State::TagName:
      TagName_ : {
        const char* run = RunOf(p, end, kEndsTagName);
        const std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(run - p), kMaxName - name_.size());
        std::transform(p, p + n, std::back_inserter(name_), AsciiLower);
        p = run;
        if (p == end) return true;
        const char c = *p++;
        if (c == '>') {
          EmitTag();
          goto AfterTag;
        }
        if (c == '/') TVX_GO(SelfClosing);
        TVX_GO(BeforeAttributeName);
      }
      case State::BeforeAttributeName:
      BeforeAttributeName_ : {
        while (p < end && IsSpace(*p)) ++p;
        if (p == end) return true;
        const char c = *p;
        if (c == '/') {
          ++p;
          TVX_GO(SelfClosing);
        }
        if (c == '>') {
          ++p;
          EmitTag();
          goto AfterTag;
        }
        BeginAttribute();
        if (c == '=') {  // a name that starts with "="
          ++p;
          AppendName(p - 1, p);
        }
        TVX_GO(AttributeName);
      }
      case State::AttributeName:
      AttributeName_ : {
        const char* run = RunOf(p, end, kEndsAttributeName);
        AppendName(p, run);
        p = run;
        if (p == end) return true;
        if (*p == '=') {
          ++p;
          TVX_GO(BeforeAttributeValue);
        }
        TVX_GO(AfterAttributeName);
      }
      case State::AfterAttributeName:
      AfterAttributeName_ : {
        while (p < end && IsSpace(*p)) ++p;
        if (p == end) return true;
        const char c = *p;
        if (c == '/') {
          ++p;
          TVX_GO(SelfClosing);
        }
        if (c == '=') {
          ++p;
          TVX_GO(BeforeAttributeValue);
        }
        if (c == '>') {
          ++p;
          EmitTag();
          goto AfterTag;
        }
        BeginAttribute();
        TVX_GO(AttributeName);
      }
      case State::BeforeAttributeValue:
      BeforeAttributeValue_ : {
        while (p < end && IsSpace(*p)) ++p;
        if (p == end) return true;
        const char c = *p;
        current_.valueAt = runAt_ = static_cast<std::uint32_t>(text_.size());
        runHigh_ = false;
        if (c == '"') {
          ++p;
          TVX_GO(ValueDouble);
        }
        if (c == '\'') {
          ++p;
          TVX_GO(ValueSingle);
        }
        if (c == '>') {
          ++p;
          EmitTag();
          goto AfterTag;
        }
        TVX_GO(ValueUnquoted);
      }
      case State::ValueDouble:
      case State::ValueSingle:
      ValueDouble_:
      ValueSingle_ : {
        const char quote = state_ == State::ValueDouble ? '"' : '\'';
        bool high = false;
        const char* run = QuotedRunOf(p, end, quote, high);
        AppendRaw(p, static_cast<std::size_t>(run - p), high);
        p = run;
        if (p == end) return true;
        const char c = *p++;
        if (c == quote) TVX_GO(AfterValue);
        if (c == '&') {
          valueState_ = state_;
          state_ = State::Reference;
        } else {
          AppendValue(kReplacement, 3);
        }
        break;
      }
      case State::ValueUnquoted:
      ValueUnquoted_ : {
        const char* run = p;
        unsigned char high = 0;
        while (run < end && !(kEnds[static_cast<unsigned char>(*run)] & kEndsUnquoted))
          high |= static_cast<unsigned char>(*run++);
        AppendRaw(p, static_cast<std::size_t>(run - p), high >= 0x80);
        p = run;
        if (p == end) return true;
        const char c = *p++;
        if (IsSpace(c)) TVX_GO(BeforeAttributeName);
        if (c == '>') {
          EmitTag();
          goto AfterTag;
        }
        if (c == '&') {
          valueState_ = state_;
          state_ = State::Reference;
        } else {
          AppendValue(kReplacement, 3);
        }
        break;
      }
      case State::AfterValue:
      case State::SelfClosing:
      AfterValue_:
      SelfClosing_ : {
        const char c = *p;
        if (c == '>') {
          ++p;
          EmitTag();
          goto AfterTag;
        }
        if (c == '/' && state_ == State::AfterValue) {
          ++p;
          TVX_GO(SelfClosing);
        }
        if (IsSpace(c)) ++p;
        TVX_GO(BeforeAttributeName);
      }
      AfterTag:
        if (stopped_) return false;
        if (state_ == State::Data && p < end) goto Data_;
        break;
      case State::Reference: {
        const char c = *p;
        if (c == '#') {
          ++p;
          pending_.assign("&#", 2);
          number_ = 0;
          hex_ = false;
          state_ = State::NumericStart;
        } else if (IsAlnum(c)) {
          pending_.clear();
          state_ = State::NamedReference;
        } else {
          AppendValue("&", 1);
          state_ = valueState_;
        }
        break;
      }
      case State::NamedReference: {
        while (p < end && IsAlnum(*p) && pending_.size() < kMaxReferenceName) pending_ += *p++;
        if (p == end) break;
        if (EndNamedReference(*p)) ++p;
        state_ = valueState_;
        break;
      }
      case State::NumericStart: {
        const char c = *p;
        if ((c == 'x' || c == 'X') && !hex_) {
          ++p;
          pending_ += c;
          hex_ = true;
        } else if (hex_ ? IsHex(c) : IsDigit(c)) {
          state_ = State::NumericReference;
        } else {
          AppendValue(pending_.data(), pending_.size());  // "&#" or "&#x" stays as it is
          state_ = valueState_;
        }
        break;
      }
      case State::NumericReference: {
        const std::uint32_t base = hex_ ? 16 : 10;
        while (p < end && (hex_ ? IsHex(*p) : IsDigit(*p)))
          number_ = std::min<std::uint32_t>(number_ * base + DigitValue(*p++), 0x110000);
        if (p == end) break;
        if (*p == ';') ++p;
        std::uint32_t code = Windows1252(number_);
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
        AppendCodePoint(code);
        state_ = valueState_;
        break;
      }
      case State::MarkupOpen: {
        const char c = *p++;
        pending_ += c;
        const std::size_t n = pending_.size();
        constexpr std::string_view kComment = "--", kDoctype = "doctype", kCdata = "[CDATA[";
        if (n <= kComment.size() && pending_ == kComment.substr(0, n)) {
          if (n == kComment.size()) state_ = State::CommentStart;
        } else if (n <= kDoctype.size() && EqualsIgnoreCase(pending_, kDoctype.substr(0, n))) {
          if (n == kDoctype.size()) state_ = State::Bogus;
        } else if (n <= kCdata.size() && pending_ == kCdata.substr(0, n)) {
          if (n == kCdata.size()) {
            brackets_ = 0;
            state_ = State::Cdata;
          }
        } else {
          state_ = c == '>' ? State::Data : State::Bogus;
        }
        break;
      }
      case State::CommentStart:
      case State::CommentStartDash: {
        const char c = *p;
        if (c == '>') {
          ++p;
          state_ = State::Data;  // "<!-->" and "<!--->"
        } else if (c == '-') {
          ++p;
          state_ = state_ == State::CommentStart ? State::CommentStartDash : State::CommentEnd;
        } else {
          state_ = State::Comment;
        }
        break;
      }
      case State::Comment: {
        const void* dash = std::memchr(p, '-', static_cast<std::size_t>(end - p));
        if (!dash) return true;
        p = static_cast<const char*>(dash) + 1;
        state_ = State::CommentEndDash;
        break;
      }
      case State::CommentEndDash:
        if (*p == '-') {
          ++p;
          state_ = State::CommentEnd;
        } else {
          state_ = State::Comment;
        }
        break;
      case State::CommentEnd:
      case State::CommentEndBang: {
        const char c = *p;
        if (c == '>') {
          ++p;
          state_ = State::Data;
        } else if (c == '-') {
          ++p;
          state_ = state_ == State::CommentEnd ? State::CommentEnd : State::CommentEndDash;
        } else if (c == '!' && state_ == State::CommentEnd) {
          ++p;
          state_ = State::CommentEndBang;  // "--!>" ends a comment too
        } else {
          state_ = State::Comment;
        }
        break;
      }
      case State::Bogus: {
        const void* close = std::memchr(p, '>', static_cast<std::size_t>(end - p));
        if (!close) return true;
        p = static_cast<const char*>(close) + 1;
        state_ = State::Data;
        break;
      }
      case State::Cdata:
        while (p < end && state_ == State::Cdata) {
          const char c = *p++;
          if (c == '>' && brackets_ >= 2) state_ = State::Data;
          brackets_ = c == ']' ? brackets_ + 1 : 0;
        }
        break;
      case State::RawText: {
        const void* open = std::memchr(p, '<', static_cast<std::size_t>(end - p));
        const char* text = p;
        p = open ? static_cast<const char*>(open) : end;
        if (p > text &&
            !sink_.OnRawText(std::string_view(text, static_cast<std::size_t>(p - text))))
          stopped_ = true;
        if (open) {
          ++p;
          pending_.assign(1, '<');
          state_ = State::RawLess;
        }
        break;
      }
      case State::RawLess:
        if (*p == '/') {
          ++p;
          pending_ += '/';
          state_ = State::RawEndName;
        } else {
          FlushRaw();
          state_ = State::RawText;
        }
        break;
      case State::RawEndName: {
        const std::size_t matched = pending_.size() - 2;
        const char c = *p;
        if (matched < rawName_.size() && AsciiLower(c) == rawName_[matched]) {
          ++p;
          pending_ += c;
        } else if (matched == rawName_.size() && (IsSpace(c) || c == '/' || c == '>')) {
          pending_.clear();
          BeginTag(true);
          name_ = rawName_;
          state_ = State::TagName;
        } else {
          FlushRaw();
          state_ = State::RawText;
        }
        break;
      }
      case State::Plaintext:
        if (!sink_.OnRawText(std::string_view(p, static_cast<std::size_t>(end - p))))
          stopped_ = true;
        p = end;
        break;
    }
  }
  return !stopped_;
}

#undef TVX_GO

void HtmlTokenizer::Finish() {
  if (stopped_) return;
  switch (state_) {
    case State::RawLess:
    case State::RawEndName:
      FlushRaw();
      break;
    case State::TagName:
    case State::BeforeAttributeName:
    case State::AfterValue:
    case State::SelfClosing:
      EmitTag();  // its attributes are whole
      break;
    case State::AttributeName:
    case State::AfterAttributeName:
    case State::BeforeAttributeValue:
    case State::ValueDouble:
    case State::ValueSingle:
    case State::ValueUnquoted:
    case State::Reference:
    case State::NamedReference:
    case State::NumericStart:
    case State::NumericReference:
      // The last attribute may be cut short (a link of half its length is
      // no link): the tag goes without it.
      if (attributeOpen_ && keep_) text_.resize(current_.nameAt);
      attributeOpen_ = false;
      EmitTag();
      break;
    default:
      break;
  }
  state_ = State::Data;
}

void HtmlTokenizer::BeginTag(bool end) {
  endTag_ = end;
  attributeOpen_ = false;
  name_.clear();
  text_.clear();
  held_.clear();
}

void HtmlTokenizer::BeginAttribute() {
  EndAttribute();
  attributeOpen_ = true;
  keep_ = !endTag_ && held_.size() < kMaxAttributes && text_.size() < kMaxTagBytes;
  named_ = false;
  valueLong_ = false;
  const auto at = static_cast<std::uint32_t>(text_.size());
  current_ = Held{at, 0, at, 0};
}

// The attribute's name is whole (its value begins, or it has none): one the
// sink does not want goes, and its value is not kept.
void HtmlTokenizer::CheckName() {
  named_ = true;
  if (keep_ &&
      !sink_.WantsAttribute(std::string_view(text_.data() + current_.nameAt, current_.nameSize))) {
    text_.resize(current_.nameAt);
    keep_ = false;
  }
}

void HtmlTokenizer::AppendName(const char* from, const char* to) {
  if (!keep_) return;
  const std::size_t n =
      std::min<std::size_t>(static_cast<std::size_t>(to - from), kMaxName - current_.nameSize);
  const std::size_t at = text_.size();
  text_.resize(at + n);
  std::transform(from, from + n, text_.begin() + static_cast<std::ptrdiff_t>(at), AsciiLower);
  current_.nameSize += static_cast<std::uint32_t>(n);
  current_.valueAt = static_cast<std::uint32_t>(text_.size());
}

// Bytes of the page: they wait to be turned into UTF-8 with the others of
// their run, which may go on in the next piece.
void HtmlTokenizer::AppendRaw(const char* data, std::size_t size, bool high) {
  runHigh_ = runHigh_ || high;
  AppendBytes(data, size);
}

// What a character reference gives, in UTF-8 already.
void HtmlTokenizer::AppendValue(const char* data, std::size_t size) {
  EndRun();
  AppendBytes(data, size);
  runAt_ = static_cast<std::uint32_t>(text_.size());
}

void HtmlTokenizer::EndRun() {
  if (runHigh_ && keep_ && !valueLong_ && runAt_ <= text_.size() &&
      sink_.ToUtf8(std::string_view(text_).substr(runAt_), utf8_)) {
    text_.resize(runAt_);
    AppendBytes(utf8_.data(), utf8_.size());
  }
  runHigh_ = false;
  runAt_ = static_cast<std::uint32_t>(text_.size());
}

void HtmlTokenizer::AppendBytes(const char* data, std::size_t size) {
  if (!named_) CheckName();
  if (!keep_ || valueLong_ || size == 0) return;
  if (text_.size() + size - current_.valueAt > kMaxValue || text_.size() + size > kMaxTagBytes) {
    // Too long to be kept: passed on empty.
    valueLong_ = true;
    text_.resize(current_.valueAt);
    return;
  }
  text_.append(data, size);
}

void HtmlTokenizer::AppendCodePoint(std::uint32_t code) {
  char utf8[4];
  std::size_t n;
  if (code < 0x80) {
    utf8[0] = static_cast<char>(code);
    n = 1;
  } else if (code < 0x800) {
    utf8[0] = static_cast<char>(0xC0 | (code >> 6));
    utf8[1] = static_cast<char>(0x80 | (code & 0x3F));
    n = 2;
  } else if (code < 0x10000) {
    utf8[0] = static_cast<char>(0xE0 | (code >> 12));
    utf8[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    utf8[2] = static_cast<char>(0x80 | (code & 0x3F));
    n = 3;
  } else {
    utf8[0] = static_cast<char>(0xF0 | (code >> 18));
    utf8[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    utf8[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    utf8[3] = static_cast<char>(0x80 | (code & 0x3F));
    n = 4;
  }
  AppendValue(utf8, n);
}

bool HtmlTokenizer::EndNamedReference(char next) {
  // A name without ";" counts only for the characters that pages of old
  // wrote that way (those of Latin-1), and not when "=" follows: "?a=1&copy=2"
  // is a query, not a copyright sign.
  const htmlEntityDesc* entity =
      IsAlnum(next) ? nullptr
                    : htmlEntityLookup(reinterpret_cast<const xmlChar*>(pending_.c_str()));
  if (entity && (next == ';' || (next != '=' && entity->value < 0x100))) {
    AppendCodePoint(entity->value);
    return next == ';';
  }
  AppendValue("&", 1);
  AppendValue(pending_.data(), pending_.size());
  return false;
}

void HtmlTokenizer::EndAttribute() {
  if (!attributeOpen_) return;
  attributeOpen_ = false;
  if (!named_) CheckName();
  if (!keep_) return;
  EndRun();
  current_.valueSize = static_cast<std::uint32_t>(text_.size() - current_.valueAt);
  const std::string_view name(text_.data() + current_.nameAt, current_.nameSize);
  for (const Held& h : held_) {
    if (h.nameSize == current_.nameSize &&
        std::memcmp(text_.data() + h.nameAt, name.data(), name.size()) == 0) {
      text_.resize(current_.nameAt);  // the first of the name counts
      return;
    }
  }
  held_.push_back(current_);
}

void HtmlTokenizer::EmitTag() {
  EndAttribute();
  state_ = State::Data;
  if (endTag_) {
    if (!sink_.OnEndTag(name_)) stopped_ = true;
    return;
  }
  attributes_.clear();
  for (const Held& h : held_)
    attributes_.push_back({std::string_view(text_.data() + h.nameAt, h.nameSize),
                           std::string_view(text_.data() + h.valueAt, h.valueSize)});
  if (!sink_.OnStartTag(name_, attributes_)) stopped_ = true;
  if (IsRawTextElement(name_)) {
    rawName_ = name_;
    state_ = State::RawText;
  } else if (name_ == "plaintext") {
    state_ = State::Plaintext;
  }
}

void HtmlTokenizer::FlushRaw() {
  if (!pending_.empty() && !sink_.OnRawText(pending_)) stopped_ = true;
  pending_.clear();
}

}  // namespace tvx
