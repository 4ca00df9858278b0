// Opening a file or a web page with the desktop's associated program. Tests
// install a hook to see what would be opened.
#pragma once

#include <QUrl>
#include <functional>

namespace tvx::ui {

// Asks the desktop to open url; the result is not examined by the callers.
bool OpenWithShell(const QUrl& url);

// Installs (or with an empty function removes) the hook that replaces the desktop.
void SetShellOpenHook(std::function<bool(const QUrl&)> hook);

}  // namespace tvx::ui
