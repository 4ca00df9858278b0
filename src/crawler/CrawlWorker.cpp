#include "crawler/CrawlWorker.h"

#include <string>

#include "crawler/classic/ClassicCrawl.h"
#include "crawler/modern/ModernCrawl.h"
#include "store/SiteOptions.h"

namespace tvx {

int RunCrawl(WorkerEnv& env, const SiteProject& project, const CrawlLimits& limits) {
  const SiteOptions options = OptionsOfSite(TextOf(project.name));
  if (options.modernLinks) return RunModernCrawl(env, project, options.transfersPerHost, limits);
  return RunClassicCrawl(env, project);
}

std::shared_ptr<WorkerHandle> StartCrawlWorker(const SiteProject& project, std::size_t stackSize,
                                               const CrawlLimits& limits) {
  SiteProject copy = project;  // the crawl works from its own copy if the record goes
  return LaunchWorker(WorkerKind::Site, std::string(TextOf(copy.name)), stackSize,
                      [copy, limits](WorkerEnv& env) { RunCrawl(env, copy, limits); });
}

}  // namespace tvx
