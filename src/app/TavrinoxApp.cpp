#include "app/TavrinoxApp.h"

#include <QApplication>
#include <QScreen>
#include <QSettings>
#include <iostream>

#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif

#include "app/AboutDlg.h"
#include "app/QuitSignals.h"
#include "app/TavrinoxDoc.h"
#include "commands/CommandIds.h"
#include "engine/Engine.h"
#include "store/ListFiles.h"
#include "ui/MessageBox.h"
#include "ui/frame/MainFrame.h"

namespace tvx::ui {

CTavrinoxApp::CTavrinoxApp(Engine& engine) : engine_(engine), saver_(engine.Store()) {
  autoSave_.setInterval(kAutoSaveInterval);
  connect(&autoSave_, &QTimer::timeout, this, [this] { StartBackgroundSave(); });
#if QT_CONFIG(sessionmanager)
  connect(qApp, &QGuiApplication::commitDataRequest, this,
          [this](QSessionManager&) { SaveForSessionEnd(); });
#endif
}

CTavrinoxApp::~CTavrinoxApp() {
  autoSave_.stop();
  saver_.Wait();
  if (frame_) frame_->SetAppTarget(nullptr);
  engine_.Store().SetMessageHook({});
}

bool CTavrinoxApp::InitInstance() {
  // One program per folder, before anything of the folder is read: a second
  // copy would save the lists from its own memory over the first one's.
  switch (engine_.LockFolder()) {
    case FolderLock::Result::HeldByAnother:
      folderInUse_ = true;
      std::cerr << "Tavrinox: " << kAnotherCopyText << '\n';
      ShowMessageBox(nullptr, QString::fromLatin1(kAnotherCopyText));
      return false;
    case FolderLock::Result::Taken:
      ownsFolder_ = true;
      break;
    case FolderLock::Result::NotLockable:
      // A folder that takes no lock file takes no list file either: the run
      // goes on, and saving will say what it could not write.
      ownsFolder_ = true;
      break;
  }

  // The desktop's settings store under the usual key; the program keeps
  // nothing of its own there.
  QCoreApplication::setOrganizationName(QString::fromLatin1(kSettingsKey));
  QCoreApplication::setApplicationName(QString::fromLatin1(kAppName));
  { QSettings settings; }

  // Errors of the list files go to the user as message boxes.
  engine_.Store().SetMessageHook([this](const std::string& text) {
    ShowMessageBox(frame_ ? frame_.get() : nullptr, QString::fromStdString(text));
  });

  doc_ = std::make_unique<CTavrinoxDoc>();
  if (!doc_->OnNewDocument()) return false;
  frame_ = std::make_unique<CMainFrame>(engine_);
  frame_->SetAppTarget(this);
  // Before the lists are read: a list file that cannot be read is reported
  // in a box centred on the window to come.
  frame_->TakePlaceOnScreen();
  frame_->OnInitialUpdate();

  frame_->AskStartupQuestion();

  // Full size even where no window manager carries out the maximising.
  if (QScreen* screen = frame_->screen()) frame_->resize(screen->availableSize());
  frame_->showMaximized();
  frame_->update();
  frame_->setWindowTitle(QString::fromLatin1(kWindowTitle));
  autoSave_.start();
  return true;
}

int CTavrinoxApp::ExitInstance(int exitCode) {
  autoSave_.stop();
  if (!ownsFolder_) return folderInUse_ ? kFolderInUse : exitCode;
  // Workers close their files before the lists are written, so the lists
  // hold what the files hold.
  engine_.Shutdown();
  saver_.Wait();
  if (!quitRequested_) {
    engine_.Store().SaveAll();
  } else {
    for (const std::string& text : engine_.Store().Write(SaveScope::Modified))
      std::cerr << "Tavrinox: " << text << '\n';
  }
  engine_.UnlockFolder();
  return exitCode;
}

void CTavrinoxApp::CatchQuitSignals() {
  if (quitSignals_) return;
  quitSignals_ = new QuitSignals(this);
  connect(quitSignals_, &QuitSignals::quitRequested, this, [this] { RequestQuit(); });
}

void CTavrinoxApp::RequestQuit() {
  quitRequested_ = true;
  // Leaves every event loop, modal boxes' too, and keeps later ones from
  // starting until main() is back; quit() would do nothing before the main
  // loop runs.
  QCoreApplication::exit(0);
}

bool CTavrinoxApp::StartBackgroundSave() {
  return saver_.Start([this](std::vector<std::string> errors) {
    if (errors.empty()) return;
    QMetaObject::invokeMethod(
        this, [this, errors = std::move(errors)] { ShowSaveErrors(errors); }, Qt::QueuedConnection);
  });
}

void CTavrinoxApp::SetAutoSaveInterval(std::chrono::milliseconds interval) {
  autoSave_.setInterval(interval);
}

void CTavrinoxApp::ShowSaveErrors(const std::vector<std::string>& errors) {
  for (const std::string& text : errors)
    ShowMessageBox(frame_ ? frame_.get() : nullptr, QString::fromStdString(text));
}

void CTavrinoxApp::SaveForSessionEnd() {
  for (const std::string& text : engine_.Store().Write(SaveScope::ChangedSinceSave))
    std::cerr << "Tavrinox: " << text << '\n';
}

void CTavrinoxApp::ShowAbout() {
  CAboutDlg dialog(frame_.get());
  dialog.exec();
}

bool CTavrinoxApp::OnCommand(int id) {
  switch (id) {
    case kCmdAppAbout:
      ShowAbout();
      return true;
    case kCmdAppExit:
      if (frame_) frame_->close();
      return true;
  }
  return false;
}

}  // namespace tvx::ui
