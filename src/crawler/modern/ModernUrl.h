#pragma once
// URLs as the modern link search keeps them: absolute http or https URLs,
// resolved the way a browser resolves a link (through libcurl's URL API),
// what kind of file a URL names for a project, and where its file goes below
// the project's folder. Nothing here touches the network or the disk.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store/Records.h"

typedef struct Curl_URL CURLU;

namespace tvx {

// Longer links are not followed.
inline constexpr std::size_t kMaxWebUrl = 2048;

// The links of one page, made absolute against the page's URL (or the
// page's <base href>). Every URL given out is canonical: scheme "http" or
// "https", host in lower case, no default port, dot segments removed, no
// fragment, path and query in the page's own letter case.
class UrlResolver {
 public:
  // base: an absolute http or https URL; Valid() is false for anything else.
  explicit UrlResolver(std::string_view base);
  ~UrlResolver();
  UrlResolver(const UrlResolver&) = delete;
  UrlResolver& operator=(const UrlResolver&) = delete;

  bool Valid() const { return base_ != nullptr; }
  const std::string& Base() const { return baseText_; }

  // The absolute URL ref leads to, or nullopt when it leads to no http or
  // https URL (mailto:, javascript:, data:, a broken or over-long link).
  std::optional<std::string> Resolve(std::string_view ref) const;

  // Makes href, resolved against the current base, the base of the links
  // after it (a page's <base href>). A href that does not resolve is ignored.
  void Rebase(std::string_view href);

 private:
  struct Free {
    void operator()(CURLU* url) const;
  };
  // A plain link (letters, digits, "-._~/", a query of those and "=&")
  // resolved by the rules of relative URLs, without a parse; nullopt when
  // libcurl is to resolve it (the base has an empty segment, the URL would
  // be too long).
  std::optional<std::string> ResolvePlain(std::string_view link) const;

  std::unique_ptr<CURLU, Free> base_;
  std::string baseText_;
  // The links resolved so far (without their fragments), within a bound:
  // a page links the same addresses again and again.
  static constexpr std::size_t kResolvedBytes = 64 << 10;
  static constexpr std::size_t kResolvedEntry = 96;  // a node of the map, roughly
  mutable std::unordered_map<std::string, std::optional<std::string>> resolved_;
  mutable std::size_t resolvedBytes_ = 0;
};

// A project's start URL as a canonical URL, "http://" put in front when it
// has no "://"; nullopt when it is no usable http or https URL.
std::optional<std::string> StartWebUrl(std::string_view text);

// The parts of a canonical URL.
struct WebUrlParts {
  std::string_view scheme;  // "http" or "https"
  std::string_view host;    // without user or port; an IPv6 address keeps its brackets
  std::string_view path;    // "/" at least; without the query
  std::string_view query;   // after the '?', empty when none
};
WebUrlParts SplitWebUrl(std::string_view url);

// What makes two canonical URLs the same resource: the URL without its
// scheme, since http and https of one address serve the same file.
std::string_view VisitKey(std::string_view url);

// The picture types a project wants: the ticked types (JPG also .jpeg and
// .jfif, TIF also .tiff), every known picture type for "Download all files",
// and the extensions listed in "Other types".
class PictureTypes {
 public:
  static PictureTypes Of(const SiteProject& project);
  // ext: with its dot, any letter case.
  bool Wants(std::string_view ext) const;
  // For an answer of this Content-Type: nullopt when it is no picture, or
  // one the project does not want; else the extension its file is saved
  // with. Only a type of the table of picture types names one (".jpg" for
  // image/jpeg); any other image type gives "" (the file keeps the URL's
  // own name), so an answer cannot choose what the file is taken for.
  std::optional<std::string> ExtensionFor(std::string_view contentType) const;

 private:
  std::vector<std::string> extensions_;  // lower case, with the dot
  bool anyPicture_ = false;
};

// "Other types" as a list of lower-case extensions with their dots: entries
// are separated by blanks, commas or semicolons, and may be written "webp",
// ".webp" or "*.webp".
std::vector<std::string> ParseOtherTypes(std::string_view text);

enum class UrlKind {
  Picture,  // the path ends in an extension the project wants
  Page,     // no telling from the name: the answer's Content-Type decides
  Skip,     // a picture type not wanted, or plainly no page nor picture
};
// Judged by the extension at the end of the path, letter case and query
// ignored.
UrlKind KindOfUrl(std::string_view url, const PictureTypes& types);

bool IsHtmlType(std::string_view contentType);

// Whether an answer for url is a stylesheet: its Content-Type says text/css,
// or it says nothing of a page or a picture and the URL's path ends in .css.
bool IsStylesheetAnswer(std::string_view url, std::string_view contentType);

// Where a URL's file goes below the project's folder.
struct LocalPlace {
  std::string folders;  // '/' between them; may be empty
  std::string name;
};
// url must be canonical. A file of another site than the start site goes
// into a folder named after its host. Each part is percent-decoded where
// that gives a plain name. A query becomes part of the name in a safe form
// ("photo.php?id=3" with extension ".jpg" gives "photo.php_id=3.jpg",
// "a.jpg?w=9" gives "a_w=9.jpg"). extension, when given, is the extension
// the file is saved with (a picture told by its Content-Type); it is put at
// the end unless the name ends with it. A name longer than maxName is cut
// and given a hash of what was cut, so it stays unique.
LocalPlace LocalPlaceOf(std::string_view url, bool startSite, std::string_view extension,
                        std::size_t maxName);

}  // namespace tvx
