// Crawls one site with "Modern link search", from the current folder, and
// prints what it cost:  crawl-modern: seconds=… urls=… files=… bytes=… status=…
// Usage: bench_crawl_modern <start url> <project name> [transfers per host]
//                           [other types]
// The folder's lists and side files are loaded first and written afterwards,
// as the program does, so that a second run in the same folder has the
// archive of the first.
// The project wants JPG (with .jpeg), PNG and GIF pictures, and the types
// "other types" lists ("svg webp", as the project's field is written), and
// stays on the start site. The user interface is a counting stand-in that draws nothing.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "CountingUi.h"
#include "store/Lists.h"
#include "store/SiteOptions.h"

using namespace tvx;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: %s <start url> <project name> [transfers per host] [other types]\n",
                 argv[0]);
    return 2;
  }
  SiteProject project{};
  SetText(project.name, argv[2]);
  SetText(project.startUrl, argv[1]);
  project.typeGif = 1;
  project.typeJpg = 1;
  project.typePng = 1;
  if (argc > 4) SetText(project.otherTypes, argv[4]);
  const int transfers = argc > 3 ? std::atoi(argv[3]) : kDefaultTransfersPerHost;

  Engine engine;
  engine.Store().LoadAll();
  CountingUi ui(engine);
  engine.siteOptions.Set(argv[2], SiteOptions{true, transfers});
  CrawlRun run = WatchCrawl(engine, project, ui);
  if (!run.started) {
    std::fprintf(stderr, "cannot start the crawl\n");
    return 1;
  }
  for (const std::string& error : engine.Store().Write(SaveScope::Modified))
    std::fprintf(stderr, "%s\n", error.c_str());
  std::printf(
      "crawl-modern: seconds=%.3f transfers=%d files=%ld tree_files=%ld bytes=%ju "
      "status=\"%s\"\n",
      run.seconds, transfers, run.files, ui.files, run.bytes, run.status.c_str());
  return run.status == "Success" ? 0 : 1;
}
