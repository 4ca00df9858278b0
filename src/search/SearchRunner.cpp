#include "search/SearchRunner.h"

#include <optional>
#include <string>
#include <vector>

#include "search/EngineQuery.h"
#include "store/Lists.h"
#include "workers/RowReport.h"

namespace tvx {
namespace {

// The project's row now, or nullopt once it has left SearchProjects (then
// nothing of it is shown any more). Call on the user-interface side.
std::optional<int> RowOf(const std::string& name) {
  TVX_ASSERT_UI_THREAD();
  int index = SearchProjects.Find(name);
  if (index < 0) return std::nullopt;
  return RowOfIndex(SearchProjects.GetCount(), index);
}

std::string LinksFound(int count) { return std::to_string(count) + " links found"; }

// Appends the links to the search results. While the results are shown,
// each also goes on top of the panel, so that the panel keeps showing the
// list as it is.
void AppendResults(Reporter& ui, const std::vector<std::string>& links,
                   const std::string& projectName) {
  TVX_ASSERT_UI_THREAD();
  bool shown = ListKind.load() == kListSearchResults;
  for (const auto& link : links) {
    FileRecord record = MakeFileRecord(link, projectName);
    SearchResults.Add(record);
    if (shown) {
      ui.InsertTopRow(std::string(TextOf(record.url)));
      ui.SetRowStatus(0, std::string(TextOf(record.status)));
    }
  }
}

class Runner {
 public:
  Runner(WorkerEnv& env, const SearchProject& project)
      : env_(env), name_(TextOf(project.name)), searchText_(TextOf(project.searchText)) {}

  void Run(bool useAltaVista, bool useYahoo) {
    env_.OnUi([&] {
      row_ = RowOf(name_);
      Row().Cell("Running search project...");
    });
    env_.EnsureBusy();
    // A stop leaves the links of an engine already asked in SearchResults.
    bool stopped = (useAltaVista && !QueryAltaVista()) || (useYahoo && !QueryYahoo());
    env_.EndBusy();
    if (stopped) return;
    env_.OnUi([&] {
      row_ = RowOf(name_);
      if (error_) return;
      Row().Text(StatusField::LastAction, "Search ended");
      Row().Text(StatusField::Status, "Search completed succesfully");
    });
  }

 private:
  // Each returns false when the project was asked to stop.
  bool QueryAltaVista() {
    int n = Query(SearchEngine::AltaVista, "Retrieving links from Altavista...");
    bool stopped = false;
    env_.OnUi([&] {
      stopped = StopRaised();
      if (stopped) return;
      if (n <= 0) {
        error_ = true;
        Row().Cell("Error retrieving links from Altavista");
        Row().Text(StatusField::Status, "Error retrieving links from Altavista");
        return;
      }
      AppendResults(env_.reporter, links_, name_);
      Row().Cell("Search Completed Successfully");
      if (Row().Current()) {
        env_.reporter.SetStatusText(StatusField::Status, LinksFound(n));
        shownCount_ = n;
      }
    });
    return !stopped;
  }

  bool QueryYahoo() {
    int m = Query(SearchEngine::Yahoo, "Retrieving links from Yahoo...");
    bool stopped = false;
    env_.OnUi([&] {
      stopped = StopRaised();
      if (stopped) return;
      if (m <= 0) {
        error_ = true;
        Row().Text(StatusField::Status, "Error retrieving links from Yahoo");
        return;
      }
      AppendResults(env_.reporter, links_, name_);
      Row().Text(StatusField::Status, LinksFound(shownCount_ + m));
    });
    return !stopped;
  }

  int Query(SearchEngine engine, const char* lastAction) {
    env_.Checkpoint();
    env_.OnUi([&] {
      row_ = RowOf(name_);
      Row().Text(StatusField::LastAction, lastAction);
    });
    int n =
        QueryEngine(engine, searchText_, row_.value_or(-1), links_, [this] { env_.Checkpoint(); });
    env_.Checkpoint();
    return n;
  }

  // Finds the project again and, when its stop flag is raised, reports the
  // stop. On the user-interface side.
  bool StopRaised() {
    TVX_ASSERT_UI_THREAD();
    row_ = RowOf(name_);
    if (!row_ || Stops(WorkerKind::Search).Get(*row_) == 0) return false;
    Row().Cell("Search Stopped");
    Row().Text(StatusField::Status, "Search Stopped");
    return true;
  }

  // What the runner shows of its project's row as last found.
  RowReport Row() const { return RowReport(env_.reporter, kListSearchProjects, row_); }

  WorkerEnv& env_;
  const std::string name_;
  const std::string searchText_;
  std::optional<int> row_;
  std::vector<std::string> links_;  // shared by both queries, each refills it
  bool error_ = false;
  int shownCount_ = 0;  // the AltaVista count as shown in Status
};

}  // namespace

void RunSearchProject(WorkerEnv& env, const SearchProject& project) {
  // The other engines a project can name have no query: their flags are
  // not looked at.
  Runner(env, project).Run(project.useAltaVista != 0, project.useYahoo != 0);
}

std::shared_ptr<WorkerHandle> StartSearchWorker(const SearchProject& project,
                                                std::size_t stackSize) {
  SearchProject copy = project;  // the worker owns its project from creation on
  return LaunchWorker(WorkerKind::Search, std::string(TextOf(copy.name)), stackSize,
                      [copy](WorkerEnv& env) { RunSearchProject(env, copy); });
}

}  // namespace tvx
