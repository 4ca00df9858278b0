#include "search/AnswerReaders.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <utility>

#include "store/Text.h"

namespace tvx {
namespace {

using Json = nlohmann::json;

// Deeper answers are no engine's: refused before they are parsed.
constexpr int kMaxJsonNesting = 64;

// Whether the brackets of a JSON text nest no deeper than limit.
bool NestingWithin(std::string_view text, int limit) {
  int depth = 0;
  bool inString = false;
  bool escaped = false;
  for (char c : text) {
    if (inString) {
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

std::optional<Json> ParseJson(std::string_view body) {
  if (!NestingWithin(body, kMaxJsonNesting)) return std::nullopt;
  try {
    Json doc = Json::parse(body.begin(), body.end(), nullptr, /*allow_exceptions=*/false);
    if (doc.is_discarded() || !doc.is_object()) return std::nullopt;
    return doc;
  } catch (const Json::exception&) {
    return std::nullopt;
  }
}

// object[key], or null when object is none, no object, or has no such member.
const Json* Member(const Json* object, const char* key) {
  if (object == nullptr || !object->is_object()) return nullptr;
  auto it = object->find(key);
  return it == object->end() ? nullptr : &*it;
}

// A string member's text; empty for anything else.
std::string StringOf(const Json* value) {
  return value != nullptr && value->is_string() ? value->get_ref<const std::string&>()
                                                : std::string();
}

// A query field of a continuation: name=value, encoded; empty for values
// that are neither text nor whole numbers.
std::string QueryField(const std::string& name, const Json& value) {
  std::string text;
  if (value.is_string())
    text = value.get_ref<const std::string&>();
  else if (value.is_number_unsigned())
    text = std::to_string(value.get<std::uint64_t>());
  else if (value.is_number_integer())
    text = std::to_string(value.get<std::int64_t>());
  else
    return {};
  return QueryEscape(name) + "=" + QueryEscape(text);
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view start) {
  return text.size() >= start.size() && EqualsIgnoreCase(text.substr(0, start.size()), start);
}

// --- HTML ----------------------------------------------------------------

void InitialiseLibxml() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

struct DocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using HtmlDoc = std::unique_ptr<xmlDoc, DocFree>;

HtmlDoc ParseHtml(std::string_view html) {
  if (html.size() > static_cast<std::size_t>(INT_MAX)) return nullptr;
  InitialiseLibxml();
  return HtmlDoc(htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr, "UTF-8",
                                HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET));
}

std::string_view View(const xmlChar* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

bool IsElement(const xmlNode* node, std::string_view name) {
  return node->type == XML_ELEMENT_NODE && EqualsIgnoreCase(View(node->name), name);
}

// An attribute's value ("" when absent).
std::string Attribute(const xmlNode* node, const char* name) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  std::string text(View(value));
  xmlFree(value);
  return text;
}

bool HasClass(const xmlNode* node, std::string_view token) {
  if (node->type != XML_ELEMENT_NODE) return false;
  const std::string classes = Attribute(node, "class");
  std::size_t pos = 0;
  while (pos < classes.size()) {
    std::size_t end = classes.find_first_of(" \t\n\r\f", pos);
    if (end == std::string::npos) end = classes.size();
    if (std::string_view(classes).substr(pos, end - pos) == token) return true;
    pos = end + 1;
  }
  return false;
}

// The node after node in document order, staying below root; null at the
// end. skipChildren passes over node's own subtree. No recursion, however
// deep the page.
const xmlNode* NextNode(const xmlNode* node, const xmlNode* root, bool skipChildren = false) {
  if (!skipChildren && node->children) return node->children;
  while (node && node != root) {
    if (node->next) return node->next;
    node = node->parent;
  }
  return nullptr;
}

template <class Visit>
void ForEachBelow(const xmlNode* root, Visit visit) {
  if (!root) return;
  for (const xmlNode* node = root->children; node;) {
    const bool descend = visit(node);
    node = NextNode(node, root, !descend);
  }
}

// --- DuckDuckGo ----------------------------------------------------------

bool IsDuckDuckGoHost(std::string_view host) {
  const std::string lower = LowerCopy(host);
  return lower == "duckduckgo.com" ||
         (lower.size() > 15 &&
          std::string_view(lower).substr(lower.size() - 15) == ".duckduckgo.com");
}

// The host and the rest of a link: "//h/p", "http://h/p" and "https://h/p"
// have a host; "/p" has none. False for anything else (a relative path, a
// scheme of another kind).
bool SplitLink(std::string_view link, std::string_view& host, std::string_view& rest) {
  std::size_t start;
  if (StartsWithIgnoringCase(link, "//"))
    start = 2;
  else if (StartsWithIgnoringCase(link, "http://"))
    start = 7;
  else if (StartsWithIgnoringCase(link, "https://"))
    start = 8;
  else if (!link.empty() && link.front() == '/')
    start = std::string_view::npos;
  else
    return false;
  if (start == std::string_view::npos) {
    host = {};
    rest = link;
    return true;
  }
  const std::size_t end = link.find_first_of("/?#", start);
  host = link.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
  if (std::size_t at = host.rfind('@'); at != std::string_view::npos) host.remove_prefix(at + 1);
  if (std::size_t colon = host.find(':'); colon != std::string_view::npos)
    host = host.substr(0, colon);
  rest = end == std::string_view::npos ? std::string_view() : link.substr(end);
  return true;
}

// Where a result anchor leads: the target of the engine's own redirect
// (/l/?uddg=<target>), or the link itself; empty for a link to the engine
// (its advertisements) or one that leads nowhere.
std::string ResultTarget(std::string_view href) {
  href = TrimBlanks(href);
  std::string_view host, rest;
  if (!SplitLink(href, host, rest)) return {};
  if (host.empty() || IsDuckDuckGoHost(host)) {
    if (!StartsWithIgnoringCase(rest, "/l/?") && !StartsWithIgnoringCase(rest, "/l?")) return {};
    std::string_view query = rest.substr(rest.find('?') + 1);
    query = query.substr(0, query.find('#'));
    while (!query.empty()) {
      const std::size_t amp = query.find('&');
      const std::string_view field = query.substr(0, amp);
      if (StartsWithIgnoringCase(field, "uddg=")) {
        std::string target = PercentDecode(field.substr(5));
        std::string_view targetHost, targetRest;
        if (!SplitLink(target, targetHost, targetRest) || targetHost.empty() ||
            IsDuckDuckGoHost(targetHost))
          return {};
        return target;
      }
      if (amp == std::string_view::npos) break;
      query.remove_prefix(amp + 1);
    }
    return {};
  }
  return std::string(href);
}

// A form's fields as its submission sends them, and its "s" offset.
struct PageForm {
  std::string fields;
  long offset = -1;  // -1: no "s" field
};

PageForm ReadForm(const xmlNode* form) {
  PageForm read;
  ForEachBelow(form, [&](const xmlNode* node) {
    if (!IsElement(node, "input")) return true;
    const std::string name = Attribute(node, "name");
    const std::string type = LowerCopy(Attribute(node, "type"));
    if (name.empty() || type == "submit" || type == "button" || type == "image" ||
        type == "reset" || type == "file")
      return false;
    const std::string value = Attribute(node, "value");
    if (!read.fields.empty()) read.fields += '&';
    read.fields += QueryEscape(name) + "=" + QueryEscape(value);
    if (name == "s") {
      long offset = 0;
      for (char c : value) {
        if (c < '0' || c > '9' || offset > 1'000'000'000L) break;
        offset = offset * 10 + (c - '0');
      }
      read.offset = offset;
    }
    return false;
  });
  return read;
}

}  // namespace

std::string PercentDecode(std::string_view text) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string HtmlText(std::string_view html) {
  if (html.find_first_of("<&") == std::string_view::npos) return CreditField(html);
  HtmlDoc doc = ParseHtml(html);
  if (!doc) return {};
  std::string text;
  ForEachBelow(reinterpret_cast<const xmlNode*>(doc.get()), [&](const xmlNode* node) {
    if (IsElement(node, "script") || IsElement(node, "style")) return false;
    // More than a field holds is cut anyway.
    if ((node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) &&
        text.size() <= kMaxCreditField)
      text += View(node->content);
    // Blocks and line breaks part words.
    if (IsElement(node, "br") || IsElement(node, "p") || IsElement(node, "div") ||
        IsElement(node, "li"))
      text += ' ';
    return true;
  });
  return CreditField(text);
}

std::string LicenceName(std::string_view license, std::string_view version) {
  const std::string lower = LowerCopy(TrimBlanks(license));
  std::string name;
  if (lower.empty())
    return {};
  else if (lower == "cc0")
    name = "CC0";
  else if (lower == "pdm")
    name = "Public Domain Mark";
  else {
    name = "CC ";
    for (char c : lower) name += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  version = TrimBlanks(version);
  if (!version.empty()) {
    name += ' ';
    name += version;
  }
  return name;
}

bool ReadOpenverseAnswer(std::string_view body, int page, AnswerPage& out) {
  out = {};
  const std::optional<Json> doc = ParseJson(body);
  if (!doc) return false;
  const Json* results = Member(&*doc, "results");
  if (results == nullptr || !results->is_array()) return false;
  for (const Json& result : *results) {
    std::string url = StringOf(Member(&result, "url"));
    if (url.empty()) continue;
    PictureCredit credit;
    credit.title = StringOf(Member(&result, "title"));
    credit.creator = StringOf(Member(&result, "creator"));
    credit.licence = LicenceName(StringOf(Member(&result, "license")),
                                 StringOf(Member(&result, "license_version")));
    credit.landingPage = StringOf(Member(&result, "foreign_landing_url"));
    out.items.push_back({std::move(url), std::move(credit)});
  }
  const Json* pageCount = Member(&*doc, "page_count");
  if (!results->empty() && pageCount != nullptr && pageCount->is_number_integer() && page >= 1 &&
      page < pageCount->get<std::int64_t>())
    out.next = NextPage{page + 1, {}};
  return true;
}

bool ReadCommonsAnswer(std::string_view body, AnswerPage& out) {
  out = {};
  const std::optional<Json> doc = ParseJson(body);
  if (!doc || Member(&*doc, "error") != nullptr) return false;
  const Json* query = Member(&*doc, "query");
  if (query == nullptr) {
    // Nothing found: the answer is complete and holds no pages.
    if (Member(&*doc, "batchcomplete") == nullptr) return false;
  } else {
    const Json* pages = Member(query, "pages");
    if (pages == nullptr || !pages->is_array()) return false;
    std::vector<std::pair<std::int64_t, FoundItem>> ranked;
    for (const Json& page : *pages) {
      const Json* infos = Member(&page, "imageinfo");
      if (infos == nullptr || !infos->is_array() || infos->empty()) continue;
      const Json* info = &(*infos)[0];
      std::string url = StringOf(Member(info, "url"));
      if (url.empty() || !StartsWithIgnoringCase(StringOf(Member(info, "mime")), "image/"))
        continue;
      const Json* meta = Member(info, "extmetadata");
      PictureCredit credit;
      std::string title = StringOf(Member(&page, "title"));
      if (StartsWithIgnoringCase(title, "File:")) title.erase(0, 5);
      credit.title = std::move(title);
      credit.creator = HtmlText(StringOf(Member(Member(meta, "Artist"), "value")));
      credit.licence = HtmlText(StringOf(Member(Member(meta, "LicenseShortName"), "value")));
      credit.landingPage = StringOf(Member(info, "descriptionurl"));
      const Json* index = Member(&page, "index");
      const std::int64_t rank =
          index != nullptr && index->is_number_integer() ? index->get<std::int64_t>() : INT64_MAX;
      ranked.push_back({rank, FoundItem{std::move(url), std::move(credit)}});
    }
    // The pages come by page id; their index is the search's order.
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [rank, item] : ranked) out.items.push_back(std::move(item));
  }
  const Json* more = Member(&*doc, "continue");
  if (more != nullptr && more->is_object()) {
    NextPage next;
    for (const auto& [name, value] : more->items()) {
      const std::string field = QueryField(name, value);
      if (field.empty()) continue;
      if (!next.fields.empty()) next.fields += '&';
      next.fields += field;
    }
    if (!next.fields.empty()) out.next = std::move(next);
  }
  return true;
}

bool ReadDuckDuckGoAnswer(std::string_view body, AnswerPage& out) {
  out = {};
  HtmlDoc doc = ParseHtml(body);
  if (!doc) return false;
  bool anchors = false;
  bool emptyMark = false;
  PageForm nextForm;
  ForEachBelow(reinterpret_cast<const xmlNode*>(doc.get()), [&](const xmlNode* node) {
    if (node->type != XML_ELEMENT_NODE) return false;
    if (IsElement(node, "a") && HasClass(node, "result__a")) {
      anchors = true;
      std::string target = ResultTarget(Attribute(node, "href"));
      if (!target.empty()) out.items.push_back({std::move(target), std::nullopt});
      return false;
    }
    if (HasClass(node, "no-results") || HasClass(node, "result--no-result")) emptyMark = true;
    if (IsElement(node, "form")) {
      // The next page's form goes further than the previous page's.
      PageForm form = ReadForm(node);
      if (form.offset > nextForm.offset) nextForm = std::move(form);
      return false;
    }
    return true;
  });
  if (!anchors && !emptyMark) return false;
  if (!out.items.empty() && nextForm.offset > 0)
    out.next = NextPage{static_cast<int>(nextForm.offset), std::move(nextForm.fields)};
  return true;
}

bool ReadAnswer(TodayEngine engine, std::string_view body, int page, AnswerPage& out) {
  switch (engine) {
    case TodayEngine::Openverse:
      return ReadOpenverseAnswer(body, page, out);
    case TodayEngine::Commons:
      return ReadCommonsAnswer(body, out);
    case TodayEngine::DuckDuckGo:
      break;
  }
  return ReadDuckDuckGoAnswer(body, out);
}

}  // namespace tvx
