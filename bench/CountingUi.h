#pragma once
// A stand-in for the windows in the crawl benchmarks: draws nothing, counts
// the URLs opened and the files saved, keeps the last "%d links found" and
// the link limit's text, and can stop the crawl in row 0 when a given count
// of links is reached.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "crawler/CrawlWorker.h"
#include "store/Lists.h"
#include "workers/Reporting.h"
#include "workers/WorkerControl.h"

class CountingUi final : public tvx::Reporter {
 public:
  void SetRowStatus(int, const std::string&) override {}
  void DeleteRow(int) override {}
  void InsertTopRow(const std::string&) override {}
  void DeleteAllRows() override {}
  void SetRowProgress(int, std::uint64_t, std::uint64_t) override {}
  void SetStatusText(tvx::StatusField field, const std::string& text) override {
    if (field == tvx::StatusField::LastAction && text.rfind("Opening ", 0) == 0) ++urls;
    if (field == tvx::StatusField::Status && text.find(" links found") != std::string::npos) {
      lastLinks = text;
      if (text == stopAt) tvx::Stops(tvx::WorkerKind::Site).Set(0, 1);
    }
    if (field == tvx::StatusField::Status && text.rfind("Link limit reached", 0) == 0 &&
        !linkLimit.load()) {
      limitText = text;
      linkLimit = true;
    }
  }
  void StartBusy() override {}
  void StopBusy() override {}
  tvx::ProjectNode FindOrAddProject(const std::string&) override { return 1; }
  void AddFile(tvx::ProjectNode, const std::string&) override { ++files; }
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }

  long urls = 0;
  long files = 0;
  std::string lastLinks;
  std::string stopAt;     // the "%d links found" text that stops the crawl
  std::string limitText;  // "Link limit reached: ...", once shown (then linkLimit)
  std::atomic<bool> linkLimit{false};
};

// What one watched crawl cost and left behind.
struct CrawlRun {
  bool started = false;
  double seconds = 0;
  long files = 0;  // files below Pictures/<project>
  std::uintmax_t bytes = 0;
  std::string status;  // the project's status at the end
};

// Crawls row 0 of the requested sites as the user watching it would (its list
// shown, its row current), waits for the worker and counts what it saved.
inline CrawlRun WatchCrawl(const tvx::SiteProject& project, CountingUi& ui,
                           const tvx::CrawlLimits& limits = {}) {
  namespace fs = std::filesystem;
  CrawlRun run;
  tvx::SetUi(&ui, nullptr);
  tvx::ListKind = tvx::kListRequestedSites;
  tvx::CurrentRow = 0;
  auto began = std::chrono::steady_clock::now();
  run.started = tvx::StartCrawlWorker(project, tvx::kSiteStackCommand, limits) != nullptr;
  if (!run.started) {
    tvx::SetUi(nullptr, nullptr);
    return run;
  }
  while (tvx::LiveWorkerCount() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  tvx::SetUi(nullptr, nullptr);

  fs::path folder = fs::path("Pictures") / std::string(tvx::TextOf(project.name));
  if (fs::exists(folder)) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      if (!entry.is_regular_file()) continue;
      ++run.files;
      run.bytes += entry.file_size();
    }
  }
  run.status = tvx::DownloadedSites.GetCount() > 0
                   ? std::string(tvx::TextOf(tvx::DownloadedSites.GetAt(0)->status))
                   : std::string(tvx::TextOf(tvx::RequestedSites.GetAt(0)->status));
  return run;
}
