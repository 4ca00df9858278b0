#include "app/TavrinoxApp.h"

#include <QCoreApplication>
#include <QScreen>
#include <QSettings>

#include "app/AboutDlg.h"
#include "app/TavrinoxDoc.h"
#include "commands/CommandIds.h"
#include "store/ListFiles.h"
#include "ui/MessageBox.h"
#include "ui/frame/MainFrame.h"
#include "workers/WorkerControl.h"

namespace tvx::ui {

CTavrinoxApp::CTavrinoxApp() = default;

CTavrinoxApp::~CTavrinoxApp() {
  if (frame_) frame_->SetAppTarget(nullptr);
  SetListMessageHook({});
}

bool CTavrinoxApp::InitInstance() {
  // The desktop's settings store under the usual key; the program keeps
  // nothing of its own there.
  QCoreApplication::setOrganizationName(QString::fromLatin1(kSettingsKey));
  QCoreApplication::setApplicationName(QString::fromLatin1(kAppName));
  { QSettings settings; }

  // Errors of the list files go to the user as message boxes.
  SetListMessageHook([this](const std::string& text) {
    ShowMessageBox(frame_ ? frame_.get() : nullptr, QString::fromStdString(text));
  });

  doc_ = std::make_unique<CTavrinoxDoc>();
  if (!doc_->OnNewDocument()) return false;
  frame_ = std::make_unique<CMainFrame>();
  frame_->SetAppTarget(this);
  frame_->OnInitialUpdate();

  frame_->AskStartupQuestion();

  // Full size even where no window manager carries out the maximising.
  if (QScreen* screen = frame_->screen()) frame_->resize(screen->availableSize());
  frame_->showMaximized();
  frame_->update();
  frame_->setWindowTitle(QString::fromLatin1(kWindowTitle));

  for (WorkerKind kind : {WorkerKind::File, WorkerKind::Site, WorkerKind::Search})
    Stops(kind).ClearAll();
  return true;
}

int CTavrinoxApp::ExitInstance(int exitCode) {
  SaveAllLists();
  return exitCode;
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
