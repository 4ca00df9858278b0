// The program: one run of the application object inside Qt's event loop.
#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/TavrinoxApp.h"
#include "store/Lists.h"
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

// With TAVRINOX_TEST_REQUEST=<url> in the environment the run adds <url> to
// the requested files once its first event loop runs (the start-up question
// is then open) and prints "requested" on standard output; with
// TAVRINOX_TEST_PROCEED set as well it first answers the question with its
// default and adds the URL from the main window. Lets tests end a real run
// with a signal and see what it saved.
void ArrangeTestRequest(const QString& url, bool proceed) {
  auto add = [url] {
    tvx::RequestedFiles.AddUrl(url.toStdString());
    std::printf("requested\n");
    std::fflush(stdout);
  };
  QTimer::singleShot(0, [add, proceed] {
    if (!proceed) return add();
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->accept();
    QTimer::singleShot(0, add);
  });
}

}  // namespace

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  tvx::ui::CTavrinoxApp app;
  // From the start: a signal while the lists load or the start-up question
  // is open ends the run as well, after saving.
  app.CatchQuitSignals();

  const QString screenshot = qEnvironmentVariable("TAVRINOX_SCREENSHOT");
  if (!screenshot.isEmpty()) ArrangeScreenshot(screenshot);
  const QString testRequest = qEnvironmentVariable("TAVRINOX_TEST_REQUEST");
  if (!testRequest.isEmpty())
    ArrangeTestRequest(testRequest, qEnvironmentVariableIsSet("TAVRINOX_TEST_PROCEED"));

  int code = EXIT_FAILURE;
  if (app.InitInstance()) code = app.QuitRequested() ? EXIT_SUCCESS : QApplication::exec();
  // Saving may show several message boxes; closing one must not end the others.
  QApplication::setQuitOnLastWindowClosed(false);
  code = app.ExitInstance(code);

  // Workers may still run or sit paused, using the lists and the windows.
  // End here, with the lists saved, rather than destroy anything under them.
  std::fflush(nullptr);
  std::_Exit(code);
}
