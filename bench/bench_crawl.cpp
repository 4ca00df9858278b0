// Crawls one site with the crawl worker, from the current folder, and prints
// what it cost:  crawl: seconds=… urls=… links=… files=… bytes=… status=…
// peak_rss_kb=…
// Usage: bench_crawl <start url> <project name> [<links>]
// The project wants GIF and JPEG pictures and stays on the start site. The
// user interface is a counting stand-in that draws nothing. Given <links>,
// the crawl is asked to stop as soon as that many links are queued (it
// sees the flag at the page's next line), so the queue is measured full.
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "CountingUi.h"
#include "store/Lists.h"

using namespace tvx;

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s <start url> <project name> [<links>]\n", argv[0]);
    return 2;
  }
  SiteProject project{};
  SetText(project.name, argv[2]);
  SetText(project.startUrl, argv[1]);
  project.typeGif = 1;
  project.typeJpg = 1;

  Engine engine;
  CountingUi ui(engine);
  if (argc == 4) ui.stopAt = std::string(argv[3]) + " links found";
  CrawlRun run = WatchCrawl(engine, project, ui);
  if (!run.started) {
    std::fprintf(stderr, "cannot start the crawl\n");
    return 1;
  }
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "crawl: seconds=%.3f urls=%ld links=\"%s\" files=%ld tree_files=%ld bytes=%ju "
      "status=\"%s\" peak_rss_kb=%ld\n",
      run.seconds, ui.urls, ui.lastLinks.c_str(), run.files, ui.files, run.bytes,
      run.status.c_str(), usage.ru_maxrss);
  return run.status == (ui.stopAt.empty() ? "Success" : "Stopped") ? 0 : 1;
}
