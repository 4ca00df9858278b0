#pragma once
// The line-by-line crawl of a web-site project: one URL after the other, every
// page read a line at a time for the links its line extractors find.
#include <memory>

#include "store/Records.h"
#include "workers/WorkerControl.h"

namespace tvx {

namespace net {
class CookieJar;
}  // namespace net

// Runs the crawl on the worker's thread; returns kCrawlDone or kCrawlStopped.
// Every request carries the cookies of the jar that belong to it.
int RunClassicCrawl(WorkerEnv& env, const SiteProject& project,
                    std::shared_ptr<const net::CookieJar> cookies = nullptr);

}  // namespace tvx
