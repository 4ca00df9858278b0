#include "ui/views/ShellOpen.h"

#include <QDesktopServices>

namespace tvx::ui {
namespace {

std::function<bool(const QUrl&)>& Hook() {
  static std::function<bool(const QUrl&)> hook;
  return hook;
}

}  // namespace

bool OpenWithShell(const QUrl& url) {
  if (Hook()) return Hook()(url);
  return QDesktopServices::openUrl(url);
}

void SetShellOpenHook(std::function<bool(const QUrl&)> hook) { Hook() = std::move(hook); }

}  // namespace tvx::ui
