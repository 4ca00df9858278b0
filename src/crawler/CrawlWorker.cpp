#include "crawler/CrawlWorker.h"

#include <string>

#include "crawler/classic/ClassicCrawl.h"
#include "crawler/modern/ModernCrawl.h"
#include "net/Cookies.h"

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
  std::shared_ptr<const net::CookieJar> cookies;
  if (!options.cookieFile.empty()) {
    try {
      cookies = net::CookieJar::Load(options.cookieFile);
    } catch (const net::CookieFileError& e) {
      // Without its cookies a site behind a login answers with its login
      // page: the crawl does not start.
      const ItemRef item = env.Item();
      env.OnUi([&] { env.reporter.ShowMessage(e.what()); });
      env.OnUi([&] {
        EndCrawlRun(env.engine, item, std::string(TextOf(project.name)), true, e.what());
      });
      return kCrawlDone;
    }
  }
  if (options.modernLinks)
    return RunModernCrawl(env, project, options, CrawlLimitsOf(env.engine.limits),
                          std::move(cookies));
  return RunClassicCrawl(env, project, std::move(cookies));
}

std::shared_ptr<WorkerHandle> StartCrawlWorker(EngineState& engine, ItemId id,
                                               const SiteProject& project, std::size_t stackSize) {
  SiteProject copy = project;  // the crawl works from its own copy if the record goes
  return engine.workers.Launch(engine, WorkerKind::Site, {kListRequestedSites, id},
                               std::string(TextOf(copy.name)), stackSize,
                               [copy](WorkerEnv& env) { RunCrawl(env, copy); });
}

}  // namespace tvx
