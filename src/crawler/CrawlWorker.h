#pragma once
// The crawl worker of a web-site project: the classic or the modern crawl, as
// the project's options say.
#include <memory>

#include "crawler/CrawlLimits.h"
#include "crawler/CrawlRun.h"
#include "store/Records.h"
#include "workers/WorkerControl.h"

namespace tvx {

// The body of a crawl worker, run on the worker's own thread: crawls the
// project's site from its start URL and returns the exit code. limits: the
// memory a modern crawl may hold.
int RunCrawl(WorkerEnv& env, const SiteProject& project, const CrawlLimits& limits = {});

// Starts a crawl for project (registered under its name in the web-site registry).
std::shared_ptr<WorkerHandle> StartCrawlWorker(const SiteProject& project,
                                               std::size_t stackSize = kSiteStackCommand,
                                               const CrawlLimits& limits = {});

}  // namespace tvx
