#include "ui/views/ShellOpen.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>

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

void OpenFileWithShell(const QString& path, std::function<void()> onFailure) {
  const QUrl url = QUrl::fromLocalFile(path);
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (Hook() || opener.isEmpty()) {
    if (!OpenWithShell(url)) onFailure();
    return;
  }
  // The desktop's opener says by its exit code whether a program took the
  // file; starting it detached, as QDesktopServices does, would lose that.
  // Some openers wait for the program to end, so the answer may come late.
  auto* process = new QProcess;
  process->setProgram(opener);
  process->setArguments({url.toLocalFile()});
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());
  QObject::connect(process, &QProcess::finished, process,
                   [process, onFailure](int exitCode, QProcess::ExitStatus status) {
                     if (status != QProcess::NormalExit || exitCode != 0) onFailure();
                     process->deleteLater();
                   });
  QObject::connect(process, &QProcess::errorOccurred, process,
                   [process, onFailure](QProcess::ProcessError error) {
                     if (error != QProcess::FailedToStart) return;
                     onFailure();
                     process->deleteLater();
                   });
  process->start();
}

void SetShellOpenHook(std::function<bool(const QUrl&)> hook) { Hook() = std::move(hook); }

}  // namespace tvx::ui
