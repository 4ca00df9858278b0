// The application object: starts the run, owns the main window and the
// document, saves the changed lists every few minutes and at the end, and
// shows the About box.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "store/ListFiles.h"
#include "ui/views/CommandTarget.h"

namespace tvx {
class Engine;
}  // namespace tvx

namespace tvx::ui {

class CMainFrame;
class CTavrinoxDoc;
class QuitSignals;

class CTavrinoxApp : public QObject, public CommandTarget {
  Q_OBJECT

 public:
  static constexpr const char* kSettingsKey = "Local AppWizard-Generated Applications";
  static constexpr const char* kAppName = "Tavrinox";
  static constexpr const char* kWindowTitle = "Quillanto for pictures";
  // How often the changed lists are saved while the program runs, so that a
  // crash loses only the last few minutes.
  static constexpr std::chrono::milliseconds kAutoSaveInterval = std::chrono::minutes(3);

  // The exit code of a run that found another copy of the program in its
  // folder.
  static constexpr int kFolderInUse = 3;

  explicit CTavrinoxApp(Engine& engine);
  ~CTavrinoxApp() override;

  // Takes the working folder's lock first: when another copy holds it, says
  // so and gives false without reading or writing any list
  // (FolderInUse()). Then creates the document and the main window (which
  // loads the lists), asks the start-up question and shows the window
  // maximised. False when the window could not be made.
  bool InitInstance();
  // The way out: the workers are asked to end and given a moment to close
  // their files, what is partial goes, the changed lists are saved, and the
  // exit code comes back. A background save under way is waited for. After a
  // quit signal the save errors go to standard error, since nobody may be
  // there to close a box. A run that did not get its folder saves nothing.
  int ExitInstance(int exitCode);
  bool FolderInUse() const { return folderInUse_; }

  // From now on SIGTERM, SIGHUP and SIGINT end the run as File > Exit does:
  // every event loop is left and main() saves and ends.
  void CatchQuitSignals();
  // A quit signal asked the run to end; main() then skips its event loop
  // when the signal came before it.
  bool QuitRequested() const { return quitRequested_; }
  void RequestQuit();

  // Saves the changed lists in the background now, unless a save runs.
  bool StartBackgroundSave();
  void SetAutoSaveInterval(std::chrono::milliseconds interval);

  CMainFrame* MainFrame() const { return frame_.get(); }
  CTavrinoxDoc* Document() const { return doc_.get(); }

  void ShowAbout();

  // The application's own commands: About and Exit.
  bool OnCommand(int id) override;

 private:
  // Save errors of the background save, shown on the user-interface thread.
  void ShowSaveErrors(const std::vector<std::string>& errors);
  // The desktop session ends: the lists are saved at once, in case the
  // session ends the process without a word.
  void SaveForSessionEnd();

  Engine& engine_;
  std::unique_ptr<CTavrinoxDoc> doc_;
  std::unique_ptr<CMainFrame> frame_;
  QuitSignals* quitSignals_ = nullptr;
  bool quitRequested_ = false;
  bool folderInUse_ = false;
  bool ownsFolder_ = false;
  QTimer autoSave_;
  // Last member: goes first, waiting for its save to end.
  ListAutoSaver saver_;
};

}  // namespace tvx::ui
