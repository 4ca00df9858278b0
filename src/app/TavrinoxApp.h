// The application object: starts the run, owns the main window and the
// document, saves the lists at the end, and shows the About box.
#pragma once

#include <QObject>
#include <memory>

#include "ui/views/CommandTarget.h"

namespace tvx::ui {

class CMainFrame;
class CTavrinoxDoc;

class CTavrinoxApp : public QObject, public CommandTarget {
  Q_OBJECT

 public:
  static constexpr const char* kSettingsKey = "Local AppWizard-Generated Applications";
  static constexpr const char* kAppName = "Tavrinox";
  static constexpr const char* kWindowTitle = "Quillanto for pictures";

  CTavrinoxApp();
  ~CTavrinoxApp() override;

  // Creates the document and the main window (which loads the lists), asks
  // the start-up question, shows the window maximised and clears the stop
  // flags. False when the window could not be made.
  bool InitInstance();
  // Saves the changed lists and returns the exit code. Running or paused
  // workers are not waited for.
  int ExitInstance(int exitCode);

  CMainFrame* MainFrame() const { return frame_.get(); }
  CTavrinoxDoc* Document() const { return doc_.get(); }

  void ShowAbout();

  // The application's own commands: About and Exit.
  bool OnCommand(int id) override;

 private:
  std::unique_ptr<CTavrinoxDoc> doc_;
  std::unique_ptr<CMainFrame> frame_;
};

}  // namespace tvx::ui
