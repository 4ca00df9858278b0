#include "support/RecordingReporter.h"

#include <thread>

#include "store/ListFiles.h"
#include "store/Lists.h"
#include "workers/WorkerControl.h"

namespace tvx::test {

namespace {
const char* FieldName(StatusField f) {
  switch (f) {
    case StatusField::CurrentProject:
      return "CurrentProject";
    case StatusField::LastAction:
      return "LastAction";
    case StatusField::Status:
      return "Status";
  }
  return "?";
}
}  // namespace

void RecordingReporter::Record(std::string line) {
  std::lock_guard lock(mutex_);
  calls_.push_back(std::move(line));
}

void RecordingReporter::SetRowStatus(int row, const std::string& text) {
  Record("row " + std::to_string(row) + " status: " + text);
}
void RecordingReporter::DeleteRow(int row) { Record("delete row " + std::to_string(row)); }
void RecordingReporter::InsertTopRow(const std::string& itemText) {
  Record("insert row: " + itemText);
}
void RecordingReporter::DeleteAllRows() { Record("delete all rows"); }
void RecordingReporter::SetStatusText(StatusField field, const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    texts_[field] = text;
  }
  Record(std::string(FieldName(field)) + ": " + text);
}
void RecordingReporter::StartBusy() { Record("busy start"); }
void RecordingReporter::StopBusy() { Record("busy stop"); }

ProjectNode RecordingReporter::FindOrAddProject(const std::string& name) {
  Record("project: " + name);
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < projects_.size(); ++i)
    if (projects_[i].find(name) != std::string::npos) return static_cast<ProjectNode>(i + 1);
  projects_.push_back(name);
  return static_cast<ProjectNode>(projects_.size());
}

void RecordingReporter::AddFile(ProjectNode project, const std::string& path) {
  std::string name;
  {
    std::lock_guard lock(mutex_);
    if (project >= 1 && project <= static_cast<ProjectNode>(projects_.size())) {
      name = projects_[project - 1];
      files_[name].push_back(path);
    }
  }
  Record("file: " + name + " <- " + path);
}

void RecordingReporter::ShowMessage(const std::string& text) { Record("message: " + text); }

std::vector<std::string> RecordingReporter::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> RecordingReporter::CallsStartingWith(const std::string& prefix) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& c : calls_)
    if (c.rfind(prefix, 0) == 0) out.push_back(c);
  return out;
}

bool RecordingReporter::Has(const std::string& call) const {
  std::lock_guard lock(mutex_);
  for (const auto& c : calls_)
    if (c == call) return true;
  return false;
}

void RecordingReporter::Clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

std::string RecordingReporter::Text(StatusField field) const {
  std::lock_guard lock(mutex_);
  auto it = texts_.find(field);
  return it == texts_.end() ? std::string() : it->second;
}

std::vector<std::string> RecordingReporter::FilesOf(const std::string& project) const {
  std::lock_guard lock(mutex_);
  auto it = files_.find(project);
  return it == files_.end() ? std::vector<std::string>() : it->second;
}

EngineFixture::EngineFixture() {
  WaitForWorkers();
  for (auto kind : {WorkerKind::File, WorkerKind::Site, WorkerKind::Search}) {
    Stops(kind).ClearAll();
    Registry(kind).Clear();
  }
  CurrentRow.store(0);
  BusyAnimation.store(false);
  ListKind.store(kListRequestedFiles);
  ResetLists();
  SetUi(&reporter, &dispatcher);
}

EngineFixture::~EngineFixture() {
  // Ask every worker to stop and let paused ones run on to see it, so none
  // outlives the reporter it reports to.
  for (auto kind : {WorkerKind::File, WorkerKind::Site, WorkerKind::Search}) {
    for (int row = 0; row < StopFlags::kRows; ++row) Stops(kind).Set(row, 1);
    for (const auto& worker : Registry(kind).Snapshot()) worker->Gate().Resume();
  }
  WaitForWorkers();
  SetUi(nullptr, nullptr);
  for (auto kind : {WorkerKind::File, WorkerKind::Site, WorkerKind::Search}) Stops(kind).ClearAll();
}

bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  auto until = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > until) return pred();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool WaitForWorkers(std::chrono::milliseconds timeout) {
  return WaitFor([] { return LiveWorkerCount() == 0; }, timeout);
}

void ResetLists(int listKind) {
  auto clear = [](auto& list) {
    while (list.GetCount() > 0) list.RemoveAt(list.GetCount() - 1);
    list.SetModified(false);
  };
  clear(RequestedFiles);
  clear(RequestedSites);
  clear(DownloadedFiles);
  clear(DownloadedSites);
  clear(SearchProjects);
  clear(SearchResults);
  ResetListFilesForTest();
  ListKind.store(listKind);
}

}  // namespace tvx::test
