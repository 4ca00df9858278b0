#pragma once
// Helpers for the main window tests: a working folder of the test's own and a
// record of what would have been opened through the desktop.
#include <QDir>
#include <QString>
#include <QUrl>
#include <vector>

#include "support/TempDir.h"
#include "ui/views/ShellOpen.h"

namespace tvx::test {

// Makes a fresh temporary folder the working directory for the life of the
// object, since the program keeps its list files there.
class ScopedWorkDir {
 public:
  ScopedWorkDir() : old_(QDir::currentPath()) {
    QDir::setCurrent(QString::fromStdString(dir_.Path().string()));
  }
  ~ScopedWorkDir() { QDir::setCurrent(old_); }
  const TempDir& Dir() const { return dir_; }

 private:
  TempDir dir_;
  QString old_;
};

// Records every URL handed to the desktop instead of opening it, and answers
// as a desktop with (or without) a program for it would.
class ShellOpens {
 public:
  ShellOpens() {
    ui::SetShellOpenHook([this](const QUrl& url) {
      urls.push_back(url);
      return opened;
    });
  }
  ~ShellOpens() { ui::SetShellOpenHook({}); }
  std::vector<QUrl> urls;
  bool opened = true;
};

}  // namespace tvx::test
