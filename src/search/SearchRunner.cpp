#include "search/SearchRunner.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "search/EngineQuery.h"
#include "search/TodayQuery.h"

namespace tvx {
namespace {

std::string LinksFound(int count) { return std::to_string(count) + " links found"; }

// Appends the links to the search results, each reported to the window as
// it joins the list.
void AppendResults(EngineState& engine, const std::vector<std::string>& links,
                   const std::string& projectName) {
  TVX_ASSERT_UI_THREAD();
  for (const auto& link : links) {
    FileRecord record = MakeFileRecord(link, projectName);
    const ItemId id = engine.lists.searchResults.Add(record);
    engine.Ui().ItemAdded({kListSearchResults, id}, std::string(TextOf(record.url)),
                          std::string(TextOf(record.status)));
  }
}

// Appends the results of an engine of today that are not in the search
// results yet, and keeps the credits of the pictures among them.
void AppendTodayResults(EngineState& engine, const std::vector<FoundItem>& items,
                        const std::string& projectName) {
  TVX_ASSERT_UI_THREAD();
  const RecordList<FileRecord>& results = engine.lists.searchResults;
  std::unordered_set<std::string> listed;
  results.Locked([&] {
    for (int i = 0; i < results.GetCount(); ++i) listed.insert(LowerCopy(KeyOf(*results.GetAt(i))));
  });
  std::vector<std::string> links;
  for (const FoundItem& item : items) {
    if (item.credit) engine.credits.Set(item.url, *item.credit);
    if (listed.insert(LowerCopy(item.url)).second) links.push_back(item.url);
  }
  AppendResults(engine, links, projectName);
}

class Runner {
 public:
  Runner(WorkerEnv& env, const SearchProject& project)
      : env_(env),
        item_(env.Item()),
        name_(TextOf(project.name)),
        searchText_(TextOf(project.searchText)) {}

  void Run(bool useAltaVista, bool useYahoo, const TodayEngines& today) {
    env_.OnUi([&] { Row().Cell("Running search project..."); });
    env_.EnsureBusy();
    // A stop leaves the links of an engine already asked in SearchResults.
    bool stopped = (useAltaVista && !QueryAltaVista()) || (useYahoo && !QueryYahoo());
    for (TodayEngine engine : kTodayEngines)
      if (!stopped && Asks(today, engine)) stopped = !QueryToday(engine);
    env_.EndBusy();
    if (stopped) return;
    env_.OnUi([&] {
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
      AppendResults(env_.engine, links_, name_);
      Row().Cell("Search Completed Successfully");
      if (Row().Text(StatusField::Status, LinksFound(n))) shownCount_ = n;
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
      AppendResults(env_.engine, links_, name_);
      if (Row().Text(StatusField::Status, LinksFound(shownCount_ + m))) shownCount_ += m;
    });
    return !stopped;
  }

  // An engine of today: its results, or what went wrong, in the row and in
  // Status. A failure after some pages keeps their results.
  bool QueryToday(TodayEngine engine) {
    env_.Checkpoint();
    const std::string title = EngineTitle(engine);
    env_.OnUi(
        [&] { Row().Text(StatusField::LastAction, "Retrieving links from " + title + "..."); });
    const TodayOutcome outcome =
        QueryTodayEngine(engine, searchText_,
                         {[this] { env_.Checkpoint(); }, [this] { return env_.StopRequested(); }});
    env_.Checkpoint();
    bool stopped = false;
    env_.OnUi([&] {
      stopped = StopRaised();
      if (stopped) return;
      AppendTodayResults(env_.engine, outcome.items, name_);
      const int n = static_cast<int>(outcome.items.size());
      if (outcome.failure.empty() && n > 0) {
        // A failure shown in the row stays there.
        if (!error_) Row().Cell("Search Completed Successfully");
        if (Row().Text(StatusField::Status, LinksFound(shownCount_ + n))) shownCount_ += n;
        return;
      }
      error_ = true;
      const std::string text =
          outcome.failure.empty() ? RetrieveErrorText(engine) : outcome.failure;
      Row().Cell(text);
      Row().Text(StatusField::Status, text);
    });
    return !stopped;
  }

  int Query(SearchEngine engine, const char* lastAction) {
    env_.Checkpoint();
    env_.OnUi([&] { Row().Text(StatusField::LastAction, lastAction); });
    int n = QueryEngine(
        engine, searchText_, links_, [this] { env_.Checkpoint(); },
        [this] { return env_.StopRequested(); });
    env_.Checkpoint();
    return n;
  }

  // When the project was asked to end, reports the stop. On the
  // user-interface side.
  bool StopRaised() {
    TVX_ASSERT_UI_THREAD();
    if (!env_.StopRequested()) return false;
    Row().Cell("Search Stopped");
    Row().Text(StatusField::Status, "Search Stopped");
    return true;
  }

  // What the runner shows of its project: its row's status, and status-view
  // texts while the view follows it; nothing once it has left its list.
  class ProjectReport {
   public:
    ProjectReport(WorkerEnv& env, ItemRef item)
        : env_(env), item_(item), found_(env.engine.lists.searchProjects.IndexOf(item.id) >= 0) {}
    void Cell(const std::string& text) const {
      if (found_) env_.reporter.ItemStatus(item_, text);
    }
    bool Text(StatusField field, const std::string& text) const {
      return found_ && env_.reporter.ItemStatusText(item_, field, text);
    }

   private:
    WorkerEnv& env_;
    ItemRef item_;
    bool found_;
  };
  ProjectReport Row() const { return ProjectReport(env_, item_); }

  WorkerEnv& env_;
  const ItemRef item_;
  const std::string name_;
  const std::string searchText_;
  std::vector<std::string> links_;  // shared by both queries, each refills it
  bool error_ = false;
  int shownCount_ = 0;  // the links found so far as shown in Status
};

}  // namespace

void RunSearchProject(WorkerEnv& env, const SearchProject& project) {
  // The other engines a project's record can name have no query: their
  // flags are not looked at. The engines of today come from the project's
  // choice as the run starts.
  Runner(env, project)
      .Run(project.useAltaVista != 0, project.useYahoo != 0,
           env.engine.searchOptions.Get(TextOf(project.name)));
}

std::shared_ptr<WorkerHandle> StartSearchWorker(EngineState& engine, ItemId id,
                                                const SearchProject& project,
                                                std::size_t stackSize) {
  SearchProject copy = project;  // the worker owns its project from creation on
  return engine.workers.Launch(engine, WorkerKind::Search, {kListSearchProjects, id},
                               std::string(TextOf(copy.name)), stackSize,
                               [copy](WorkerEnv& env) { RunSearchProject(env, copy); });
}

}  // namespace tvx
