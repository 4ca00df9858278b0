// Draws docs/search-results.png, the README's picture of searching today's
// web: the real main window (offscreen) showing Search Results that a search
// project found with the engines of today, the pointer on a picture's row
// with its credit as the tooltip.
//   cmake --build <dir> --target screenshot-search
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QToolTip>
#include <string>

#include "engine/Engine.h"
#include "store/Lists.h"
#include "ui/frame/MainFrame.h"
#include "ui/views/ListPanel.h"
#include "ui/views/StatusView.h"
#include "ui/views/TreePanel.h"

namespace {

void Wait(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

struct Found {
  const char* url;
  tvx::PictureCredit credit;  // empty for a page
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc < 2) return 2;
  const QString out = QDir(QString::fromLocal8Bit(argv[1])).absoluteFilePath("search-results.png");
  QTemporaryDir work;
  QApplication app(argc, argv);
  QDir::setCurrent(work.path());

  tvx::Engine engine;
  tvx::SearchProject project{};
  tvx::SetText(project.name, "Lighthouses");
  tvx::SetText(project.searchText, "lighthouse keeper");
  project.runWhenRequested = project.stopWhenRequested = 1;
  engine.lists.searchProjects.Add(project);
  engine.searchOptions.Set("Lighthouses", tvx::kEveryTodayEngine);
  // In the order the engines found them: Openverse, Wikimedia Commons, DuckDuckGo.
  const Found found[] = {
      {"https://live.staticflickr.com/65535/52811_4b7f_b.jpg",
       {"Lighthouse at dusk", "Mara Lindqvist", "CC BY 2.0",
        "https://www.flickr.com/photos/mlindqvist/52811"}},
      {"https://live.staticflickr.com/7390/27116_9c2e_b.jpg",
       {"Keeper's cottage and tower", "Tomas Reyes", "CC BY-SA 2.0",
        "https://www.flickr.com/photos/treyes/27116"}},
      {"https://upload.wikimedia.org/wikipedia/commons/3/3a/Phare_de_Creach.jpg",
       {"Phare de Cr\xC3\xA9"
        "ac'h \xC3\xA0 l'aube.jpg",
        "Ann \xC3\x89vrard", "CC BY-SA 4.0",
        "https://commons.wikimedia.org/wiki/File:Phare_de_Creach.jpg"}},
      {"https://upload.wikimedia.org/wikipedia/commons/8/8e/Lighthouse_lens.jpg",
       {"Fresnel lens, first order.jpg", "Museum of the Sea", "Public domain",
        "https://commons.wikimedia.org/wiki/File:Lighthouse_lens.jpg"}},
      {"https://www.lighthousekeepers.example/history.html", {}},
      {"https://en.wikipedia.org/wiki/Lighthouse_keeper", {}},
  };
  for (const Found& f : found) {
    engine.lists.searchResults.Add(tvx::MakeFileRecord(f.url, "Lighthouses"));
    if (!f.credit.licence.empty()) engine.credits.Set(f.url, f.credit);
  }

  tvx::ui::CMainFrame frame(engine);
  frame.OnInitialUpdate();
  frame.resize(1280, 720);
  frame.show();
  // As the user picks it: the tree opened on the list, which it then shows.
  tvx::ui::CTreePanel* tree = frame.TreePanel();
  QTreeWidgetItem* results = tree->FindItem(QStringLiteral("Search Results"));
  if (results && results->parent()) results->parent()->setExpanded(true);
  tree->setCurrentItem(results);
  tree->SwitchTo(QStringLiteral("Search Results"));
  tvx::ui::CListPanel* list = frame.ListPanel();
  list->setColumnWidth(0, 520);
  frame.StatusView()->SetCurrentProject(QStringLiteral("Lighthouses"));
  frame.StatusView()->SetLastAction(QStringLiteral("Search ended"));
  frame.StatusView()->SetStatus(QStringLiteral("Search completed succesfully"));
  // Newest first: Commons' Phare de Creac'h is the fourth row.
  const int row = 3;
  list->SetRowSelected(row, true);
  Wait(300);

  const QRect rect = list->visualRect(list->model()->index(row, 0));
  const QPoint at(rect.left() + 160, rect.center().y());
  QHelpEvent event(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
  QApplication::sendEvent(list->viewport(), &event);
  Wait(500);
  QImage shot = frame.grab().toImage();
  QPainter paint(&shot);
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible() || !w->inherits("QTipLabel")) continue;
    paint.drawPixmap(w->pos() - frame.pos(), w->grab());
  }
  paint.end();
  return shot.save(out) ? 0 : 1;
}
