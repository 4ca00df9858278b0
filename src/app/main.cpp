// The program: with a command, the command line (no window, no display
// needed); without one, one run of the application object inside Qt's event
// loop.
#include <cstdio>
#include <cstdlib>

#include "cli/CommandLine.h"
#include "cli/CommandRun.h"

#ifdef TAVRINOX_WITH_WINDOW
#include <QApplication>

#ifdef TAVRINOX_TEST_HOOKS
#include "app/ProgramHooks.h"
#endif
#include "app/TavrinoxApp.h"
#include "engine/Engine.h"
#endif

int main(int argc, char** argv) {
  if (tvx::cli::WantsCommandLine(argc, argv)) tvx::cli::CommandLineMain(argc, argv);

#ifdef TAVRINOX_WITH_WINDOW
  QApplication qt(argc, argv);
  tvx::Engine engine;
  tvx::ui::CTavrinoxApp app(engine);
  // From the start: a signal while the lists load or the start-up question
  // is open ends the run as well, after saving.
  app.CatchQuitSignals();

#ifdef TAVRINOX_TEST_HOOKS
  tvx::ui::ArrangeProgramHooks(engine);
#endif

  int code = EXIT_FAILURE;
  if (app.InitInstance()) code = app.QuitRequested() ? EXIT_SUCCESS : QApplication::exec();
  // Saving may show several message boxes; closing one must not end the others.
  QApplication::setQuitOnLastWindowClosed(false);
  code = app.ExitInstance(code);

  // Workers may still run or sit paused, using the lists and the windows.
  // End here, with the lists saved, rather than destroy anything under them.
  std::fflush(nullptr);
  std::_Exit(code);
#else
  std::fputs("tavrinox: this build has no window; \"tavrinox --help\" lists its commands\n",
             stderr);
  return 2;
#endif
}
