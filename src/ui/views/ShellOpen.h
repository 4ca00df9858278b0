// Opening a file or a web page with the desktop's associated program. Tests
// install a hook to see what would be opened.
#pragma once

#include <QUrl>
#include <functional>

namespace tvx::ui {

// Asks the desktop to open url; false when it could not be handed on.
bool OpenWithShell(const QUrl& url);

// Opens a local file with the desktop's program for its type. When no
// program opens it, onFailure runs: at once, or once the desktop's opener
// has said so.
void OpenFileWithShell(const QString& path, std::function<void()> onFailure);

// Installs (or with an empty function removes) the hook that replaces the
// desktop; its answer says whether a program took the file or page.
void SetShellOpenHook(std::function<bool(const QUrl&)> hook);

}  // namespace tvx::ui
