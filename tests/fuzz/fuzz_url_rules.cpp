// Runs every URL rule on arbitrary text. The input is split at line breaks
// into site root, page URL, page folder, link and project "other types";
// missing fields are empty. Local paths are only made as text, never created.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "crawler/classic/UrlRules.h"
#include "files/LocalPath.h"

namespace {

std::vector<std::string_view> Fields(std::string_view input, std::size_t count) {
  std::vector<std::string_view> fields;
  std::size_t pos = 0;
  while (fields.size() + 1 < count) {
    std::size_t end = input.find('\n', pos);
    if (end == std::string_view::npos) break;
    fields.push_back(input.substr(pos, end - pos));
    pos = end + 1;
  }
  fields.push_back(pos <= input.size() ? input.substr(pos) : std::string_view());
  fields.resize(count);
  return fields;
}

bool HasParentSegment(std::string_view path) {
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t end = path.find_first_of("\\/", pos);
    if (end == std::string_view::npos) end = path.size();
    if (path.substr(pos, end - pos) == "..") return true;
    pos = end + 1;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto f = Fields(input, 5);
  const std::string_view siteRoot = f[0], pageUrl = f[1], pageFolder = f[2], link = f[3];

  tvx::SiteProject project{};
  tvx::SetText(project.otherTypes, f[4]);
  const unsigned flags = size ? data[0] : 0;
  project.downloadAllFiles = flags & 1;
  project.typeCdr = (flags >> 1) & 1;
  project.typeGif = (flags >> 2) & 1;
  project.typeJpg = (flags >> 3) & 1;
  project.typeBmp = (flags >> 4) & 1;
  project.typePng = (flags >> 5) & 1;
  project.typeTga = (flags >> 6) & 1;
  project.typeTif = (flags >> 7) & 1;

  (void)tvx::IsPictureFile(input);
  (void)tvx::LinkContains(siteRoot, link);
  (void)tvx::IsWantedLink(link, project);
  (void)tvx::IsPageUrl(link);
  (void)tvx::HasIllegalChars(input);

  std::string root = "unchanged";
  tvx::GetSiteRoot(link, root);

  std::string parent(link);
  tvx::ResolveParentLinks(pageFolder, parent);
  if ((!parent.empty() && parent.front() != '/') || parent.size() > tvx::kMaxParentLinkResult)
    std::abort();

  std::string resolved(link);
  tvx::ResolveLink(siteRoot, pageUrl, pageFolder, resolved);

  const std::string folder = tvx::GetLocalSubfolder(siteRoot, resolved);
  if (!folder.empty() && folder.front() != '\\') std::abort();
  if (folder.size() > resolved.size() + 1) std::abort();

  // Whatever the sub-folder and file name, a usable local path stays below
  // the project folder and never climbs out of it.
  const tvx::LocalPath base = tvx::LocalPath::ForProject("proj");
  for (const std::string_view sub : {std::string_view(folder), pageFolder}) {
    const tvx::LocalPath path = base.Below(sub).Child(tvx::LastSegment(resolved));
    if (!path.Usable()) continue;
    const std::string fsPath = path.FsPath();
    if (fsPath.compare(0, 14, "Pictures/proj/") != 0) std::abort();
    if (HasParentSegment(fsPath) || fsPath.find('\0') != std::string::npos) std::abort();
  }
  return 0;
}
