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

  CTavrinoxApp();
  ~CTavrinoxApp() override;

  // Creates the document and the main window (which loads the lists), asks
  // the start-up question, shows the window maximised and clears the stop
  // flags. False when the window could not be made.
  bool InitInstance();
  // Saves the changed lists and returns the exit code. Running or paused
  // workers are not waited for; a background save under way is. After a
  // quit signal the save errors go to standard error, since nobody may be
  // there to close a box.
  int ExitInstance(int exitCode);

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

  std::unique_ptr<CTavrinoxDoc> doc_;
  std::unique_ptr<CMainFrame> frame_;
  QuitSignals* quitSignals_ = nullptr;
  bool quitRequested_ = false;
  QTimer autoSave_;
  // Last member: goes first, waiting for its save to end.
  ListAutoSaver saver_;
};

}  // namespace tvx::ui
