#include "crawler/classic/UrlRules.h"

#include <algorithm>
#include <vector>

#include "store/Text.h"

namespace tvx {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// A '/' with no '.' after it: the text names a folder or a page without an
// extension. A text without any '/' does not.
bool LastDotBeforeLastSlash(std::string_view text) {
  std::size_t slash = text.rfind('/');
  if (slash == npos) return false;
  std::size_t dot = text.rfind('.');
  return dot == npos || dot < slash;
}

std::string_view WithoutLastChar(std::string_view text) {
  return text.empty() ? text : text.substr(0, text.size() - 1);
}

// Splits text at any of the separators, dropping empty segments; at most
// maxSegments segments are kept.
std::vector<std::string_view> SplitSegments(std::string_view text, std::string_view separators,
                                            std::size_t maxSegments = npos) {
  std::vector<std::string_view> segments;
  std::size_t pos = 0;
  while (pos < text.size() && segments.size() < maxSegments) {
    std::size_t end = text.find_first_of(separators, pos);
    if (end == npos) end = text.size();
    if (end > pos) segments.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return segments;
}

bool HasParentSegment(std::string_view path) {
  for (std::string_view segment : SplitSegments(path, "\\/"))
    if (segment == "..") return true;
  return false;
}

}  // namespace

bool LinkContains(std::string_view pattern, std::string_view text) {
  std::string lowerText = LowerCopy(text);
  if (Contains(lowerText, "#")) return false;
  return Contains(lowerText, LowerCopy(pattern));
}

bool IsWantedLink(std::string_view link, const SiteProject& project) {
  if (link.empty()) return false;
  if (project.downloadAllFiles && IsPictureFile(link)) return true;
  if (LastDotBeforeLastSlash(link)) return true;

  std::string lower = LowerCopy(link);
  const int typeFlags[] = {project.typeCdr, project.typeGif, project.typeJpg, project.typeBmp,
                           project.typePng, project.typeTga, project.typeTif};
  for (std::size_t i = 0; i < std::size(typeFlags); ++i)
    if (typeFlags[i] && Contains(lower, kPictureExtensions[i])) return true;

  for (std::string_view marker : {".htm", ".shtml", ".cgi", ".asp"})
    if (Contains(lower, marker)) return true;

  // Compared as the user typed it: the link is folded, the entry is not.
  std::string_view other = TextOf(project.otherTypes);
  return !other.empty() && Contains(lower, other);
}

bool IsPageUrl(std::string_view url) {
  std::string lower = LowerCopy(url);
  if (Contains(lower, ".htm") || Contains(lower, ".shtm")) return true;
  if (!lower.empty() && lower.back() == '/') return true;
  if (LastDotBeforeLastSlash(lower)) return true;
  // A bare host such as http://pics.com is a page too.
  return std::count(lower.begin(), lower.end(), '/') == 2;
}

void GetSiteRoot(std::string_view url, std::string& out) {
  std::size_t scheme = url.find("//");
  if (scheme == npos) return;
  std::size_t slash = url.find('/', scheme + 2);
  if (slash == npos) {
    out.assign(url);
    out += '/';
  } else {
    out.assign(url.substr(0, slash + 1));
  }
}

void ResolveLink(std::string_view siteRoot, std::string_view pageUrl, std::string_view pageFolder,
                 std::string& link) {
  if (link.empty()) return;

  if (pageUrl.empty()) {
    if (!Contains(link, "://")) link.insert(0, "http://");
    return;
  }

  // Rooted and dotted links resolve against the start site, whatever page
  // they were found on.
  const std::string_view rootBase = WithoutLastChar(siteRoot);
  if (link.front() == '/') {
    link.insert(0, rootBase);
    return;
  }
  if (Contains(link, "..")) {
    ResolveParentLinks(pageFolder, link);
    link.insert(0, rootBase);
    return;
  }
  if (Contains(link, "./")) {
    link.erase(0, 1);
    link.insert(0, rootBase);
    return;
  }

  if (!Contains(link, "//")) {
    // Relative to the page's own folder on the page's own site. A page URL
    // without "//" has no root; the link is then only prefixed by its folder.
    std::string resolved;
    GetSiteRoot(pageUrl, resolved);
    if (!pageFolder.empty()) {
      std::string folder(pageFolder.substr(1));
      std::replace(folder.begin(), folder.end(), '\\', '/');
      resolved += folder;
      resolved += '/';
    }
    resolved += link;
    link = std::move(resolved);
  }
  // Anything else holds "//" and is absolute already.
}

void ResolveParentLinks(std::string_view pageFolder, std::string& link) {
  const std::string_view folderText = pageFolder.substr(0, kMaxParentLinkInput);
  const std::string_view linkText = std::string_view(link).substr(0, kMaxParentLinkInput);
  const auto folders = SplitSegments(folderText, "\\", kMaxParentLinkSegments);
  const auto parts = SplitSegments(linkText, "/", kMaxParentLinkSegments);

  const std::size_t up =
      static_cast<std::size_t>(std::count(parts.begin(), parts.end(), std::string_view("..")));
  const std::size_t keptFolders = up < folders.size() ? folders.size() - up : 0;

  std::string result;
  for (std::size_t i = 0; i < keptFolders; ++i) {
    result += '/';
    result += folders[i];
  }
  for (std::size_t i = up; i < parts.size(); ++i) {
    result += '/';
    result += parts[i];
  }
  if (result.size() > kMaxParentLinkResult) result.resize(kMaxParentLinkResult);
  link = std::move(result);
}

std::string GetLocalSubfolder(std::string_view siteRoot, std::string_view url) {
  const std::size_t n = siteRoot.size();
  const std::size_t s = url.rfind('/');
  if (s == npos || n >= s) return {};
  std::string folder = "\\";
  folder += url.substr(n, s - n);
  std::replace(folder.begin(), folder.end(), '/', '\\');
  return folder;
}

bool HasIllegalChars(std::string_view path) {
  // A NUL would silently cut the path where it meets the file system, and a
  // ".." segment would lead out of the project folder.
  if (path.find_first_of(std::string_view("?,*+\0", 5)) != npos) return true;
  return HasParentSegment(path);
}

}  // namespace tvx
