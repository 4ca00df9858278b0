// Crawls one site with "Modern link search", from the current folder, and
// prints what it cost:  crawl-modern: seconds=… urls=… files=… bytes=… status=…
// Usage: bench_crawl_modern <start url> <project name> [transfers per host]
// The project wants JPG (with .jpeg), PNG and GIF pictures and stays on the
// start site. The user interface is a counting stand-in that draws nothing.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "CountingUi.h"
#include "crawler/CrawlWorker.h"
#include "store/Lists.h"
#include "store/SiteOptions.h"
#include "workers/WorkerControl.h"

using namespace tvx;
namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <start url> <project name> [transfers per host]\n", argv[0]);
    return 2;
  }
  SiteProject project{};
  SetText(project.name, argv[2]);
  SetText(project.startUrl, argv[1]);
  project.typeGif = 1;
  project.typeJpg = 1;
  project.typePng = 1;
  RequestedSites.Add(project);
  const int transfers = argc > 3 ? std::atoi(argv[3]) : kDefaultTransfersPerHost;
  SetOptionsOfSite(argv[2], SiteOptions{true, transfers});

  CountingUi ui;
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
  std::printf(
      "crawl-modern: seconds=%.3f transfers=%d files=%ld tree_files=%ld bytes=%ju "
      "status=\"%s\"\n",
      seconds, transfers, files, ui.files, bytes, status.c_str());
  SetUi(nullptr, nullptr);
  return status == "Success" ? 0 : 1;
}
