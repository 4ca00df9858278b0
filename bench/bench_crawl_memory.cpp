// Crawls a link trap with "Modern link search" within a memory budget, from
// the current folder, and prints what it held:
//   crawl-memory: seconds=… links_kept=… limit="…" status=… peak_rss_kb=…
// Usage: bench_crawl_memory <start url> <project name> <budget MiB> [<max links> [<after s>]]
// The crawl goes on for <after s> seconds (default 5) once it has reached its
// link limit, and is then asked to stop: the links it keeps no longer
// grow, so the peak is measured by then. The user interface is a counting
// stand-in that draws nothing.
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "CountingUi.h"
#include "store/Lists.h"
#include "store/SiteOptions.h"

using namespace tvx;

int main(int argc, char** argv) {
  if (argc < 4 || argc > 6) {
    std::fprintf(stderr,
                 "usage: %s <start url> <project name> <budget MiB> [<max links> [<after s>]]\n",
                 argv[0]);
    return 2;
  }
  SiteProject project{};
  SetText(project.name, argv[2]);
  SetText(project.startUrl, argv[1]);
  project.typeJpg = 1;
  Engine engine;
  engine.siteOptions.Set(argv[2], SiteOptions{true, kDefaultTransfersPerHost});
  engine.limits.crawlMemoryBytes = std::strtoull(argv[3], nullptr, 10) << 20;
  if (argc > 4) engine.limits.crawlLinks = std::strtoull(argv[4], nullptr, 10);
  const int after = argc > 5 ? std::atoi(argv[5]) : 5;

  CountingUi ui(engine);
  std::atomic<bool> over{false};
  std::thread stopper([&] {
    while (!over.load() && !ui.linkLimit.load())
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (int i = 0; i < after * 100 && !over.load(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!over.load()) engine.workers.RequestStopAll();
  });
  CrawlRun run = WatchCrawl(engine, project, ui);
  over = true;
  stopper.join();
  if (!run.started) {
    std::fprintf(stderr, "cannot start the crawl\n");
    return 1;
  }
  unsigned long kept = 0;
  std::sscanf(ui.limitText.c_str(), "Link limit reached: %lu", &kept);
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "crawl-memory: seconds=%.3f links_kept=%lu limit=\"%s\" status=\"%s\" peak_rss_kb=%ld\n",
      run.seconds, kept, ui.limitText.c_str(), run.status.c_str(), usage.ru_maxrss);
  return ui.linkLimit.load() ? 0 : 1;
}
