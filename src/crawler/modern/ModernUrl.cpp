#include "crawler/modern/ModernUrl.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "files/PictureFile.h"
#include "store/Text.h"

namespace tvx {
namespace {

struct CurlText {
  char* text = nullptr;
  ~CurlText() { curl_free(text); }
};

bool IsAsciiBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// A link as a browser reads it before resolving: blanks around it dropped,
// tabs and line breaks inside it dropped, '\' taken as '/', and bytes no
// URL may hold as they are percent-encoded.
bool IsEscapedInLink(char ch) {
  switch (ch) {
    case '"':
    case '<':
    case '>':
    case '`':
    case '{':
    case '}':
    case '|':
    case '^':
      return true;
    default:
      return false;
  }
}

std::string CleanLink(std::string_view ref) {
  while (!ref.empty() && IsAsciiBlank(ref.front())) ref.remove_prefix(1);
  while (!ref.empty() && IsAsciiBlank(ref.back())) ref.remove_suffix(1);
  std::string out;
  out.reserve(ref.size());
  for (char ch : ref) {
    auto c = static_cast<unsigned char>(ch);
    if (ch == '\t' || ch == '\n' || ch == '\r') continue;
    if (ch == '\\') {
      out += '/';
    } else if (c <= 0x20 || c >= 0x7F || IsEscapedInLink(ch)) {
      AppendPercentEscape(out, c);
    } else {
      out += ch;
    }
  }
  return out;
}

// A host name no server can have (libcurl decodes escapes in it): empty,
// only dots, or holding blanks, control characters or separators.
bool IsPlainHost(std::string_view host) {
  if (host.find_first_not_of('.') == std::string_view::npos) return false;
  for (char ch : host) {
    auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F || ch == '/' || ch == '\\') return false;
  }
  return true;
}

// The canonical text of a parsed URL, or nullopt when it is no http or
// https URL. Lower-cases the host in place.
std::optional<std::string> Canonical(CURLU* url) {
  CurlText scheme;
  if (curl_url_get(url, CURLUPART_SCHEME, &scheme.text, 0) != CURLUE_OK) return std::nullopt;
  if (std::strcmp(scheme.text, "http") != 0 && std::strcmp(scheme.text, "https") != 0)
    return std::nullopt;
  CurlText host;
  if (curl_url_get(url, CURLUPART_HOST, &host.text, 0) != CURLUE_OK || !IsPlainHost(host.text))
    return std::nullopt;
  std::string lower = LowerCopy(host.text);
  if (lower != host.text && curl_url_set(url, CURLUPART_HOST, lower.c_str(), 0) != CURLUE_OK)
    return std::nullopt;
  curl_url_set(url, CURLUPART_FRAGMENT, nullptr, 0);
  CurlText text;
  if (curl_url_get(url, CURLUPART_URL, &text.text, CURLU_NO_DEFAULT_PORT) != CURLUE_OK)
    return std::nullopt;
  std::string result(text.text);
  if (result.size() > kMaxWebUrl) return std::nullopt;
  return result;
}

std::string_view ExtensionOf(std::string_view name) {
  std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

// Picture types known by name beyond the ones a project can tick.
constexpr std::array<std::string_view, 8> kMorePictureExtensions = {
    ".jpeg", ".jfif", ".tiff", ".webp", ".avif", ".svg", ".ico", ".heic"};

// Plainly neither a page nor a picture: never fetched unless the project
// lists the type under "Other types".
constexpr std::array<std::string_view, 52> kNotPageExtensions = {
    ".css",   ".js",  ".mjs",  ".json", ".xml", ".rss",  ".atom", ".txt",  ".pdf", ".ps",   ".zip",
    ".gz",    ".tgz", ".bz2",  ".xz",   ".7z",  ".rar",  ".tar",  ".exe",  ".msi", ".dmg",  ".iso",
    ".apk",   ".deb", ".rpm",  ".mp3",  ".ogg", ".oga",  ".wav",  ".flac", ".m4a", ".aac",  ".opus",
    ".mp4",   ".m4v", ".webm", ".mkv",  ".avi", ".mov",  ".wmv",  ".flv",  ".mpg", ".mpeg", ".woff",
    ".woff2", ".ttf", ".otf",  ".eot",  ".doc", ".docx", ".xlsx", ".swf"};

template <std::size_t N>
bool OneOf(const std::array<std::string_view, N>& list, std::string_view lowerExt) {
  return std::find(list.begin(), list.end(), lowerExt) != list.end();
}

bool IsKnownPictureExtension(std::string_view lowerExt) {
  return OneOf(kPictureExtensions, lowerExt) || OneOf(kMorePictureExtensions, lowerExt);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A path segment as a file name: percent-escapes decoded, except those that
// would give a separator, a control character or a dot segment.
std::string DecodeSegment(std::string_view segment) {
  std::string out;
  out.reserve(segment.size());
  for (std::size_t i = 0; i < segment.size(); ++i) {
    if (segment[i] == '%' && i + 2 < segment.size()) {
      int hi = HexValue(segment[i + 1]), lo = HexValue(segment[i + 2]);
      if (hi >= 0 && lo >= 0) {
        auto byte = static_cast<unsigned char>(hi * 16 + lo);
        if (byte >= 0x20 && byte != 0x7F && byte != '/' && byte != '\\') {
          out += static_cast<char>(byte);
          i += 2;
          continue;
        }
      }
    }
    out += segment[i];
  }
  if (out == "." || out == "..") return std::string(segment);
  return out;
}

// The query as a part of a file name: '/' and '\' (and anything below a
// blank) written as escapes, the rest as it stands.
std::string SafeQuery(std::string_view query) {
  std::string out;
  for (char ch : query) {
    auto c = static_cast<unsigned char>(ch);
    if (ch == '/' || ch == '\\' || c < 0x20 || c == 0x7F) {
      AppendPercentEscape(out, c);
    } else {
      out += ch;
    }
  }
  return out;
}

std::string HashText(std::string_view text) {
  std::uint32_t h = 2166136261u;
  for (char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 16777619u;
  }
  std::string out(8, '0');
  for (int i = 7; i >= 0; --i, h >>= 4)
    out[static_cast<std::size_t>(i)] = "0123456789abcdef"[h & 15];
  return out;
}

// A link of letters, digits and "-._~/", with a query of those and "=&"
// (no scheme, no host, no escapes, no empty segment): most links of most
// sites, resolved without libcurl's parser, which would give the same.
bool IsPlainLink(std::string_view link) {
  const std::size_t mark = link.find('?');
  const std::string_view path = link.substr(0, mark);
  if (path.find("//") != std::string_view::npos) return false;
  // libcurl drops the folder's last slash from "./?q" and "../?q"; such a
  // link is left to it, so that every link resolves as it always has.
  if (mark != std::string_view::npos && path.find_first_not_of("./") == std::string_view::npos)
    return false;
  bool query = false;
  for (char c : link) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~' || c == '/')
      continue;
    if (c == '?' && !query) {
      query = true;
    } else if (!query || (c != '=' && c != '&')) {
      return false;
    }
  }
  return true;
}

// The dot segments of an absolute path removed, as a URL's are.
std::string RemoveDotSegments(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  const auto dropLastSegment = [&out] {
    const std::size_t slash = out.rfind('/');
    out.resize(slash == std::string::npos ? 0 : slash);
  };
  while (!in.empty()) {
    if (in.substr(0, 3) == "../") {
      in.remove_prefix(3);
    } else if (in.substr(0, 2) == "./") {
      in.remove_prefix(2);
    } else if (in.substr(0, 3) == "/./") {
      in.remove_prefix(2);
    } else if (in == "/.") {
      in = "/";
    } else if (in.substr(0, 4) == "/../") {
      in.remove_prefix(3);
      dropLastSegment();
    } else if (in == "/..") {
      in = "/";
      dropLastSegment();
    } else if (in == "." || in == "..") {
      in = {};
    } else {
      const std::size_t end = in.find('/', 1);
      const std::size_t n = end == std::string_view::npos ? in.size() : end;
      out.append(in.substr(0, n));
      in.remove_prefix(n);
    }
  }
  return out;
}

}  // namespace

void UrlResolver::Free::operator()(CURLU* url) const { curl_url_cleanup(url); }

std::optional<std::string> UrlResolver::ResolvePlain(std::string_view link) const {
  const std::size_t hostAt = baseText_.find("://");
  const std::size_t pathAt =
      hostAt == std::string::npos ? std::string::npos : baseText_.find('/', hostAt + 3);
  if (pathAt == std::string::npos) return std::nullopt;
  const std::string_view base(baseText_);
  const std::string_view basePath = base.substr(pathAt, base.find('?', pathAt) - pathAt);
  // An empty segment of the base is libcurl's to resolve against.
  if (basePath.find("//") != std::string_view::npos) return std::nullopt;
  const std::size_t mark = link.find('?');
  const std::string_view linkPath = link.substr(0, mark);
  std::string path;
  if (linkPath.empty()) {
    path = basePath;
  } else if (linkPath.front() == '/') {
    path = linkPath;
  } else {
    path = basePath.substr(0, basePath.rfind('/') + 1);
    path += linkPath;
  }
  std::string out(base.substr(0, pathAt));
  out += RemoveDotSegments(path);
  if (mark != std::string_view::npos) out += link.substr(mark);
  if (out.size() > kMaxWebUrl) return std::nullopt;
  return out;
}

UrlResolver::UrlResolver(std::string_view base) {
  std::unique_ptr<CURLU, Free> url(curl_url());
  if (!url) return;
  std::string clean = CleanLink(base);
  if (curl_url_set(url.get(), CURLUPART_URL, clean.c_str(), 0) != CURLUE_OK) return;
  std::optional<std::string> text = Canonical(url.get());
  if (!text) return;
  baseText_ = std::move(*text);
  base_ = std::move(url);
}

UrlResolver::~UrlResolver() = default;

std::optional<std::string> UrlResolver::Resolve(std::string_view ref) const {
  if (!base_ || ref.size() > 4 * kMaxWebUrl) return std::nullopt;
  std::string clean = CleanLink(ref);
  // A link to the page itself (libcurl would give the page's folder).
  if (clean.empty() || clean.front() == '#') return baseText_;
  // No URL given out keeps its fragment: without it, the links to the
  // places of one page (an index holds thousands) are one link, resolved
  // once. Resolving is most of the time a page takes.
  if (const std::size_t fragment = clean.find('#'); fragment != std::string::npos)
    clean.resize(fragment);
  if (auto known = resolved_.find(clean); known != resolved_.end()) return known->second;
  std::optional<std::string> out;
  if (IsPlainLink(clean)) out = ResolvePlain(clean);
  if (!out) {
    std::unique_ptr<CURLU, Free> url(curl_url_dup(base_.get()));
    if (url && curl_url_set(url.get(), CURLUPART_URL, clean.c_str(), 0) == CURLUE_OK)
      out = Canonical(url.get());
  }
  if (resolvedBytes_ < kResolvedBytes) {
    resolvedBytes_ += kResolvedEntry + clean.size() + (out ? out->size() : 0);
    resolved_.emplace(std::move(clean), out);
  }
  return out;
}

void UrlResolver::Rebase(std::string_view href) {
  std::optional<std::string> target = Resolve(href);
  if (!target) return;
  UrlResolver rebased(*target);
  if (!rebased.Valid()) return;
  base_ = std::move(rebased.base_);
  baseText_ = std::move(rebased.baseText_);
  resolved_.clear();
  resolvedBytes_ = 0;
}

std::optional<std::string> StartWebUrl(std::string_view text) {
  std::string url(TrimBlanks(text));
  if (url.find("://") == std::string::npos) url.insert(0, "http://");
  UrlResolver resolver(url);
  if (!resolver.Valid()) return std::nullopt;
  return resolver.Base();
}

WebUrlParts SplitWebUrl(std::string_view url) {
  WebUrlParts parts;
  std::size_t sep = url.find("://");
  if (sep == std::string_view::npos) return parts;
  parts.scheme = url.substr(0, sep);
  std::size_t start = sep + 3;
  std::size_t end = url.find_first_of("/?", start);
  if (end == std::string_view::npos) end = url.size();
  std::string_view authority = url.substr(start, end - start);
  if (std::size_t at = authority.rfind('@'); at != std::string_view::npos)
    authority.remove_prefix(at + 1);
  if (!authority.empty() && authority.front() == '[') {
    parts.host = authority.substr(0, authority.find(']') + 1);
  } else {
    parts.host = authority.substr(0, authority.find(':'));
  }
  std::string_view rest = url.substr(end);
  std::size_t mark = rest.find('?');
  parts.path = rest.substr(0, mark);
  if (parts.path.empty()) parts.path = "/";
  if (mark != std::string_view::npos) parts.query = rest.substr(mark + 1);
  return parts;
}

std::string_view VisitKey(std::string_view url) {
  std::size_t sep = url.find("://");
  return sep == std::string_view::npos ? url : url.substr(sep + 1);
}

PictureTypes PictureTypes::Of(const SiteProject& project) {
  PictureTypes types;
  auto add = [&types](std::string_view ext) {
    if (!types.Wants(ext)) types.extensions_.emplace_back(ext);
  };
  if (project.downloadAllFiles) {
    types.anyPicture_ = true;
    for (std::string_view ext : kPictureExtensions) add(ext);
    for (std::string_view ext : {".jpeg", ".jfif", ".tiff", ".webp", ".avif"}) add(ext);
  }
  const int flags[] = {project.typeCdr, project.typeGif, project.typeJpg, project.typeBmp,
                       project.typePng, project.typeTga, project.typeTif};
  for (std::size_t i = 0; i < std::size(flags); ++i) {
    if (!flags[i]) continue;
    add(kPictureExtensions[i]);
    if (kPictureExtensions[i] == ".jpg") {
      add(".jpeg");
      add(".jfif");
    } else if (kPictureExtensions[i] == ".tif") {
      add(".tiff");
    }
  }
  for (const std::string& ext : ParseOtherTypes(TextOf(project.otherTypes))) add(ext);
  return types;
}

bool PictureTypes::Wants(std::string_view ext) const {
  for (const std::string& e : extensions_)
    if (EqualsIgnoreCase(e, ext)) return true;
  return false;
}

std::optional<std::string> PictureTypes::ExtensionFor(std::string_view contentType) const {
  std::string type = LowerCopy(TrimBlanks(contentType.substr(0, contentType.find(';'))));
  if (type.rfind("image/", 0) != 0 || type.size() == 6) return std::nullopt;
  std::string_view sub = std::string_view(type).substr(6);
  // The picture types that name the saved file's extension.
  static constexpr std::pair<std::string_view, std::string_view> kPictureTypes[] = {
      {"jpeg", ".jpg"},    {"pjpeg", ".jpg"},   {"jpg", ".jpg"},
      {"png", ".png"},     {"apng", ".png"},    {"gif", ".gif"},
      {"bmp", ".bmp"},     {"x-bmp", ".bmp"},   {"x-ms-bmp", ".bmp"},
      {"tiff", ".tif"},    {"webp", ".webp"},   {"avif", ".avif"},
      {"svg+xml", ".svg"}, {"x-icon", ".ico"},  {"vnd.microsoft.icon", ".ico"},
      {"x-tga", ".tga"},   {"x-targa", ".tga"}, {"x-pcx", ".pcx"},
      {"heic", ".heic"}};
  for (const auto& [name, extension] : kPictureTypes) {
    if (sub != name) continue;
    if (Wants(extension) || anyPicture_) return std::string(extension);
    return std::nullopt;
  }
  // Another image type: wanted as "Other types" lists it (or as every
  // picture is), but its name says nothing of the file.
  if (sub.rfind("x-", 0) == 0) sub.remove_prefix(2);
  std::string ext(1, '.');
  for (char c : sub)
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) ext += c;
  if (ext.size() == 1) return std::nullopt;
  if (Wants(ext) || anyPicture_) return std::string();
  return std::nullopt;
}

std::vector<std::string> ParseOtherTypes(std::string_view text) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of(" \t,;", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view entry = text.substr(pos, end - pos);
    pos = end + 1;
    while (!entry.empty() && entry.front() == '*') entry.remove_prefix(1);
    if (!entry.empty() && entry.front() == '.') entry.remove_prefix(1);
    if (entry.empty()) continue;
    std::string ext(1, '.');
    ext += LowerCopy(entry);
    if (std::find(out.begin(), out.end(), ext) == out.end()) out.push_back(std::move(ext));
  }
  return out;
}

UrlKind KindOfUrl(std::string_view url, const PictureTypes& types) {
  std::string_view path = SplitWebUrl(url).path;
  std::string ext = LowerCopy(ExtensionOf(LastSegment(path)));
  if (ext.size() < 2) return UrlKind::Page;
  if (types.Wants(ext)) return UrlKind::Picture;
  if (IsKnownPictureExtension(ext) || OneOf(kNotPageExtensions, ext)) return UrlKind::Skip;
  return UrlKind::Page;
}

bool IsHtmlType(std::string_view contentType) {
  std::string type = LowerCopy(TrimBlanks(contentType.substr(0, contentType.find(';'))));
  return type == "text/html" || type == "application/xhtml+xml";
}

bool IsStylesheetAnswer(std::string_view url, std::string_view contentType) {
  const std::string type = LowerCopy(TrimBlanks(contentType.substr(0, contentType.find(';'))));
  if (type == "text/css") return true;
  if (IsHtmlType(type) || type.rfind("image/", 0) == 0) return false;
  return EqualsIgnoreCase(ExtensionOf(LastSegment(SplitWebUrl(url).path)), ".css");
}

LocalPlace LocalPlaceOf(std::string_view url, bool startSite, std::string_view extension,
                        std::size_t maxName) {
  const WebUrlParts parts = SplitWebUrl(url);
  LocalPlace place;
  if (!startSite) place.folders = std::string(parts.host);

  std::string_view path = parts.path;
  std::string leaf;
  std::size_t pos = 0;
  while (pos < path.size()) {
    std::size_t end = path.find('/', pos);
    if (end == std::string_view::npos) {
      leaf = DecodeSegment(path.substr(pos));
      break;
    }
    if (end > pos) {
      if (!place.folders.empty()) place.folders += '/';
      place.folders += DecodeSegment(path.substr(pos, end - pos));
    }
    pos = end + 1;
  }
  if (leaf.empty()) leaf = "index";

  // The query goes before the extension the file is known by, so the name
  // still ends with it.
  std::string ext(extension.empty() ? ExtensionOf(leaf) : extension);
  std::string stem = leaf;
  if (!ext.empty() && leaf.size() > ext.size() &&
      EqualsIgnoreCase(std::string_view(leaf).substr(leaf.size() - ext.size()), ext)) {
    ext = leaf.substr(leaf.size() - ext.size());
    stem.resize(leaf.size() - ext.size());
  }
  if (!parts.query.empty()) {
    stem += '_';
    stem += SafeQuery(parts.query);
  }
  place.name = stem + ext;

  if (place.name.size() > maxName && maxName >= ext.size() + 10) {
    std::string hash = HashText(std::string(leaf) + "?" + std::string(parts.query));
    stem.resize(maxName - ext.size() - 9);
    place.name = stem + "~" + hash + ext;
  }
  return place;
}

}  // namespace tvx
