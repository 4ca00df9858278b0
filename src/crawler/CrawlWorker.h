#pragma once
// The crawl worker of a web-site project: the classic or the modern crawl, as
// the project's options say.
#include <memory>

#include "crawler/CrawlLimits.h"
#include "crawler/CrawlRun.h"
#include "store/Records.h"
#include "workers/EngineState.h"

namespace tvx {

// The body of a crawl worker, run on the worker's own thread: crawls the
// project's site from its start URL and returns the exit code. A modern
// crawl holds no more memory than the engine's limits allow.
int RunCrawl(WorkerEnv& env, const SiteProject& project);

// The limits of a crawl, from the engine's.
CrawlLimits CrawlLimitsOf(const EngineLimits& limits);

// Starts a crawl for project, the requested web site of that id (registered
// under it in the web-site registry).
std::shared_ptr<WorkerHandle> StartCrawlWorker(EngineState& engine, ItemId id,
                                               const SiteProject& project,
                                               std::size_t stackSize = kSiteStackCommand);

}  // namespace tvx
