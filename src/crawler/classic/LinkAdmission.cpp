#include "crawler/classic/LinkAdmission.h"

#include <cstdio>
#include <optional>

#include "crawler/classic/LinkExtract.h"
#include "crawler/classic/UrlRules.h"

namespace tvx {

CrawlState::CrawlState(const SiteProject& project, const RecordList<SiteProject>* sites, ItemId id)
    : name_(TextOf(project.name)), project_(project), sites_(sites), id_(id) {
  std::string start(TextOf(project.startUrl));
  ResolveLink("", "", "", start);
  startUrl_ = start;
  // An over-long start URL is refused when the crawl takes it; it is kept out
  // of the visited set so its cut text cannot stand for another URL.
  const UrlSet::Ref ref = start.size() <= kMaxCrawlUrl ? visited.Add(start) : visited.Keep(start);
  GetSiteRoot(start, siteRoot);
  domains.Add(siteRoot);
  projectFolder = LocalPath::ForProject(name_);
  stack.Push(ref);
  if (!IsPageUrl(start)) ++pictureLinks;
}

const SiteProject& CrawlState::Settings() {
  if (sites_)
    if (std::optional<SiteProject> record = sites_->CopyOf(id_)) project_ = *record;
  return project_;
}

namespace {

enum class Extractor { Href, FrameSrc, ImgSrc };

bool Extract(Extractor which, std::string_view line, bool& imgTagPending, std::string& link) {
  switch (which) {
    case Extractor::Href:
      return ExtractHref(line, link);
    case Extractor::FrameSrc:
      return ExtractFrameSrc(line, link);
    case Extractor::ImgSrc:
      return ExtractImgSrc(line, imgTagPending, link);
  }
  return false;
}

void Queue(CrawlState& state, const std::string& link, const LinkQueued& onQueued) {
  ++state.linkCount;
  if (!IsPageUrl(link)) ++state.pictureLinks;
  char text[64];
  std::snprintf(text, sizeof text, "%d links found", state.linkCount);
  state.progressText = text;
  state.stack.Push(state.visited.Add(link));
  if (onQueued) onQueued(state.progressText);
}

}  // namespace

Admission AdmitLink(CrawlState& state, std::string_view line, const LinkQueued& onQueued) {
  // The project is looked up once per line, at its first link worth testing.
  const SiteProject* project = nullptr;
  // A site reached over https links its own pages with https.
  const bool httpsSite = state.siteRoot.rfind("https://", 0) == 0;
  for (Extractor which : {Extractor::Href, Extractor::FrameSrc, Extractor::ImgSrc}) {
    std::string link;
    if (!Extract(which, line, state.imgTagPending, link)) continue;
    ResolveLink(state.siteRoot, state.url, state.pageFolder, link);
    if (link.size() > kMaxCrawlUrl) continue;
    if (state.visited.Contains(link)) continue;
    if (!project) project = &state.Settings();
    if (!IsWantedLink(link, *project)) continue;
    if (!LinkContains("http://", link) && !(httpsSite && LinkContains("https://", link))) continue;
    if (which != Extractor::ImgSrc &&
        (LinkContains("cgi-bin", link) || LinkContains("javascript:", link)))
      continue;

    if (!project->exitDomain) {
      if (LinkContains(state.siteRoot, link)) Queue(state, link, onQueued);
      continue;
    }
    std::string root;
    GetSiteRoot(link, root);
    if (!state.domains.Contains(root)) {
      ++state.domainCount;
      state.domains.Add(root);
    }
    if (project->maxDomainCount != 0 && state.domainCount > project->maxDomainCount)
      return Admission::EndPage;
    Queue(state, link, onQueued);
  }
  return Admission::Continue;
}

}  // namespace tvx
