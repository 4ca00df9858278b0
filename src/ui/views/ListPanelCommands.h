#pragma once
// The list panel's own handlers for Delete, the two Send To commands and
// Properties, used while the panel is the active pane.
namespace tvx::ui {

class CListPanel;

void PanelDeleteEntry(CListPanel& panel);
void PanelSendToRequestedFiles(CListPanel& panel);
void PanelSendToRequestedSites(CListPanel& panel);
void PanelProperties(CListPanel& panel);

}  // namespace tvx::ui
