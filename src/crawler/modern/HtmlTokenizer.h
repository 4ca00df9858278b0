#pragma once
// A streaming HTML tokenizer for reading links: the page comes in pieces of
// any size, and what it holds between them is bounded whatever the page
// (a tag's name, its attributes and a few bytes of lookahead). It follows
// the states of a browser's tokenizer that decide where tags are: text,
// tags and their attributes (quoted, unquoted, with character references
// decoded), comments, doctypes and other declarations, processing
// instructions, CDATA sections, and the elements whose content is text,
// not markup (script, style, textarea, title, xmp, iframe, noembed,
// noframes, plaintext). Text outside those elements is not passed on.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tvx {

struct HtmlAttribute {
  std::string_view name;   // in lower case
  std::string_view value;  // character references decoded
};

class HtmlTokenSink {
 public:
  virtual ~HtmlTokenSink() = default;
  // A start tag, its name in lower case, its attributes in the page's order
  // (of an attribute written twice, the first). false: read no further.
  virtual bool OnStartTag(std::string_view name, std::span<const HtmlAttribute> attributes) = 0;
  virtual bool OnEndTag(std::string_view name) = 0;
  // A part of the text of a script, style, title... element, as it comes.
  virtual bool OnRawText(std::string_view text) = 0;
  // Bytes of an attribute value as the page has them, some of them not
  // ASCII, in UTF-8 into utf8; false: they are right as they are. Character
  // references are not part of them: they give UTF-8 already.
  virtual bool ToUtf8(std::string_view bytes, std::string& utf8) = 0;
  // Whether an attribute of this name (lower case) is wanted: one that is
  // not is left out of the tag, its value skipped without being decoded.
  virtual bool WantsAttribute(std::string_view) { return true; }
};

class HtmlTokenizer {
 public:
  // A tag keeps at most this many attributes, an attribute value at most
  // kMaxValue bytes (a longer one is passed on empty) and a tag at most
  // kMaxTagBytes of both; what is over is not kept, and reading goes on.
  static constexpr std::size_t kMaxAttributes = 128;
  static constexpr std::size_t kMaxValue = 64 * 1024;
  static constexpr std::size_t kMaxTagBytes = 256 * 1024;
  static constexpr std::size_t kMaxName = 64;

  explicit HtmlTokenizer(HtmlTokenSink& sink) : sink_(sink) {}

  // Reads the next piece. false once the sink has asked to stop.
  bool Feed(const char* data, std::size_t size);
  // The page has ended (or is cut). A tag it cuts off is passed on with
  // the attributes it has whole; raw text held back is passed on.
  void Finish();

  enum class State : std::uint8_t;

 private:
  struct Held {
    std::uint32_t nameAt, nameSize, valueAt, valueSize;
  };

  void BeginTag(bool end);
  void BeginAttribute();
  void CheckName();
  void EndAttribute();
  void EmitTag();
  void AppendName(const char* from, const char* to);
  void AppendBytes(const char* data, std::size_t size);
  void AppendRaw(const char* data, std::size_t size, bool high);
  void AppendValue(const char* data, std::size_t size);
  void EndRun();
  void AppendCodePoint(std::uint32_t code);
  // Ends "&name" before next; whether next (a ";") belongs to it.
  bool EndNamedReference(char next);
  void FlushRaw();

  HtmlTokenSink& sink_;
  State state_{};
  State valueState_{};  // the attribute value state a character reference returns to
  bool stopped_ = false;
  bool endTag_ = false;
  bool attributeOpen_ = false;
  bool keep_ = false;       // the open attribute is kept
  bool named_ = false;      // the sink was asked whether it wants it
  bool valueLong_ = false;  // its value is over kMaxValue
  std::string name_;        // the tag's name, lower case, at most kMaxName bytes
  std::string text_;        // the names and values of the tag's attributes
  std::vector<Held> held_;
  std::vector<HtmlAttribute> attributes_;
  Held current_{};
  std::uint32_t runAt_ = 0;  // where the value's bytes as the page has them start
  bool runHigh_ = false;     // some of them are not ASCII
  std::string utf8_;
  std::string rawName_;  // the element whose text is being read
  std::string pending_;  // lookahead: "<!" declarations, "</name" in raw text, "&name"
  std::uint32_t number_ = 0;
  bool hex_ = false;
  int brackets_ = 0;  // "]" before ">" in a CDATA section
};

}  // namespace tvx
