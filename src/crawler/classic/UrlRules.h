#pragma once
// Text-only rules for URLs: what a URL names (picture, page, wanted link),
// how a link found on a page is made absolute, and where a URL's file goes
// below the project folder. Nothing here touches the network or the disk:
// the folders and files themselves are made through LocalPath, which keeps
// them inside Pictures.
//
// Local paths are written with '\' between folders, as the user sees them.
#include <cstddef>
#include <string>
#include <string_view>

#include "files/PictureFile.h"
#include "store/Records.h"

namespace tvx {

// ResolveParentLinks looks at no more than this many characters of each input
// and no more than this many segments on each side...
inline constexpr std::size_t kMaxParentLinkInput = 255;
inline constexpr std::size_t kMaxParentLinkSegments = 19;
// ...and its result is cut to this length, so it fits a record's URL field.
inline constexpr std::size_t kMaxParentLinkResult = 254;

// Case-folded substring test; a text holding '#' never contains anything.
bool LinkContains(std::string_view pattern, std::string_view text);

// Whether a web-site project wants the link, by the project's file types as
// they stand in the record at the moment of the call.
bool IsWantedLink(std::string_view link, const SiteProject& project);

// Yes for a page to read for links, no for a file to save.
bool IsPageUrl(std::string_view url);

// Writes the URL up to and including the first '/' after its "//" into out
// (the URL plus "/" when there is no such '/'). Without "//" out is left as it was.
void GetSiteRoot(std::string_view url, std::string& out);

// Makes link absolute in place. siteRoot is the root of the project's start
// URL, pageFolder is GetLocalSubfolder(siteRoot, pageUrl). An empty pageUrl
// means link is the start URL itself.
void ResolveLink(std::string_view siteRoot, std::string_view pageUrl, std::string_view pageFolder,
                 std::string& link);

// Replaces link (a relative link holding "..") by a rooted path: the page's
// folders less one per ".." in the link, then the link's segments less as
// many leading ones. Over-long input is cut, never refused: only the first
// kMaxParentLinkInput characters and the first kMaxParentLinkSegments
// segments of each side count, and the result is cut to kMaxParentLinkResult
// characters. A result without any segment is empty, so "../" one folder
// below the root resolves to the site root without its last '/' (a text that
// does not contain the site root).
void ResolveParentLinks(std::string_view pageFolder, std::string& link);

// The folders of url below siteRoot as '\' + folders joined by '\'; empty when
// the URL lies in the site root. siteRoot's length is taken as an offset into
// url whatever site url belongs to.
std::string GetLocalSubfolder(std::string_view siteRoot, std::string_view url);

// Yes when a local path must not be written: it holds '?', ',', '*', '+' or
// a NUL byte, or one of its segments (split at '\' or '/') is "..".
bool HasIllegalChars(std::string_view path);

}  // namespace tvx
