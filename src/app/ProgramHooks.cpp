// Runs of the program that look after themselves, chosen from the
// environment: a picture of the window, or a request or download made as a
// user would, for tests that run the real program.
#include "app/ProgramHooks.h"

#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <string_view>

#include "commands/CommandIds.h"
#include "commands/ItemCommands.h"
#include "engine/Engine.h"
#include "ui/frame/MainFrame.h"
#include "ui/views/ListPanel.h"
#include "ui/views/TreePanel.h"

namespace tvx::ui {
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
      if (auto* frame = qobject_cast<CMainFrame*>(w)) frame->grab().save(file);
    QApplication::quit();
  });
}

// With TAVRINOX_TEST_REQUEST=<url> in the environment the run adds <url> to
// the requested files once its first event loop runs (the start-up question
// is then open) and prints "requested" on standard output; with
// TAVRINOX_TEST_PROCEED set as well it first answers the question with its
// default and adds the URL from the main window. Lets tests end a real run
// with a signal and see what it saved.
void ArrangeTestRequest(Engine& engine, const QString& url, bool proceed) {
  auto add = [&engine, url] {
    tvx::AddFiles(engine, url.toStdString());
    std::printf("requested\n");
    std::fflush(stdout);
  };
  QTimer::singleShot(0, [add, proceed] {
    if (!proceed) return add();
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->accept();
    QTimer::singleShot(0, add);
  });
}

// With TAVRINOX_TEST_DOWNLOAD set the run answers the start-up question with
// its default, then selects row 0 of the requested files, chooses Download
// Selected and prints "downloading" on standard output, and "downloaded" once
// no worker runs any more (the record has then moved to its list). Lets tests
// kill a real download part-way and start it again.
void ArrangeTestDownload(Engine& engine, const QString& list) {
  QTimer::singleShot(0, [&engine, list] {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->accept();
    QTimer::singleShot(0, [&engine, list] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* frame = qobject_cast<CMainFrame*>(w);
        if (!frame) continue;
        if (!list.isEmpty()) frame->TreePanel()->SwitchTo(list);
        frame->ListPanel()->SetRowSelected(0, true);
        frame->RouteCommand(kCmdDownloadSelected);
      }
      std::printf("downloading\n");
      std::fflush(stdout);
      auto* poll = new QTimer(QApplication::instance());
      QObject::connect(poll, &QTimer::timeout, poll, [poll, &engine] {
        if (engine.workers.Live() > 0) return;
        std::printf("downloaded\n");
        std::fflush(stdout);
        poll->deleteLater();
      });
      poll->start(20);
    });
  });
}

// With TAVRINOX_TEST_COMMANDS set the run reads lines from its standard
// input and carries each out as the user would: "exit" chooses File > Exit.
void ArrangeTestCommands() {
  auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, QApplication::instance());
  QObject::connect(input, &QSocketNotifier::activated, input, [input] {
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
      input->setEnabled(false);
      return;
    }
    if (std::string_view(buffer, static_cast<std::size_t>(n)).find("exit") == std::string::npos)
      return;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* frame = qobject_cast<CMainFrame*>(w)) frame->RouteCommand(kCmdAppExit);
  });
}

}  // namespace

void ArrangeProgramHooks(Engine& engine) {
  const QString screenshot = qEnvironmentVariable("TAVRINOX_SCREENSHOT");
  if (!screenshot.isEmpty()) ArrangeScreenshot(screenshot);
  const QString testRequest = qEnvironmentVariable("TAVRINOX_TEST_REQUEST");
  if (!testRequest.isEmpty())
    ArrangeTestRequest(engine, testRequest, qEnvironmentVariableIsSet("TAVRINOX_TEST_PROCEED"));
  if (qEnvironmentVariableIsSet("TAVRINOX_TEST_DOWNLOAD"))
    ArrangeTestDownload(engine, qEnvironmentVariable("TAVRINOX_TEST_DOWNLOAD"));
  if (qEnvironmentVariableIsSet("TAVRINOX_TEST_COMMANDS")) ArrangeTestCommands();
}

}  // namespace tvx::ui
