#pragma once
// A stand-in for the windows in the crawl benchmarks: draws nothing, counts
// the URLs opened and the files saved, keeps the last "%d links found" and
// the link limit's text, and can stop the crawl when a given count of links
// is reached.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "crawler/CrawlWorker.h"
#include "engine/Engine.h"
#include "store/Lists.h"
#include "workers/Reporting.h"
#include "workers/WorkerControl.h"

class CountingUi final : public tvx::Reporter {
 public:
  explicit CountingUi(tvx::Engine& engine) : engine_(engine) {}
  bool ItemAdded(tvx::ItemRef, const std::string&, const std::string&) override { return true; }
  void ItemRemoved(tvx::ItemRef) override {}
  void AllItemsRemoved() override {}
  void ItemStatus(tvx::ItemRef, const std::string&) override {}
  void ItemText(tvx::ItemRef, const std::string&) override {}
  void ItemProgress(tvx::ItemRef, std::uint64_t, std::uint64_t) override {}
  void FollowItem(tvx::ItemRef) override {}
  // The user watches the crawl: its list is shown and the status view
  // follows it.
  bool ItemStatusText(tvx::ItemRef, tvx::StatusField field, const std::string& text,
                      tvx::WhenFollowed) override {
    SetStatusText(field, text);
    return true;
  }
  void SetStatusText(tvx::StatusField field, const std::string& text) override {
    if (field == tvx::StatusField::LastAction && text.rfind("Opening ", 0) == 0) ++urls;
    if (field == tvx::StatusField::Status && text.find(" links found") != std::string::npos) {
      lastLinks = text;
      if (text == stopAt) engine_.workers.RequestStopAll();
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

 private:
  tvx::Engine& engine_;
};

// What one watched crawl cost and left behind.
struct CrawlRun {
  bool started = false;
  double seconds = 0;
  long files = 0;  // files below Pictures/<project>
  std::uintmax_t bytes = 0;
  std::string status;  // the project's status at the end
};

// Adds the project to the engine's requested sites and crawls it, within the
// engine's limits, as the user watching it would; waits for the worker and
// counts what it saved.
inline CrawlRun WatchCrawl(tvx::Engine& engine, const tvx::SiteProject& project, CountingUi& ui) {
  namespace fs = std::filesystem;
  CrawlRun run;
  const tvx::ItemId id = engine.lists.requestedSites.Add(project);
  engine.SetUi(&ui, nullptr);
  auto began = std::chrono::steady_clock::now();
  run.started = tvx::StartCrawlWorker(engine, id, project) != nullptr;
  if (!run.started) {
    engine.SetUi(nullptr, nullptr);
    return run;
  }
  engine.workers.WaitUntilIdle(std::chrono::hours(24));
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  engine.SetUi(nullptr, nullptr);

  fs::path folder = fs::path("Pictures") / std::string(tvx::TextOf(project.name));
  if (fs::exists(folder)) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      if (!entry.is_regular_file()) continue;
      ++run.files;
      run.bytes += entry.file_size();
    }
  }
  run.status = engine.lists.downloadedSites.GetCount() > 0
                   ? std::string(tvx::TextOf(engine.lists.downloadedSites.GetAt(0)->status))
                   : std::string(tvx::TextOf(engine.lists.requestedSites.GetAt(0)->status));
  return run;
}
