#pragma once
// A Reporter that records every call as a line of text, and a dispatcher
// that runs work under one lock on the calling thread, for engine tests. Like
// the views, the reporter insists on being called on the user-interface side.
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "support/ListReset.h"
#include "workers/WorkerControl.h"

namespace tvx::test {

class RecordingReporter : public Reporter {
 public:
  void SetRowStatus(int row, const std::string& text) override;
  void DeleteRow(int row) override;
  void InsertTopRow(const std::string& itemText) override;
  void DeleteAllRows() override;
  void SetRowProgress(int row, std::uint64_t done, std::uint64_t total) override;
  void SetRowText(int row, const std::string& itemText) override;
  void SetStatusText(StatusField field, const std::string& text) override;
  void StartBusy() override;
  void StopBusy() override;
  ProjectNode FindOrAddProject(const std::string& name) override;
  void AddFile(ProjectNode project, const std::string& path) override;
  void ShowMessage(const std::string& text) override;

  // Every call so far, e.g. "row 0 status: Stopped", "Status: Success",
  // "LastAction: Download ended", "delete row 2", "insert row: http://x",
  // "row 0 text: name", "row 0 progress: 512/2048",
  // "busy start", "busy stop", "project: name", "file: name <- path", "message: text".
  std::vector<std::string> Calls() const;
  // The calls whose text starts with prefix.
  std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
  bool Has(const std::string& call) const;
  void Clear();

  // The status view's texts as they stand now.
  std::string Text(StatusField field) const;
  // Files added under each project of the tree.
  std::vector<std::string> FilesOf(const std::string& project) const;

 private:
  void Record(std::string line);
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::map<StatusField, std::string> texts_;
  std::vector<std::string> projects_;
  std::map<std::string, std::vector<std::string>> files_;
};

// Runs work under one lock on the calling thread; the test's own thread
// counts as the user-interface thread.
using SerialDispatcher = tvx::SerialDispatcher;

// Installs a fresh reporter and dispatcher as the current UI for the life of
// the object, and resets the shared worker state (flags, registries, row).
class EngineFixture {
 public:
  EngineFixture();
  ~EngineFixture();
  RecordingReporter reporter;
  SerialDispatcher dispatcher;
  // Runs work as the user-interface thread would (atomic with the workers).
  void OnUi(const std::function<void()>& work) { dispatcher.Run(work); }
};

// Waits until pred holds or timeout passes; returns pred().
bool WaitFor(const std::function<bool()>& pred,
             std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Waits until no worker thread is left running.
bool WaitForWorkers(std::chrono::milliseconds timeout = std::chrono::seconds(30));

}  // namespace tvx::test
