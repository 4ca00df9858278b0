#pragma once
// The window's side of the commands that add, delete and edit items: it asks
// the user through the dialogs and confirmation boxes, then hands the answers
// to the commands, which change the lists and the panel's rows. The frame and
// the list panel share them.
#include "commands/ItemCommands.h"

class QWidget;

namespace tvx::ui {

class CListPanel;

void AskAddFiles(QWidget* parent, EngineState& engine);          // Add File(s)
void AskAddWebSite(QWidget* parent, EngineState& engine);        // Add Web Site
void AskAddSearchProject(QWidget* parent, EngineState& engine);  // Add Search Project
// Delete Entry on the rows selected in the panel, after one Yes/No question;
// refused in the lists whose entries cannot be deleted.
void AskDeleteEntries(QWidget* parent, CListPanel& panel);
// Properties: each selected web-site or search project in its dialog.
void AskEditProjects(QWidget* parent, CListPanel& panel);
// Send To > Requested Web Sites: a sheet for each selected search result;
// nothing unless the panel shows the search results.
void AskSendToRequestedSites(QWidget* parent, CListPanel& panel, SendToOrigin origin);
// Send To > Requested Files List: no question to ask; nothing unless the
// panel shows the search results.
void SendSelectedToRequestedFiles(CListPanel& panel);
// Delete All Lists, after a Yes/No question answered No by default.
void AskDeleteAllLists(QWidget* parent, EngineState& engine);

}  // namespace tvx::ui
