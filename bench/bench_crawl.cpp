// Crawls one site with the crawl worker, from the current folder, and prints
// what it cost:  crawl: seconds=… urls=… links=… files=… bytes=… status=…
// peak_rss_kb=…
// Usage: bench_crawl <start url> <project name> [<links>]
// The project wants GIF and JPEG pictures and stays on the start site. The
// user interface is a counting stand-in that draws nothing. Given <links>,
// the crawl is stopped by its flag as soon as that many links are queued (it
// sees the flag at the page's next line), so the queue is measured full.
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "CountingUi.h"
#include "crawler/CrawlWorker.h"
#include "store/Lists.h"
#include "workers/WorkerControl.h"

using namespace tvx;
namespace fs = std::filesystem;

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
  RequestedSites.Add(project);

  // The user watches the project: its list is shown and its row is current.
  CountingUi ui;
  if (argc == 4) ui.stopAt = std::string(argv[3]) + " links found";
  SetUi(&ui, nullptr);
  ListKind = kListRequestedSites;
  CurrentRow = 0;

  auto began = std::chrono::steady_clock::now();
  if (!StartCrawlWorker(project)) {
    std::fprintf(stderr, "cannot start the crawl\n");
    return 1;
  }
  while (LiveWorkerCount() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

  long files = 0;
  std::uintmax_t bytes = 0;
  fs::path folder = fs::path("Pictures") / argv[2];
  if (fs::exists(folder)) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      if (!entry.is_regular_file()) continue;
      ++files;
      bytes += entry.file_size();
    }
  }
  std::string status(DownloadedSites.GetCount() > 0 ? TextOf(DownloadedSites.GetAt(0)->status)
                                                    : TextOf(RequestedSites.GetAt(0)->status));
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "crawl: seconds=%.3f urls=%ld links=\"%s\" files=%ld tree_files=%ld bytes=%ju "
      "status=\"%s\" peak_rss_kb=%ld\n",
      seconds, ui.urls, ui.lastLinks.c_str(), files, ui.files, bytes, status.c_str(),
      usage.ru_maxrss);
  SetUi(nullptr, nullptr);
  return status == (ui.stopAt.empty() ? "Success" : "Stopped") ? 0 : 1;
}
