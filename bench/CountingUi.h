#pragma once
// A stand-in for the windows in the crawl benchmarks: draws nothing, counts
// the URLs opened and the files saved, keeps the last "%d links found", and
// can stop the crawl in row 0 when a given count of links is reached.
#include <cstdio>
#include <string>

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
  }
  void StartBusy() override {}
  void StopBusy() override {}
  tvx::ProjectNode FindOrAddProject(const std::string&) override { return 1; }
  void AddFile(tvx::ProjectNode, const std::string&) override { ++files; }
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }

  long urls = 0;
  long files = 0;
  std::string lastLinks;
  std::string stopAt;  // the "%d links found" text that stops the crawl
};
