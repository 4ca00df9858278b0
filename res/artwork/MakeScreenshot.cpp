// Draws the README's pictures of the picture features from the real main
// window (offscreen):
// - docs/pictures.png: a few saved pictures in the downloaded-files tree, one
//   of them under the pointer with its tooltip thumbnail, the Preview pane
//   open on another, and a requested file part-way through (its row selected)
//   with its bar in the Status column and the overall rate in the status bar;
// - docs/gallery.png: the gallery over the pictures of three projects and a
//   few single files, two of them selected, the Preview pane on the current.
//   cmake --build <dir> --target screenshot
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <QToolTip>
#include <vector>

#include "engine/Engine.h"
#include "store/Lists.h"
#include "ui/frame/MainFrame.h"
#include "ui/frame/RateIndicator.h"
#include "ui/views/DnldList.h"
#include "ui/views/Gallery.h"
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

struct Shot {
  const char* name;
  QColor sky, hill;
};

// Saves landscapes below Pictures/<folder>, the first the newest, each a
// little older than the one before, from age seconds ago.
void SavePictures(const QString& folder, const std::vector<Shot>& shots, int age, int& seed) {
  QDir().mkpath(QStringLiteral("Pictures/") + folder);
  for (const Shot& s : shots) {
    const QString path = QStringLiteral("Pictures/%1/%2").arg(folder, QString::fromLatin1(s.name));
    Landscape(1600, 1200, s.sky, s.hill, seed++).save(path);
    QFile file(path);
    if (file.open(QIODevice::ReadWrite))
      file.setFileTime(QDateTime::currentDateTime().addSecs(-age),
                       QFileDevice::FileModificationTime);
    age += 90;
  }
}

const std::vector<Shot> kHoliday = {{"beach.jpg", QColor(70, 150, 220), QColor(230, 200, 120)},
                                    {"hills.jpg", QColor(90, 160, 230), QColor(80, 170, 80)},
                                    {"dusk.jpg", QColor(200, 110, 90), QColor(90, 60, 110)},
                                    {"lake.jpg", QColor(60, 120, 190), QColor(40, 130, 120)}};

bool ShootPictures(tvx::Engine& engine, const QString& out) {
  tvx::ui::CMainFrame frame(engine);
  frame.OnInitialUpdate();
  frame.resize(1280, 720);
  frame.show();
  tvx::ui::CListPanel* list = frame.ListPanel();
  list->SetRowText(0, 1, QStringLiteral("Downloading..."));
  list->SetRowProgress(0, 1'450'000, 3'400'000);
  list->SetRowSelected(0, true);

  tvx::ui::CDnldList* tree = frame.DnldList();
  const tvx::ProjectNode node = tree->FindOrAddProject("holiday");
  for (const Shot& s : kHoliday)
    tree->AddFile(node, QStringLiteral("Pictures\\holiday\\") + QString::fromLatin1(s.name));
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
  return shot.save(out);
}

bool ShootGallery(tvx::Engine& engine, const QString& out) {
  tvx::ui::CMainFrame frame(engine);
  frame.OnInitialUpdate();
  frame.resize(1280, 720);
  frame.show();
  frame.ShowGallery(true);
  frame.PreviewAction()->trigger();
  tvx::ui::CGallery* gallery = frame.Gallery();
  QElapsedTimer clock;
  clock.start();
  while ((gallery->Model()->PictureCount() == 0 || !gallery->ViewComplete()) &&
         clock.elapsed() < 20000)
    Wait(50);
  tvx::ui::CGalleryList* grid = gallery->List();
  const QModelIndex first = gallery->Model()->IndexOf(QStringLiteral("alps/ridge.jpg"));
  const QModelIndex second = gallery->Model()->IndexOf(QStringLiteral("alps/glacier.jpg"));
  grid->selectionModel()->select(first, QItemSelectionModel::Select);
  grid->selectionModel()->setCurrentIndex(second, QItemSelectionModel::Select);
  Wait(1500);
  return frame.grab().save(out);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc < 2) return 2;
  const QDir docs(QString::fromLocal8Bit(argv[1]));
  QTemporaryDir work;
  qputenv("XDG_CACHE_HOME", (work.path() + "/cache").toUtf8());
  QApplication app(argc, argv);
  QDir::setCurrent(work.path());
  int seed = 0;
  SavePictures(QStringLiteral("holiday"), kHoliday, 60, seed);

  tvx::Engine engine;
  engine.lists.requestedFiles.AddUrl("http://pics.example.org/gallery/harbour.png");
  engine.lists.requestedFiles.AddUrl("http://pics.example.org/gallery/panorama.jpg");
  if (!ShootPictures(engine, docs.absoluteFilePath("pictures.png"))) return 1;

  // Two more projects and a few single files for the gallery.
  SavePictures(QStringLiteral("alps"),
               {{"ridge.jpg", QColor(110, 170, 235), QColor(150, 150, 160)},
                {"glacier.jpg", QColor(150, 200, 240), QColor(220, 230, 240)},
                {"meadow.jpg", QColor(100, 170, 230), QColor(90, 180, 70)},
                {"pass.jpg", QColor(120, 150, 200), QColor(110, 110, 120)},
                {"valley.jpg", QColor(90, 150, 220), QColor(60, 140, 60)},
                {"summit.jpg", QColor(40, 90, 170), QColor(230, 230, 235)}},
               30, seed);
  SavePictures(QStringLiteral("harbour"),
               {{"boats.jpg", QColor(230, 150, 100), QColor(50, 80, 130)},
                {"pier.jpg", QColor(240, 180, 120), QColor(60, 90, 120)},
                {"night.jpg", QColor(30, 40, 80), QColor(20, 30, 50)}},
               900, seed);
  SavePictures(QString(),
               {{"sunset.jpg", QColor(230, 120, 80), QColor(120, 60, 80)},
                {"forest.jpg", QColor(120, 180, 220), QColor(30, 100, 50)}},
               3000, seed);
  return ShootGallery(engine, docs.absoluteFilePath("gallery.png")) ? 0 : 1;
}
