#include "support/RecordingReporter.h"

#include <algorithm>
#include <thread>

#include "commands/Commands.h"
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
  TVX_ASSERT_UI_THREAD();
  Record("row " + std::to_string(row) + " status: " + text);
}
void RecordingReporter::DeleteRow(int row) {
  TVX_ASSERT_UI_THREAD();
  Record("delete row " + std::to_string(row));
}
bool RecordingReporter::AddTopRow(const std::string& itemText, const std::string& status) {
  TVX_ASSERT_UI_THREAD();
  Record("insert row: " + itemText);
  Record("row 0 status: " + status);
  return true;
}
void RecordingReporter::DeleteAllRows() {
  TVX_ASSERT_UI_THREAD();
  Record("delete all rows");
}
void RecordingReporter::SetRowText(int row, const std::string& itemText) {
  TVX_ASSERT_UI_THREAD();
  Record("row " + std::to_string(row) + " text: " + itemText);
}
void RecordingReporter::SetRowProgress(int row, std::uint64_t done, std::uint64_t total) {
  TVX_ASSERT_UI_THREAD();
  Record("row " + std::to_string(row) + " progress: " + std::to_string(done) + "/" +
         std::to_string(total));
}
void RecordingReporter::SetStatusText(StatusField field, const std::string& text) {
  TVX_ASSERT_UI_THREAD();
  {
    std::lock_guard lock(mutex_);
    texts_[field] = text;
  }
  Record(std::string(FieldName(field)) + ": " + text);
}
void RecordingReporter::StartBusy() {
  TVX_ASSERT_UI_THREAD();
  Record("busy start");
}
void RecordingReporter::StopBusy() {
  TVX_ASSERT_UI_THREAD();
  Record("busy stop");
}

ProjectNode RecordingReporter::FindOrAddProject(const std::string& name) {
  TVX_ASSERT_UI_THREAD();
  Record("project: " + name);
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < projects_.size(); ++i)
    if (projects_[i].find(name) != std::string::npos) return static_cast<ProjectNode>(i + 1);
  projects_.push_back(name);
  return static_cast<ProjectNode>(projects_.size());
}

void RecordingReporter::AddFile(ProjectNode project, const std::string& path) {
  TVX_ASSERT_UI_THREAD();
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

void RecordingReporter::ShowMessage(const std::string& text) {
  TVX_ASSERT_UI_THREAD();
  Record("message: " + text);
}

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

namespace {

EngineFixture* g_fixture = nullptr;

struct ProcessEngine {
  Engine engine;
  RecordingReporter reporter;
  ShownList shown{engine.lists, reporter};
};

ProcessEngine& Process() {
  static ProcessEngine* process = new ProcessEngine;  // lives to the end
  return *process;
}

}  // namespace

EngineFixture::EngineFixture()
    : engine_(std::make_unique<Engine>()), shown(engine_->lists, reporter) {
  engine_->SetUi(&shown, &dispatcher);
  g_fixture = this;
}

EngineFixture::~EngineFixture() {
  // Every worker is asked to stop (paused ones go on to see it), so none
  // outlives the reporter it reports to.
  engine_->workers.RequestStopAll();
  engine_->workers.WaitUntilIdle(std::chrono::seconds(30));
  engine_->SetUi(nullptr, nullptr);
  if (g_fixture == this) g_fixture = nullptr;
  engine_.reset();
}

Engine& E() { return g_fixture ? g_fixture->engine() : Process().engine; }

ShownList& Shown() { return g_fixture ? g_fixture->shown : Process().shown; }

namespace {
std::vector<int> Ascending(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}
}  // namespace

void DownloadRows(std::vector<int> rows) {
  DownloadItems(E(), Shown().Shown(), Shown().IdsOfRows(Ascending(std::move(rows))));
}

void StopRows(std::vector<int> rows) {
  StopItems(E(), Shown().Shown(), Shown().IdsOfRows(Ascending(std::move(rows))));
}

int FollowedRow() { return Shown().RowOf(Shown().Followed()); }

std::shared_ptr<WorkerHandle> WorkerAt(WorkerKind kind, int index) {
  auto all = E().workers.Registry(kind).Snapshot();
  return index >= 0 && index < static_cast<int>(all.size()) ? all[index] : nullptr;
}

void PauseWorker(WorkerKind kind, int index) {
  if (auto w = WorkerAt(kind, index)) w->Gate().Pause();
}

void ResumeWorker(WorkerKind kind, int index) {
  if (auto w = WorkerAt(kind, index)) w->Gate().Resume();
}

void RequestStop(WorkerKind kind, int index) {
  if (auto w = WorkerAt(kind, index)) w->RequestStop();
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
  return E().workers.WaitUntilIdle(timeout);
}

void ResetLists(int listKind) {
  auto clear = [](auto& list) {
    while (list.GetCount() > 0) list.RemoveAt(list.GetCount() - 1);
    list.SetModified(false);
  };
  Lists& lists = E().lists;
  clear(lists.requestedFiles);
  clear(lists.requestedSites);
  clear(lists.downloadedFiles);
  clear(lists.downloadedSites);
  clear(lists.searchProjects);
  clear(lists.searchResults);
  E().siteOptions.Reset();
  E().searchOptions.Reset();
  E().credits.Reset();
  E().Store().ResetForTest();
  Shown().Show(listKind);
}

}  // namespace tvx::test
