#pragma once
// The line-by-line crawl of a web-site project: one URL after the other, every
// page read a line at a time for the links its line extractors find.
#include "store/Records.h"
#include "workers/WorkerControl.h"

namespace tvx {

// Runs the crawl on the worker's thread; returns kCrawlDone or kCrawlStopped.
int RunClassicCrawl(WorkerEnv& env, const SiteProject& project);

}  // namespace tvx
