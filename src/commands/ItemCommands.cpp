#include "commands/ItemCommands.h"

#include <algorithm>
#include <cstring>

#include "commands/OneStep.h"
#include "files/LocalPath.h"
#include "store/ListFiles.h"
#include "store/Lists.h"
#include "workers/Reporting.h"

namespace tvx {
namespace {

// Appends a new record to its list; while that list is shown, its row goes on
// top first, and a row that cannot be made keeps the record out of the list.
template <class T>
bool AddShown(RecordList<T>& list, int kind, const T& record) {
  Reporter& ui = *CurrentReporter();
  if (ListKind.load() == kind && !ui.AddTopRow(std::string(KeyOf(record)), kReadyForDownload)) {
    ui.ShowMessage("Error adding files to list");
    return false;
  }
  list.Add(record);
  return true;
}

void MarkEdited(SiteProject& project) {
  project.reserved = 0;
  SetText(project.status, kReadyForDownload);
}

// Which record a row stands for, in a form that outlives a dialog: its key
// and how many records of that key come before it.
struct RecordId {
  std::string key;
  int occurrence = 0;
};

template <class T>
int IndexOfId(const RecordList<T>& list, const RecordId& id) {
  return list.Locked([&] {
    int seen = 0;
    for (int i = 0; i < list.GetCount(); ++i) {
      if (!EqualsIgnoreCase(KeyOf(*list.GetAt(i)), id.key)) continue;
      if (seen++ == id.occurrence) return i;
    }
    return -1;
  });
}

// Workers write a project's status while its dialog is open, nothing else.
template <class T>
bool SameButStatus(T a, T b) {
  std::memset(a.status, 0, sizeof a.status);
  std::memset(b.status, 0, sizeof b.status);
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Where the record shown in a dialog is now: found by its id, or when that
// finds another record (one of its name went away meanwhile) by its values;
// -1 when it is gone.
template <class T>
int IndexOfShown(const RecordList<T>& list, const RecordId& id, const T& shown) {
  return list.Locked([&] {
    const int index = IndexOfId(list, id);
    if (index >= 0 && SameButStatus(*list.GetAt(index), shown)) return index;
    for (int i = 0; i < list.GetCount(); ++i)
      if (SameButStatus(*list.GetAt(i), shown)) return i;
    return -1;
  });
}

// The record a row shows: the row's place gives its index; when the record
// there has another key than the row (the panel fell out of step) the row's
// key is looked up instead.
template <class T>
std::optional<RecordId> IdOfRow(const RecordList<T>& list, const RowRef& ref) {
  return list.Locked([&]() -> std::optional<RecordId> {
    int index = IndexOfRow(list.GetCount(), ref.row);
    const T* record = list.GetAt(index);
    if (!record || !EqualsIgnoreCase(KeyOf(*record), ref.text)) index = list.Find(ref.text);
    if (index < 0) return std::nullopt;
    RecordId id{std::string(KeyOf(*list.GetAt(index))), 0};
    for (int i = 0; i < index; ++i)
      if (EqualsIgnoreCase(KeyOf(*list.GetAt(i)), id.key)) ++id.occurrence;
    return id;
  });
}

// Opens one record after another in its dialog. A dialog is modal and workers
// go on meanwhile, so each record is found again before it is shown and
// again before it is written back.
template <class T, class Edit, class Finish, class Written>
void EditRecords(RecordList<T>& list, int kind, const std::vector<RowRef>& selected,
                 const Edit& edit, Finish finish, Written written) {
  std::vector<RecordId> ids;
  for (const RowRef& ref : selected)
    if (auto id = IdOfRow(list, ref)) ids.push_back(std::move(*id));

  for (const RecordId& id : ids) {
    std::optional<T> before;
    AsOneStep([&] {
      const int index = IndexOfId(list, id);
      if (index >= 0) before = list.CopyAt(index);
    });
    if (!before) continue;

    std::optional<T> after = edit(*before);
    if (!after || !finish(*after)) continue;

    AsOneStep([&] {
      const int index = IndexOfShown(list, id, *before);
      if (index < 0) return;
      list.Update(index, [&](T& record) { record = *after; });
      list.SetModified(true);
      written(*before, *after);
      // The status column keeps its text until the list is shown again.
      if (ListKind.load() == kind)
        CurrentReporter()->SetRowText(RowOfIndex(list.GetCount(), index),
                                      std::string(KeyOf(*after)));
    });
  }
}

// A web-site project whose name cannot name its folder is not stored.
bool NameAccepted(const SiteProject& project, SiteNameUse use) {
  const std::string problem = SiteNameProblem(KeyOf(project), use);
  if (problem.empty()) return true;
  CurrentReporter()->ShowMessage(problem);
  return false;
}

}  // namespace

void AddFiles(std::string_view typedUrl) {
  TVX_ASSERT_UI_THREAD();
  if (typedUrl.empty()) return;
  std::string url(typedUrl);
  if (url.find("//") == std::string::npos) url.insert(0, "http://");
  AsOneStep([&] { AddShown(RequestedFiles, kListRequestedFiles, MakeFileRecord(url)); });
}

SiteProject NewWebSiteProject() {
  SiteProject project{};
  project.runWhenRequested = 1;
  project.stopWhenRequested = 1;
  return project;
}

void AddWebSite(SiteProject project, const SiteOptions& options) {
  TVX_ASSERT_UI_THREAD();
  if (KeyOf(project).empty() || !NameAccepted(project, SiteNameUse::Adding)) return;
  // A project that runs or stops when requested keeps no time for it.
  if (project.runWhenRequested) project.startHour = project.startMinute = 0;
  if (project.stopWhenRequested) project.stopHour = project.stopMinute = 0;
  MarkEdited(project);
  AsOneStep([&] {
    if (RequestedSites.Find(KeyOf(project)) >= 0) {
      CurrentReporter()->ShowMessage("A project with that name already exists!");
      return;
    }
    if (AddShown(RequestedSites, kListRequestedSites, project))
      SetOptionsOfSite(KeyOf(project), options);
  });
}

void AddSearchProject(SearchProject project) {
  TVX_ASSERT_UI_THREAD();
  SetText(project.status, kReadyForDownload);
  AsOneStep([&] { AddShown(SearchProjects, kListSearchProjects, project); });
}

std::string SiteNameProblem(std::string_view name, SiteNameUse use) {
  if (name.empty() && use == SiteNameUse::Adding) return {};
  return ProjectNameProblem(name);
}

DeleteCheck CheckDeleteEntries(std::size_t selectedRows) {
  const int kind = ListKind.load();
  if (kind != kListRequestedFiles && kind != kListRequestedSites && kind != kListSearchProjects)
    return {"You are not alowed to delete entries in this panel", {}};
  if (selectedRows == 0) return {};
  return {{},
          selectedRows == 1 ? "Are you sure you want to delete that entry?"
                            : "Are you sure you want to delete those entries?"};
}

void DeleteEntries(const std::vector<RowRef>& selected) {
  TVX_ASSERT_UI_THREAD();
  const int kind = ListKind.load();
  const DeleteCheck check = CheckDeleteEntries(selected.size());
  if (!check.refusal.empty()) {
    CurrentReporter()->ShowMessage(check.refusal);
    return;
  }
  std::vector<RowRef> rows = selected;
  std::sort(rows.begin(), rows.end(),
            [](const RowRef& a, const RowRef& b) { return a.row < b.row; });
  AsOneStep([&] {
    WithList(kind, [&](auto& list) {
      // Top row first: its record has the highest index, so removing it
      // leaves the indices of the rows below as they were; the rows below
      // move up one in the panel for each row deleted above them.
      const int count = list.GetCount();
      int deleted = 0;
      for (const RowRef& ref : rows) {
        const int index = IndexOfRow(count, ref.row);
        const auto record = list.CopyAt(index);
        if (!record || !EqualsIgnoreCase(KeyOf(*record), ref.text)) continue;
        CurrentReporter()->DeleteRow(ref.row - deleted);
        list.RemoveAt(index);
        ++deleted;
        // A deleted web-site project takes its options along.
        if (kind == kListRequestedSites) ForgetDeletedSite(ref.text);
      }
    });
  });
}

void EditProjects(const std::vector<RowRef>& selected, const EditSite& editSite,
                  const EditSearch& editSearch) {
  TVX_ASSERT_UI_THREAD();
  const int kind = ListKind.load();
  if (kind == kListRequestedSites) {
    SiteOptions options;  // as the sheet of the project in hand gave them
    EditRecords(
        RequestedSites, kind, selected,
        [&](const SiteProject& project) -> std::optional<SiteProject> {
          std::optional<SiteEdit> made = editSite({project, OptionsOfSite(KeyOf(project))});
          if (!made) return std::nullopt;
          options = made->options;
          return made->project;
        },
        [](SiteProject& project) {
          MarkEdited(project);
          return NameAccepted(project, SiteNameUse::Editing);
        },
        [&](const SiteProject& before, const SiteProject& after) {
          SetOptionsOfSite(KeyOf(after), options, KeyOf(before));
        });
  } else if (kind == kListSearchProjects) {
    EditRecords(
        SearchProjects, kind, selected, editSearch,
        [](SearchProject& project) {
          SetText(project.status, kReadyForDownload);
          return true;
        },
        [](const SearchProject&, const SearchProject&) {});
  }
}

SiteProject& SendToDraft() {
  static SiteProject draft{};
  return draft;
}

namespace {
// The options the frame's Send To carries over with its draft.
SiteOptions& SendToDraftOptions() {
  static SiteOptions options;
  return options;
}
}  // namespace

void SendToRequestedSites(const std::vector<SearchResultRow>& selected, SendToOrigin origin,
                          const EditSite& edit) {
  TVX_ASSERT_UI_THREAD();
  if (ListKind.load() != kListSearchResults) return;
  for (const SearchResultRow& result : selected) {
    SiteProject fresh{};
    SiteProject& start = origin == SendToOrigin::Frame ? SendToDraft() : fresh;
    // The whole URL: a start address cut short would point somewhere else.
    SetText(start.startUrl, result.url);
    SetText(start.name, result.searchName);
    start.runWhenRequested = 1;
    start.stopWhenRequested = 1;

    const SiteOptions startOptions =
        origin == SendToOrigin::Frame ? SendToDraftOptions() : SiteOptions{};
    std::optional<SiteEdit> made = edit({start, startOptions});
    if (!made) continue;
    MarkEdited(made->project);
    if (!NameAccepted(made->project, SiteNameUse::Editing)) continue;
    if (origin == SendToOrigin::Frame) {
      SendToDraft() = made->project;
      SendToDraftOptions() = made->options;
    }
    // The panel shows the search results: no row for the new project.
    AsOneStep([&] {
      RequestedSites.Add(made->project);
      SetOptionsOfSite(KeyOf(made->project), made->options);
    });
  }
}

void LoadListsAtStart() {
  TVX_ASSERT_UI_THREAD();
  LoadAllLists();
}

}  // namespace tvx
