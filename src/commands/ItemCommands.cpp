#include "commands/ItemCommands.h"

#include <algorithm>

#include "files/LocalPath.h"

namespace tvx {
namespace {

// Appends a new record to its list. The window shows it first; a record it
// cannot show is kept out of the list.
// Gives the record's id, 0 when it was kept out.
template <class T>
ItemId AddShown(EngineState& engine, RecordList<T>& list, int kind, const T& record) {
  Reporter& ui = engine.Ui();
  const ItemId id = NewItemId();
  if (!ui.ItemAdded({kind, id}, std::string(KeyOf(record)), kReadyForDownload)) {
    ui.ShowMessage("Error adding files to list");
    return 0;
  }
  list.Add(record, id);
  return id;
}

void MarkEdited(SiteProject& project) {
  project.reserved = 0;
  SetText(project.status, kReadyForDownload);
}

// Opens one record after another in its dialog. A dialog is modal and workers
// go on meanwhile, so each record is found again before it is shown and
// again before it is written back.
template <class T, class Edit, class Finish, class Written>
void EditRecords(EngineState& engine, RecordList<T>& list, int kind,
                 const std::vector<ItemId>& selected, const Edit& edit, Finish finish,
                 Written written) {
  for (ItemId id : selected) {
    std::optional<T> before;
    engine.AsOneStep([&] { before = list.CopyOf(id); });
    if (!before) continue;

    std::optional<T> after = edit(*before);
    if (!after || !finish(*after)) continue;

    engine.AsOneStep([&] {
      if (!list.UpdateOf(id, [&](T& record) { record = *after; })) return;
      list.SetModified(true);
      written(*before, *after);
      // The status column keeps its text until the list is shown again.
      engine.Ui().ItemText({kind, id}, std::string(KeyOf(*after)));
    });
  }
}

// A web-site project whose name cannot name its folder is not stored.
bool NameAccepted(EngineState& engine, const SiteProject& project, SiteNameUse use) {
  const std::string problem = SiteNameProblem(KeyOf(project), use);
  if (problem.empty()) return true;
  engine.Ui().ShowMessage(problem);
  return false;
}

// A deleted project's options go, unless a project of its name is still in
// the requested or downloaded web sites.
void ForgetDeletedSite(EngineState& engine, std::string_view name) {
  if (engine.lists.requestedSites.Find(name) >= 0 || engine.lists.downloadedSites.Find(name) >= 0)
    return;
  engine.siteOptions.Forget(name);
  engine.archive.Forget(name);
}

// Search projects may share a name: the choice of engines goes with the last
// project of its name.
void ForgetDeletedSearch(EngineState& engine, std::string_view name) {
  if (engine.lists.searchProjects.Find(name) >= 0) return;
  engine.searchOptions.Forget(name);
}

}  // namespace

void AddFiles(EngineState& engine, std::string_view typedUrl) {
  TVX_ASSERT_UI_THREAD();
  if (typedUrl.empty()) return;
  std::string url(typedUrl);
  if (url.find("//") == std::string::npos) url.insert(0, "http://");
  engine.AsOneStep([&] {
    AddShown(engine, engine.lists.requestedFiles, kListRequestedFiles, MakeFileRecord(url));
  });
}

SiteProject NewWebSiteProject() {
  SiteProject project{};
  project.runWhenRequested = 1;
  project.stopWhenRequested = 1;
  return project;
}

void AddWebSite(EngineState& engine, SiteProject project, const SiteOptions& options) {
  TVX_ASSERT_UI_THREAD();
  if (KeyOf(project).empty() || !NameAccepted(engine, project, SiteNameUse::Adding)) return;
  // A project that runs or stops when requested keeps no time for it.
  if (project.runWhenRequested) project.startHour = project.startMinute = 0;
  if (project.stopWhenRequested) project.stopHour = project.stopMinute = 0;
  MarkEdited(project);
  engine.AsOneStep([&] {
    if (engine.lists.requestedSites.Find(KeyOf(project)) >= 0) {
      engine.Ui().ShowMessage("A project with that name already exists!");
      return;
    }
    if (AddShown(engine, engine.lists.requestedSites, kListRequestedSites, project))
      engine.siteOptions.Set(KeyOf(project), options);
  });
}

ItemId AddSearchProject(EngineState& engine, SearchProject project, const TodayEngines& today) {
  TVX_ASSERT_UI_THREAD();
  SetText(project.status, kReadyForDownload);
  ItemId id = 0;
  engine.AsOneStep([&] {
    id = AddShown(engine, engine.lists.searchProjects, kListSearchProjects, project);
    if (id != 0) engine.searchOptions.Set(KeyOf(project), today);
  });
  return id;
}

std::string SiteNameProblem(std::string_view name, SiteNameUse use) {
  if (name.empty() && use == SiteNameUse::Adding) return {};
  return ProjectNameProblem(name);
}

DeleteCheck CheckDeleteEntries(int list, std::size_t selectedItems) {
  if (list != kListRequestedFiles && list != kListRequestedSites && list != kListSearchProjects)
    return {"You are not alowed to delete entries in this panel", {}};
  if (selectedItems == 0) return {};
  return {{},
          selectedItems == 1 ? "Are you sure you want to delete that entry?"
                             : "Are you sure you want to delete those entries?"};
}

void DeleteEntries(EngineState& engine, int list, const std::vector<ItemId>& selected) {
  TVX_ASSERT_UI_THREAD();
  const DeleteCheck check = CheckDeleteEntries(list, selected.size());
  if (!check.refusal.empty()) {
    engine.Ui().ShowMessage(check.refusal);
    return;
  }
  engine.AsOneStep([&] {
    WithList(engine.lists, list, [&](auto& records) {
      for (ItemId id : selected) {
        const auto record = records.CopyOf(id);
        if (!record) continue;
        engine.Ui().ItemRemoved({list, id});
        records.Remove(id);
        // A deleted project takes its options along.
        if (list == kListRequestedSites) ForgetDeletedSite(engine, KeyOf(*record));
        if (list == kListSearchProjects) ForgetDeletedSearch(engine, KeyOf(*record));
      }
    });
  });
}

void EditProjects(EngineState& engine, int list, const std::vector<ItemId>& selected,
                  const EditSite& editSite, const EditSearch& editSearch) {
  TVX_ASSERT_UI_THREAD();
  if (list == kListRequestedSites) {
    SiteOptions options;  // as the sheet of the project in hand gave them
    EditRecords(
        engine, engine.lists.requestedSites, list, selected,
        [&](const SiteProject& project) -> std::optional<SiteProject> {
          std::optional<SiteEdit> made =
              editSite({project, engine.siteOptions.Get(KeyOf(project))});
          if (!made) return std::nullopt;
          options = made->options;
          return made->project;
        },
        [&](SiteProject& project) {
          MarkEdited(project);
          return NameAccepted(engine, project, SiteNameUse::Editing);
        },
        [&](const SiteProject& before, const SiteProject& after) {
          engine.siteOptions.Set(KeyOf(after), options, KeyOf(before));
          // What its crawls saved follows the project, as its options do.
          engine.archive.Rename(KeyOf(before), KeyOf(after));
        });
  } else if (list == kListSearchProjects) {
    TodayEngines today;  // as the dialog of the project in hand gave them
    EditRecords(
        engine, engine.lists.searchProjects, list, selected,
        [&](const SearchProject& project) -> std::optional<SearchProject> {
          std::optional<SearchEdit> made =
              editSearch({project, engine.searchOptions.Get(KeyOf(project))});
          if (!made) return std::nullopt;
          today = made->today;
          return made->project;
        },
        [](SearchProject& project) {
          SetText(project.status, kReadyForDownload);
          return true;
        },
        [&](const SearchProject& before, const SearchProject& after) {
          // The old name's choice stays while another project bears it.
          const bool shared = engine.lists.searchProjects.Find(KeyOf(before)) >= 0;
          engine.searchOptions.Set(KeyOf(after), today, shared ? "" : KeyOf(before));
        });
  }
}

void SendToRequestedSites(EngineState& engine, const std::vector<SearchResultRow>& selected,
                          SendToOrigin origin, const EditSite& edit) {
  TVX_ASSERT_UI_THREAD();
  for (const SearchResultRow& result : selected) {
    SiteProject fresh{};
    SiteProject& start = origin == SendToOrigin::Frame ? engine.sendToDraft : fresh;
    // The whole URL: a start address cut short would point somewhere else.
    SetText(start.startUrl, result.url);
    SetText(start.name, result.searchName);
    start.runWhenRequested = 1;
    start.stopWhenRequested = 1;

    const SiteOptions startOptions =
        origin == SendToOrigin::Frame ? engine.sendToDraftOptions : NewSiteOptions();
    std::optional<SiteEdit> made = edit({start, startOptions});
    if (!made) continue;
    MarkEdited(made->project);
    if (!NameAccepted(engine, made->project, SiteNameUse::Editing)) continue;
    if (origin == SendToOrigin::Frame) {
      engine.sendToDraft = made->project;
      engine.sendToDraftOptions = made->options;
    }
    engine.AsOneStep([&] {
      const ItemId id = engine.lists.requestedSites.Add(made->project);
      engine.Ui().ItemAdded({kListRequestedSites, id}, std::string(KeyOf(made->project)),
                            kReadyForDownload);
      engine.siteOptions.Set(KeyOf(made->project), made->options);
    });
  }
}

void SendDownloadedSitesToRequested(EngineState& engine, const std::vector<ItemId>& selected) {
  TVX_ASSERT_UI_THREAD();
  engine.AsOneStep([&] {
    Lists& lists = engine.lists;
    bool refused = false;
    for (ItemId id : selected) {
      std::optional<SiteProject> project = lists.downloadedSites.CopyOf(id);
      if (!project) continue;
      if (lists.requestedSites.Find(KeyOf(*project)) >= 0) {
        refused = true;
        continue;
      }
      MarkEdited(*project);
      // Into its new list first: a save in between keeps it twice, never none.
      const ItemId moved = lists.requestedSites.Add(*project);
      engine.Ui().ItemRemoved({kListDownloadedSites, id});
      lists.downloadedSites.Remove(id);
      engine.Ui().ItemAdded({kListRequestedSites, moved}, std::string(KeyOf(*project)),
                            kReadyForDownload);
    }
    if (refused) engine.Ui().ShowMessage("A project with that name already exists!");
  });
}

}  // namespace tvx
