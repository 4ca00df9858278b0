#include "ui/views/ListPanelCommands.h"

#include <QDialog>
#include <QString>
#include <utility>
#include <vector>

#include "store/Lists.h"
#include "store/SiteOptions.h"
#include "ui/dialogs/FieldText.h"
#include "ui/dialogs/ProjProps.h"
#include "ui/frame/ItemCommands.h"
#include "ui/views/ListPanel.h"

namespace tvx::ui {

// The status of files sent here from the search results.
static constexpr const char* kSentFileStatus = "Ready for donwload";

void PanelDeleteEntry(CListPanel& panel) { DeleteSelectedEntries(&panel, panel); }

void PanelSendToRequestedFiles(CListPanel& panel) {
  if (ListKind.load() != kListSearchResults) return;
  for (int row : panel.SelectedRows()) {
    const QString url = panel.RowText(row, 0);
    // A link ending in "/" names a page, not a file: the command ends there,
    // and the rows after it are not sent either.
    if (url.endsWith(QLatin1Char('/'))) return;
    FileRecord record{};
    StoreText(record.url, url);
    SetText(record.status, kSentFileStatus);
    RequestedFiles.Add(record);
  }
}

void PanelSendToRequestedSites(CListPanel& panel) {
  if (ListKind.load() != kListSearchResults) return;
  std::vector<std::pair<QString, QString>> results;
  for (int row : panel.SelectedRows())
    results.emplace_back(panel.RowText(row, 0), panel.RowText(row, 1));

  for (const auto& [url, searchName] : results) {
    SiteProject project{};
    StoreText(project.startUrl, url);
    StoreText(project.name, RowTextCut(searchName));
    CProjProps sheet(QString::fromLatin1(kNewWebProjectTitle), &panel);
    sheet.Load(project);
    if (sheet.exec() != QDialog::Accepted) continue;
    sheet.StoreInto(project, CProjProps::TimesRule::FromBoxes);
    project.reserved = 0;
    SetText(project.status, kReadyForDownload);
    RequestedSites.Add(project);
    SetOptionsOfSite(KeyOf(project), sheet.Options());
  }
}

void PanelProperties(CListPanel& panel) { EditSelectedProjects(&panel, panel); }

}  // namespace tvx::ui
