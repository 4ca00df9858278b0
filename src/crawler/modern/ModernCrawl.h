#pragma once
// The crawl of a web-site project with "Modern link search" ticked: pages are
// read by an HTML parser for every link they hold, links resolve as a browser
// resolves them, http and https of one host are one site, redirects are
// followed, pictures are told by their extension or their Content-Type, and
// several transfers run at once. It reports, pauses, stops and ends as the
// line-by-line crawl does.
#include <memory>

#include "crawler/CrawlLimits.h"
#include "store/Records.h"
#include "store/SiteOptions.h"
#include "workers/WorkerControl.h"

namespace tvx {

// At most this many redirects lead from one link to its target.
inline constexpr int kMaxRedirects = 10;

namespace net {
class CookieJar;
}  // namespace net

// At most this many redirects lead from robots.txt to the rules.
inline constexpr int kMaxRobotsRedirects = 5;
// A URL is asked at most this many times when it fails for a time-out, a
// broken connection or a server error (5xx other than 503) ...
inline constexpr int kMaxTries = 4;
// ... and at most this many times in all when its server keeps asking to
// slow down (429, 503).
inline constexpr int kMaxSlowDowns = 10;
// Crawl-delay of robots.txt is followed up to this many seconds.
inline constexpr int kMaxCrawlDelaySeconds = 60;

// Runs the crawl on the worker's thread; returns kCrawlDone or kCrawlStopped.
// options: the project's options (transfers at once per host, robots.txt,
// the wait between requests, size filters, the archive's choices); limits:
// the memory it may hold and how long it waits for a server. A stop request
// ends every transfer and removes the partial files of the pictures they
// were writing. Every request carries the cookies of the jar that belong
// to it.
int RunModernCrawl(WorkerEnv& env, const SiteProject& project, const SiteOptions& options,
                   const CrawlLimits& limits = {},
                   std::shared_ptr<const net::CookieJar> cookies = nullptr);

}  // namespace tvx
