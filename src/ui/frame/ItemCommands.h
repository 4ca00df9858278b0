#pragma once
// The frame's handlers for the commands that add, delete and edit items. They
// act on the list ListKind selects and on the rows selected in the list panel.
#include "store/Records.h"

class QWidget;

namespace tvx::ui {

class CListPanel;

void FrameAddFiles(QWidget* parent, CListPanel& panel);          // Add File(s)
void FrameAddWebSite(QWidget* parent, CListPanel& panel);        // Add Web Site
void FrameAddSearchProject(QWidget* parent, CListPanel& panel);  // Add Search Project
void FrameDeleteEntry(QWidget* parent, CListPanel& panel);       // Delete Entry
void FrameProperties(QWidget* parent, CListPanel& panel);        // Properties...
void FrameSendToRequestedSites(QWidget* parent,
                               CListPanel& panel);  // Send To > Requested Web Sites

// Shared with the list panel's own handlers.

// Deletes the selected rows and their records after one Yes/No question;
// refuses in the lists whose entries cannot be deleted.
void DeleteSelectedEntries(QWidget* parent, CListPanel& panel);
// Opens each selected web-site or search project in its dialog, one after
// another, and writes back what the user confirms.
void EditSelectedProjects(QWidget* parent, CListPanel& panel);

// The project Send To > Requested Web Sites starts from. It lives for the whole
// run, so values a later Send To does not overwrite carry over from the last one.
SiteProject& SendToDraft();

}  // namespace tvx::ui
