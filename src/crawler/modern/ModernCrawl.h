#pragma once
// The crawl of a web-site project with "Modern link search" ticked: pages are
// read by an HTML parser for every link they hold, links resolve as a browser
// resolves them, http and https of one host are one site, redirects are
// followed, pictures are told by their extension or their Content-Type, and
// several transfers run at once. It reports, pauses, stops and ends as the
// line-by-line crawl does.
#include <memory>

#include "store/Records.h"
#include "workers/WorkerControl.h"

namespace tvx {

// At most this many redirects lead from one link to its target.
inline constexpr int kMaxRedirects = 10;

namespace net {
class CookieJar;
}  // namespace net

// Runs the crawl on the worker's thread; returns kCrawlDone or kCrawlStopped.
// transfersPerHost: how many transfers may run at once to one host (1-16).
// Every request carries the cookies of the jar that belong to it.
int RunModernCrawl(WorkerEnv& env, const SiteProject& project, int transfersPerHost,
                   std::shared_ptr<const net::CookieJar> cookies = nullptr);

}  // namespace tvx
