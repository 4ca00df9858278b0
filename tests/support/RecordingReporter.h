#pragma once
// A Reporter that records every call as a line of text, and a dispatcher
// that runs work under one lock on the calling thread, for engine tests. Like
// the views, the reporter insists on being called on the user-interface side.
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "support/ListReset.h"
#include "ui/model/ShownList.h"
#include "workers/WorkerControl.h"

namespace tvx::test {

// Records what a window's widgets would do; a ShownList in front of it turns
// the engine's reports into these calls, as the window's does.
class RecordingReporter : public RowSink {
 public:
  void SetRowStatus(int row, const std::string& text) override;
  void DeleteRow(int row) override;
  // Recorded as "insert row: text" and "row 0 status: status".
  bool AddTopRow(const std::string& itemText, const std::string& status) override;
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

// A fresh engine for the life of the object, with a recording window in front
// of it (a ShownList showing the requested files, over the recorder) and a
// serial dispatcher; E() and Shown() give them while it lives. At its end
// every worker is asked to stop, and waited for.
class EngineFixture {
 public:
  EngineFixture();
  ~EngineFixture();
  EngineFixture(const EngineFixture&) = delete;
  EngineFixture& operator=(const EngineFixture&) = delete;

 private:
  std::unique_ptr<Engine> engine_;

 public:
  RecordingReporter reporter;
  SerialDispatcher dispatcher;
  ShownList shown;
  Engine& engine() { return *engine_; }
  // Runs work as the user-interface thread would (atomic with the workers).
  void OnUi(const std::function<void()>& work) { dispatcher.Run(work); }
};

// The window's Download and Stop on rows of the shown list (any order).
void DownloadRows(std::vector<int> rows);
void StopRows(std::vector<int> rows);
// The row of the item the status view follows, or -1.
int FollowedRow();
// The registered worker of kind at index (in start order), or null; and
// pausing, resuming and stopping it as the commands and the way out do.
std::shared_ptr<WorkerHandle> WorkerAt(WorkerKind kind, int index = 0);
void PauseWorker(WorkerKind kind, int index = 0);
void ResumeWorker(WorkerKind kind, int index = 0);
void RequestStop(WorkerKind kind, int index = 0);
// The item of the record at index of a list.
template <class T>
ItemRef ItemAt(int list, const RecordList<T>& records, int index) {
  return {list, records.IdAt(index)};
}
// Waits until pred holds or timeout passes; returns pred().
bool WaitFor(const std::function<bool()>& pred,
             std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Waits until no worker thread of E() is left running.
bool WaitForWorkers(std::chrono::milliseconds timeout = std::chrono::seconds(30));

}  // namespace tvx::test
