#pragma once
// The crawl worker of a web-site project.
#include <memory>

#include "store/Records.h"
#include "workers/WorkerControl.h"

namespace tvx {

// What a crawl ends with: the stack ran empty (with or without errors), or
// the project's stop flag was seen.
inline constexpr int kCrawlDone = 0;
inline constexpr int kCrawlStopped = 4;

// The body of a crawl worker, run on the worker's own thread: crawls the
// project's site from its start URL and returns the exit code.
int RunCrawl(WorkerEnv& env, const SiteProject& project);

// Starts a crawl for project (registered under its name in the web-site registry).
std::shared_ptr<WorkerHandle> StartCrawlWorker(const SiteProject& project,
                                               std::size_t stackSize = kSiteStackCommand);

}  // namespace tvx
