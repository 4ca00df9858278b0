#include "ui/frame/AskCommands.h"

#include <QMessageBox>
#include <QString>
#include <string>
#include <vector>

#include "commands/Commands.h"
#include "store/Lists.h"
#include "ui/MessageBox.h"
#include "ui/dialogs/AddFileDlg.h"
#include "ui/dialogs/AddSearchDlg.h"
#include "ui/dialogs/FieldText.h"
#include "ui/dialogs/ProjProps.h"
#include "ui/views/ListPanel.h"

namespace tvx::ui {
namespace {

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

bool AskYesNo(QWidget* parent, const std::string& question,
              QMessageBox::StandardButton preselected = QMessageBox::Yes) {
  return ShowMessageBox(parent, QString::fromStdString(question),
                        QMessageBox::Yes | QMessageBox::No, preselected) == QMessageBox::Yes;
}

// The web project sheet on a project; a name that cannot name the project's
// folder keeps the sheet open with a message.
std::optional<SiteEdit> RunProjectSheet(QWidget* parent, const char* title, const SiteEdit& edit,
                                        SiteNameUse use) {
  CProjProps sheet(QString::fromLatin1(title), parent);
  sheet.Load(edit.project, edit.options);
  sheet.SetNameCheck([use](const QString& name) {
    return QString::fromStdString(SiteNameProblem(Utf8(name), use));
  });
  if (sheet.exec() != QDialog::Accepted) return std::nullopt;
  SiteEdit made = edit;
  sheet.StoreInto(made.project);
  made.options = sheet.Options();
  return made;
}

std::optional<SearchEdit> RunSearchDialog(QWidget* parent, const SearchEdit* edit) {
  CAddSearchDlg dialog(parent);
  if (edit) dialog.Load(edit->project, edit->today);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  SearchEdit made = edit ? *edit : SearchEdit{};
  dialog.StoreInto(made.project);
  made.today = dialog.Values().today;
  return made;
}

}  // namespace

void AskAddFiles(QWidget* parent, EngineState& engine) {
  CAddFileDlg dialog(parent);
  if (dialog.exec() != QDialog::Accepted) return;
  AddFiles(engine, Utf8(dialog.Url()));
}

void AskAddWebSite(QWidget* parent, EngineState& engine) {
  if (auto made = RunProjectSheet(parent, kAddWebProjectTitle,
                                  {NewWebSiteProject(), NewSiteOptions()}, SiteNameUse::Adding))
    AddWebSite(engine, made->project, made->options);
}

void AskAddSearchProject(QWidget* parent, EngineState& engine) {
  if (auto made = RunSearchDialog(parent, nullptr))
    AddSearchProject(engine, made->project, made->today);
}

void AskDeleteEntries(QWidget* parent, CListPanel& panel) {
  if (!panel.Engine()) return;
  const DeleteCheck check = CheckDeleteEntries(panel.Shown(), panel.SelectedRows().size());
  if (!check.refusal.empty()) {
    ShowMessageBox(parent, QString::fromStdString(check.refusal));
    return;
  }
  if (check.question.empty() || !AskYesNo(parent, check.question)) return;
  // Read again after the answer: rows may have come and gone meanwhile.
  DeleteEntries(*panel.Engine(), panel.Shown(), panel.SelectedItems());
}

void AskEditProjects(QWidget* parent, CListPanel& panel) {
  if (!panel.Engine()) return;
  EditProjects(
      *panel.Engine(), panel.Shown(), panel.SelectedItems(),
      [parent](const SiteEdit& edit) {
        return RunProjectSheet(parent, kWebProjectPropertiesTitle, edit, SiteNameUse::Editing);
      },
      [parent](const SearchEdit& edit) { return RunSearchDialog(parent, &edit); });
}

void AskSendToRequestedSites(QWidget* parent, CListPanel& panel, SendToOrigin origin) {
  if (!panel.Engine()) return;
  if (panel.Shown() == kListDownloadedSites) {
    SendDownloadedSitesToRequested(*panel.Engine(), panel.SelectedItems());
    return;
  }
  if (panel.Shown() != kListSearchResults) return;
  // Take the texts first: new results push the rows down while a sheet is open.
  std::vector<SearchResultRow> results;
  for (int row : panel.SelectedRows())
    results.push_back({Utf8(panel.RowText(row, 0)), Utf8(RowTextCut(panel.RowText(row, 1)))});
  const char* title =
      origin == SendToOrigin::Frame ? kWebProjectPropertiesTitle : kNewWebProjectTitle;
  SendToRequestedSites(*panel.Engine(), results, origin, [parent, title](const SiteEdit& edit) {
    return RunProjectSheet(parent, title, edit, SiteNameUse::Editing);
  });
}

void SendSelectedToRequestedFiles(CListPanel& panel) {
  if (!panel.Engine() || panel.Shown() != kListSearchResults) return;
  std::vector<std::string> links;
  for (int row : panel.SelectedRows()) links.push_back(Utf8(panel.RowText(row, 0)));
  if (!links.empty()) SendToRequestedFiles(*panel.Engine(), links);
}

void AskDeleteAllLists(QWidget* parent, EngineState& engine) {
  if (AskYesNo(parent, kDeleteAllListsQuestion, QMessageBox::No)) DeleteAllLists(engine);
}

}  // namespace tvx::ui
