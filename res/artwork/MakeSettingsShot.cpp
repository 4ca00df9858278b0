// Draws docs/file-settings.png, the README's picture of the File Settings
// page of a web-site project: the real property sheet (offscreen) with Modern
// link search ticked and its settings filled in.
//   cmake --build <dir> --target settings-screenshot
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTabWidget>

#include "store/Records.h"
#include "store/SiteOptions.h"
#include "ui/dialogs/ProjProps.h"

namespace {

void Wait(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc < 2) return 2;
  const QString out = QDir(QString::fromLocal8Bit(argv[1])).absoluteFilePath("file-settings.png");
  QApplication app(argc, argv);

  tvx::SiteProject project{};
  tvx::SetText(project.name, "Harbour photos");
  tvx::SetText(project.startUrl, "https://photos.example.org/harbour/");
  project.typeJpg = 1;
  project.typePng = 1;
  tvx::SetText(project.otherTypes, ".webp .avif");
  project.runWhenRequested = project.stopWhenRequested = 1;
  tvx::SiteOptions options = tvx::NewSiteOptions();
  options.waitSeconds = 2;
  options.minWidth = 400;
  options.minHeight = 300;
  options.minKb = 20;
  options.maxKb = 20000;

  tvx::ui::CProjProps sheet(QStringLiteral("Web Project Properties"));
  sheet.Load(project, options);
  sheet.tabs()->setCurrentIndex(1);
  sheet.show();
  sheet.adjustSize();
  Wait(300);
  return sheet.grab().toImage().save(out) ? 0 : 1;
}
