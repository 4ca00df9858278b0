// The program: one run of the application object inside Qt's event loop.
#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/TavrinoxApp.h"
#include "ui/frame/MainFrame.h"

namespace {

// With TAVRINOX_SCREENSHOT=<file.png> in the environment the run answers the
// start-up question with its default, saves a picture of the main window and
// ends. Used to check the window's look without a person at the screen.
void ArrangeScreenshot(const QString& file) {
  QTimer::singleShot(500, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->accept();
    }
  });
  QTimer::singleShot(1500, [file] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* frame = qobject_cast<tvx::ui::CMainFrame*>(w)) frame->grab().save(file);
    QApplication::quit();
  });
}

}  // namespace

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  tvx::ui::CTavrinoxApp app;

  const QString screenshot = qEnvironmentVariable("TAVRINOX_SCREENSHOT");
  if (!screenshot.isEmpty()) ArrangeScreenshot(screenshot);

  int code = EXIT_FAILURE;
  if (app.InitInstance()) code = QApplication::exec();
  // Saving may show several message boxes; closing one must not end the others.
  QApplication::setQuitOnLastWindowClosed(false);
  code = app.ExitInstance(code);

  // Workers may still run or sit paused, using the lists and the windows.
  // End here, with the lists saved, rather than destroy anything under them.
  std::fflush(nullptr);
  std::_Exit(code);
}
