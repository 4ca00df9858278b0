#include "crawler/CrawlWorker.h"

#include <string>

#include "crawler/classic/ClassicCrawl.h"
#include "crawler/modern/ModernCrawl.h"

namespace tvx {

CrawlLimits CrawlLimitsOf(const EngineLimits& limits) {
  CrawlLimits crawl;
  crawl.memoryBytes = limits.crawlMemoryBytes;
  crawl.maxLinks = limits.crawlLinks;
  crawl.slowDownDefault = limits.slowDownDefault;
  crawl.slowDownCap = limits.slowDownCap;
  crawl.retryBase = limits.retryBase;
  return crawl;
}

int RunCrawl(WorkerEnv& env, const SiteProject& project) {
  const SiteOptions options = env.engine.siteOptions.Get(TextOf(project.name));
  if (options.modernLinks)
    return RunModernCrawl(env, project, options, CrawlLimitsOf(env.engine.limits));
  return RunClassicCrawl(env, project);
}

std::shared_ptr<WorkerHandle> StartCrawlWorker(EngineState& engine, ItemId id,
                                               const SiteProject& project, std::size_t stackSize) {
  SiteProject copy = project;  // the crawl works from its own copy if the record goes
  return engine.workers.Launch(engine, WorkerKind::Site, {kListRequestedSites, id},
                               std::string(TextOf(copy.name)), stackSize,
                               [copy](WorkerEnv& env) { RunCrawl(env, copy); });
}

}  // namespace tvx
