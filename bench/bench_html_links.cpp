// Reads every .html page below a folder through the HTML link reader, in
// pieces of 16 KiB as they come off the network, and prints its throughput:
//   html-links: pages=… megabytes=… links=… seconds=… mb_per_s=…
// The pages are read into memory first; the figure is the best of the
// rounds (default 5), so that a busy machine counts less.
// Usage: bench_html_links <folder> [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "crawler/modern/HtmlLinks.h"

namespace {

class CountLinks final : public tvx::HtmlLinkSink {
 public:
  bool OnLink(std::string_view link) override {
    ++links;
    bytes += link.size();
    return true;
  }
  void OnBase(std::string_view) override {}
  long links = 0;
  std::size_t bytes = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder> [rounds]\n", argv[0]);
    return 2;
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::vector<std::string> pages;
  std::size_t total = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[1])) {
    if (!entry.is_regular_file() || entry.path().extension() != ".html") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    pages.push_back(text.str());
    total += pages.back().size();
  }
  constexpr std::size_t kPiece = 16 * 1024;
  double best = 1e30;
  long links = 0;
  for (int round = 0; round < rounds; ++round) {
    CountLinks sink;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& page : pages) {
      tvx::HtmlLinkReader reader(sink);
      for (std::size_t at = 0; at < page.size(); at += kPiece)
        if (!reader.Feed(page.data() + at, std::min(kPiece, page.size() - at))) break;
      reader.Finish();
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
    links = sink.links;
  }
  const double megabytes = static_cast<double>(total) / 1e6;
  std::printf("html-links: pages=%zu megabytes=%.1f links=%ld seconds=%.3f mb_per_s=%.0f\n",
              pages.size(), megabytes, links, best, megabytes / best);
  return 0;
}
