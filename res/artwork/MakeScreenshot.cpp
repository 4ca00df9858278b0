// Draws docs/pictures.png, the README's picture of the picture features: the
// real main window (offscreen) with a few saved pictures in the downloaded-
// files tree, one of them under the pointer with its tooltip thumbnail, the
// Preview pane open on another, and a requested file part-way through with
// its bar in the Status column and the overall rate in the status bar.
//   cmake --build <dir> --target screenshot
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <QToolTip>

#include "store/Lists.h"
#include "ui/frame/MainFrame.h"
#include "ui/frame/RateIndicator.h"
#include "ui/views/DnldList.h"
#include "ui/views/ListPanel.h"
#include "ui/views/PreviewPane.h"

namespace {

void Wait(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

QImage Landscape(int w, int h, QColor sky, QColor hill, int seed) {
  QImage image(w, h, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 0, h);
  g.setColorAt(0, sky.lighter(140));
  g.setColorAt(1, sky);
  p.fillRect(image.rect(), g);
  p.setBrush(QColor(255, 230, 120));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPoint(w * (3 + seed % 4) / 8, h / 4), h / 10, h / 10);
  for (int i = 0; i < 3; ++i) {
    p.setBrush(hill.darker(100 + i * 25));
    p.drawEllipse(QPoint(w * (i * 2 + seed % 3) / 5, h * (9 + i) / 10), w / 2, h / 3);
  }
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc < 2) return 2;
  const QString out = QDir(QString::fromLocal8Bit(argv[1])).absoluteFilePath("pictures.png");
  QTemporaryDir work;
  qputenv("XDG_CACHE_HOME", (work.path() + "/cache").toUtf8());
  QApplication app(argc, argv);
  QDir::setCurrent(work.path());
  QDir().mkpath("Pictures/holiday");
  const struct {
    const char* name;
    QColor sky, hill;
  } shots[] = {{"beach.jpg", QColor(70, 150, 220), QColor(230, 200, 120)},
               {"hills.jpg", QColor(90, 160, 230), QColor(80, 170, 80)},
               {"dusk.jpg", QColor(200, 110, 90), QColor(90, 60, 110)},
               {"lake.jpg", QColor(60, 120, 190), QColor(40, 130, 120)}};
  int seed = 0;
  for (const auto& s : shots)
    Landscape(1600, 1200, s.sky, s.hill, seed++).save(QStringLiteral("Pictures/holiday/") + s.name);

  tvx::RequestedFiles.AddUrl("http://pics.example.org/gallery/harbour.png");
  tvx::RequestedFiles.AddUrl("http://pics.example.org/gallery/panorama.jpg");
  tvx::ui::CMainFrame frame;
  frame.OnInitialUpdate();
  frame.resize(1280, 720);
  frame.show();
  tvx::ui::CListPanel* list = frame.ListPanel();
  list->SetRowText(0, 1, QStringLiteral("Downloading..."));
  list->SetRowProgress(0, 1'450'000, 3'400'000);

  tvx::ui::CDnldList* tree = frame.DnldList();
  const tvx::ProjectNode node = tree->FindOrAddProject("holiday");
  for (const auto& s : shots) tree->AddFile(node, QStringLiteral("Pictures\\holiday\\") + s.name);
  QTreeWidgetItem* project = tree->topLevelItem(0);
  tree->setCurrentItem(project->child(1));
  frame.PreviewAction()->trigger();
  Wait(1500);

  QTreeWidgetItem* hovered = project->child(2);
  const QPoint at = tree->visualItemRect(hovered).center();
  for (int i = 0; i < 2; ++i) {  // the first asks for the thumbnail, the second shows it
    QHelpEvent event(QEvent::ToolTip, at, tree->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree->viewport(), &event);
    Wait(1000);
  }
  // As a running download shows it (no worker runs here to measure).
  frame.RatePane()->setText(tvx::ui::RateText(1.2 * 1024 * 1024));
  frame.RatePane()->show();
  Wait(50);
  QImage shot = frame.grab().toImage();
  QPainter paint(&shot);
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible() || !w->inherits("QTipLabel")) continue;
    paint.drawPixmap(w->pos() - frame.pos(), w->grab());
  }
  paint.end();
  return shot.save(out) ? 0 : 1;
}
