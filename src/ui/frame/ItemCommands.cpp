#include "ui/frame/ItemCommands.h"

#include <QMessageBox>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

#include "store/Lists.h"
#include "store/SiteOptions.h"
#include "ui/MessageBox.h"
#include "ui/dialogs/AddFileDlg.h"
#include "ui/dialogs/AddSearchDlg.h"
#include "ui/dialogs/FieldText.h"
#include "ui/dialogs/ProjProps.h"
#include "ui/views/ListPanel.h"

namespace tvx::ui {
namespace {

template <class T>
QString KeyText(const T& record) {
  const std::string_view key = KeyOf(record);
  return QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

// Appends a new record to its list; while that list is shown, its row goes on
// top first, and a row that cannot be made keeps the record out of the list.
template <class T>
void AddShownRecord(QWidget* parent, CListPanel& panel, RecordList<T>& list, int kind,
                    const T& record) {
  if (ListKind.load() == kind &&
      !panel.InsertTopRow(KeyText(record), QString::fromLatin1(kReadyForDownload))) {
    ShowMessageBox(parent, QStringLiteral("Error adding files to list"));
    return;
  }
  list.Add(record);
}

// Where an element sits in its list now, or -1 once it has been removed.
// Call with the list locked.
template <class T>
int IndexOfElement(RecordList<T>& list, const T* element) {
  const int count = list.GetCount();
  for (int i = 0; i < count; ++i)
    if (list.GetAt(i) == element) return i;
  return -1;
}

// The record each selected row shows: the row's place gives its index; when
// the record there has another name than the row (the panel fell out of step)
// the row's name is looked up instead.
template <class T>
std::vector<const T*> ElementsOfRows(RecordList<T>& list, CListPanel& panel,
                                     const std::vector<int>& rows) {
  return list.Locked([&] {
    std::vector<const T*> elements;
    const int count = list.GetCount();
    for (int row : rows) {
      const QByteArray name = RowTextCut(panel.RowText(row, 0)).toUtf8();
      const std::string_view nameView(name.constData(), static_cast<std::size_t>(name.size()));
      const T* element = list.GetAt(IndexOfRow(count, row));
      if (!element || !EqualsIgnoreCase(KeyOf(*element), nameView))
        element = list.GetAt(list.Find(nameView));
      if (element) elements.push_back(element);
    }
    return elements;
  });
}

// Opens one record after another in its dialog. The dialogs are modal, and
// while one is open workers may still move records, so each record is looked
// up again before it is shown and again before it is written back.
template <class T, class Dialog>
void EditRecords(CListPanel& panel, RecordList<T>& list, int kind, Dialog&& runDialog) {
  const std::vector<const T*> elements = ElementsOfRows(list, panel, panel.SelectedRows());
  for (const T* element : elements) {
    const std::optional<T> before = list.Locked([&]() -> std::optional<T> {
      const int index = IndexOfElement(list, element);
      return index < 0 ? std::nullopt : list.CopyAt(index);
    });
    if (!before) continue;

    const std::optional<T> after = runDialog(*before);
    if (!after) continue;

    int row = -1;
    list.Locked([&] {
      const int index = IndexOfElement(list, element);
      if (index < 0 || !EqualsIgnoreCase(KeyOf(*element), KeyOf(*before))) return;
      list.Update(index, [&](T& record) { record = *after; });
      list.SetModified(true);
      row = RowOfIndex(list.GetCount(), index);
    });
    // The status column keeps its text until the list is shown again.
    if (row >= 0 && ListKind.load() == kind && row < panel.RowCount())
      panel.SetRowText(row, 0, KeyText(*after));
  }
}

void MarkEdited(SiteProject& project) {
  project.reserved = 0;
  SetText(project.status, kReadyForDownload);
}

}  // namespace

SiteProject& SendToDraft() {
  static SiteProject draft{};
  return draft;
}

void FrameAddFiles(QWidget* parent, CListPanel& panel) {
  CAddFileDlg dialog(parent);
  if (dialog.exec() != QDialog::Accepted) return;
  QString url = dialog.Url();
  if (url.isEmpty()) return;
  if (!url.contains(QLatin1String("//"))) url.prepend(QLatin1String("http://"));

  FileRecord record{};
  StoreText(record.url, url);
  SetText(record.status, kReadyForDownload);
  AddShownRecord(parent, panel, RequestedFiles, kListRequestedFiles, record);
}

void FrameAddWebSite(QWidget* parent, CListPanel& panel) {
  SiteProject project{};
  project.runWhenRequested = 1;
  project.stopWhenRequested = 1;
  CProjProps sheet(QString::fromLatin1(kAddWebProjectTitle), parent);
  sheet.Load(project);
  if (sheet.exec() != QDialog::Accepted) return;
  if (sheet.general().projectName.isEmpty()) return;

  sheet.StoreInto(project, CProjProps::TimesRule::ZeroWhenRequested);
  MarkEdited(project);
  if (RequestedSites.Find(KeyOf(project)) >= 0) {
    ShowMessageBox(parent, QStringLiteral("A project with that name already exists!"));
    return;
  }
  AddShownRecord(parent, panel, RequestedSites, kListRequestedSites, project);
  if (RequestedSites.Find(KeyOf(project)) >= 0) SetOptionsOfSite(KeyOf(project), sheet.Options());
}

void FrameAddSearchProject(QWidget* parent, CListPanel& panel) {
  CAddSearchDlg dialog(parent);
  if (dialog.exec() != QDialog::Accepted) return;
  SearchProject project{};
  dialog.StoreInto(project);
  SetText(project.status, kReadyForDownload);
  AddShownRecord(parent, panel, SearchProjects, kListSearchProjects, project);
}

void DeleteSelectedEntries(QWidget* parent, CListPanel& panel) {
  const int kind = ListKind.load();
  if (kind != kListRequestedFiles && kind != kListRequestedSites && kind != kListSearchProjects) {
    ShowMessageBox(parent, QStringLiteral("You are not alowed to delete entries in this panel"));
    return;
  }
  const std::size_t selected = panel.SelectedRows().size();
  if (selected == 0) return;
  const QString question = selected == 1
                               ? QStringLiteral("Are you sure you want to delete that entry?")
                               : QStringLiteral("Are you sure you want to delete those entries?");
  if (ShowMessageBox(parent, question, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
    return;

  std::vector<std::string> removed;
  auto removeRows = [&panel, &removed](auto& list) {
    // Counted after the answer: the rows may have changed while the box was open.
    const std::size_t n = panel.SelectedRows().size();
    for (std::size_t i = 0; i < n; ++i) {
      const int count = list.GetCount();
      int row = -1;
      for (int r : panel.SelectedRows())
        if (r < count) {
          row = r;
          break;
        }
      if (row < 0) return;
      panel.DeleteRow(row);
      if (auto record = list.CopyAt(IndexOfRow(count, row))) removed.emplace_back(KeyOf(*record));
      list.RemoveAt(IndexOfRow(count, row));
    }
  };
  if (kind == kListRequestedFiles) {
    removeRows(RequestedFiles);
  } else if (kind == kListRequestedSites) {
    removeRows(RequestedSites);
    for (const std::string& name : removed) ForgetDeletedSite(name);
  } else {
    removeRows(SearchProjects);
  }
}

void EditSelectedProjects(QWidget* parent, CListPanel& panel) {
  const int kind = ListKind.load();
  if (kind == kListRequestedSites) {
    EditRecords(panel, RequestedSites, kind,
                [parent](const SiteProject& project) -> std::optional<SiteProject> {
                  CProjProps sheet(QString::fromLatin1(kWebProjectPropertiesTitle), parent);
                  sheet.Load(project, OptionsOfSite(KeyOf(project)));
                  if (sheet.exec() != QDialog::Accepted) return std::nullopt;
                  SiteProject edited = project;
                  sheet.StoreInto(edited, CProjProps::TimesRule::FromBoxes);
                  MarkEdited(edited);
                  SetOptionsOfSite(KeyOf(edited), sheet.Options(), KeyOf(project));
                  return edited;
                });
  } else if (kind == kListSearchProjects) {
    EditRecords(panel, SearchProjects, kind,
                [parent](const SearchProject& project) -> std::optional<SearchProject> {
                  CAddSearchDlg dialog(parent);
                  dialog.Load(project);
                  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
                  SearchProject edited = project;
                  dialog.StoreInto(edited);
                  SetText(edited.status, kReadyForDownload);
                  return edited;
                });
  }
}

void FrameDeleteEntry(QWidget* parent, CListPanel& panel) { DeleteSelectedEntries(parent, panel); }

void FrameProperties(QWidget* parent, CListPanel& panel) { EditSelectedProjects(parent, panel); }

void FrameSendToRequestedSites(QWidget* parent, CListPanel& panel) {
  if (ListKind.load() != kListSearchResults) return;
  // Take the texts first: new results may push the rows down while a sheet is open.
  std::vector<std::pair<QString, QString>> results;
  for (int row : panel.SelectedRows())
    results.emplace_back(panel.RowText(row, 0), panel.RowText(row, 1));

  for (const auto& [url, searchName] : results) {
    SiteProject& draft = SendToDraft();
    // The whole URL: a start address cut short would point somewhere else.
    StoreText(draft.startUrl, url);
    StoreText(draft.name, RowTextCut(searchName));
    draft.runWhenRequested = 1;
    draft.stopWhenRequested = 1;
    CProjProps sheet(QString::fromLatin1(kWebProjectPropertiesTitle), parent);
    sheet.Load(draft);
    if (sheet.exec() != QDialog::Accepted) continue;
    sheet.StoreInto(draft, CProjProps::TimesRule::FromBoxes);
    MarkEdited(draft);
    RequestedSites.Add(draft);
    SetOptionsOfSite(KeyOf(draft), sheet.Options());
  }
}

}  // namespace tvx::ui
