// The gallery: a grid of thumbnails of every picture saved below Pictures, by
// every run, single files and every project, grouped by project folder. It
// follows the disk as pictures are saved and removed, and the user opens,
// shows, copies, drags out and deletes (to the desktop's trash) pictures from
// it.
#pragma once

#include <QFileSystemWatcher>
#include <QListView>
#include <QPointer>
#include <QSet>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "ui/views/CommandTarget.h"
#include "ui/views/GalleryModel.h"
#include "ui/views/GalleryScan.h"
#include "ui/views/GalleryThumbs.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QSlider;

namespace tvx::ui {

// Draws a header row across the grid, and a picture as its thumbnail (or a
// placeholder while it is made) above its name. Paints only what it is asked
// to: the rows in view.
class CGalleryDelegate : public QStyledItemDelegate {
 public:
  CGalleryDelegate(CGalleryModel* model, CGalleryThumbs* thumbs, QListView* view);
  void SetSide(int side) { side_ = side; }
  int Side() const { return side_; }
  // The side thumbnails are made at for the view's screen.
  int PixelSide() const;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

  static constexpr int kPad = 6;

 private:
  void PaintHeader(QPainter* painter, const QStyleOptionViewItem& option, int row) const;
  void PaintPicture(QPainter* painter, const QStyleOptionViewItem& option,
                    const CGalleryModel::Picture& picture) const;

  CGalleryModel* model_;
  CGalleryThumbs* thumbs_;
  QListView* view_;
  int side_ = 128;
};

// The grid itself. Enter and double-click open the current picture, Delete
// asks to move the selection to the trash.
class CGalleryList : public QListView {
  Q_OBJECT

 public:
  explicit CGalleryList(QWidget* parent = nullptr);
  // The rows in view, top first (headers included), once laid out.
  std::vector<int> RowsInView();
  // Lays the rows out again (their sizes changed).
  void Relayout() { scheduleDelayedItemsLayout(); }

 signals:
  void OpenRequested();
  void DeleteRequested();
  void InViewChanged();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
};

class CGallery : public QWidget, public CommandTarget {
  Q_OBJECT

 public:
  explicit CGallery(QWidget* parent = nullptr);
  ~CGallery() override;

  // Called with each picture moved to the trash (its path below Pictures),
  // so that the engine knows the user deleted it.
  void SetDeletedHook(std::function<void(const QString&)> hook) { deleted_ = std::move(hook); }

  // The entry that shows and hides the Preview pane, offered by the menu.
  void SetPreviewAction(QAction* action) { previewAction_ = action; }

  // Starts following Pictures (the first time the gallery is shown, or now).
  void Start();
  bool Started() const { return scanner_ != nullptr; }

  CGalleryList* List() const { return list_; }
  CGalleryModel* Model() const { return model_; }
  CGalleryThumbs* Thumbs() const { return thumbs_; }
  CGalleryDelegate* Delegate() const { return delegate_; }
  QLineEdit* FilterBox() const { return filter_; }
  QComboBox* SortBox() const { return sort_; }
  QSlider* SizeSlider() const { return size_; }
  QLabel* CountText() const { return count_; }
  QFileSystemWatcher* Watcher() const { return watcher_; }

  // The current picture (absolute path), or empty.
  QString CurrentFile() const;
  // The selected pictures, absolute paths, in row order.
  QStringList SelectedFiles() const;

  // The actions of the context menu.
  QAction* OpenAction() const { return open_; }
  QAction* ShowInFolderAction() const { return showInFolder_; }
  QAction* CopyPathAction() const { return copyPath_; }
  QAction* TrashAction() const { return trash_; }

  // The current picture when it is selected, or empty.
  QString ChosenFile() const;
  // Opens the current picture, when selected, with the desktop's program.
  void OpenCurrent();
  // Asks once, then moves the selected pictures to the desktop's trash.
  void AskTrashSelected();
  void ShowCurrentInFolder();
  void CopySelectedPaths();

  // True when every picture in view has its thumbnail (or its failure)
  // drawn at the present size (tests, the benchmark).
  bool ViewComplete() const;
  // Until nothing is being scanned or made (tests, the benchmark).
  bool WaitIdle(int milliseconds);

  // How often everything is walked again: while some folder cannot be
  // watched, and otherwise, in case the watcher missed something.
  static constexpr int kRescanUnwatchedMs = 10'000;
  static constexpr int kRescanMs = 120'000;
  // More folders than this changed at once: one walk of everything instead.
  static constexpr int kMostFolderScans = 64;
  // For tests: the watcher takes no more than this many folders.
  void SetWatchLimitForTest(int folders) { watchLimit_ = folders; }
  void SetRescanIntervalForTest(int ms);

  // CommandTarget: Delete Entry moves the selection to the trash.
  bool OnCommand(int id) override;
  std::optional<bool> IsCommandEnabled(int id) const override;

 signals:
  void CurrentFileChanged(const QString& file);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void ShowMenu(const QPoint& globalPos);
  void OnChanges(ScanChanges changes);
  void Watch(const QStringList& folders);
  void OnFolderChanged(const QString& folder);
  void ScanChangedFolders();
  void UpdateWanted();
  void UpdateCount();
  void SetSide(int side);

  QLineEdit* filter_ = nullptr;
  QComboBox* sort_ = nullptr;
  QSlider* size_ = nullptr;
  QLabel* count_ = nullptr;
  CGalleryList* list_ = nullptr;
  CGalleryModel* model_ = nullptr;
  CGalleryThumbs* thumbs_ = nullptr;
  CGalleryDelegate* delegate_ = nullptr;
  QFileSystemWatcher* watcher_ = nullptr;
  QAction* open_ = nullptr;
  QAction* showInFolder_ = nullptr;
  QAction* copyPath_ = nullptr;
  QAction* trash_ = nullptr;
  QPointer<QAction> previewAction_;
  QTimer filterDelay_;
  QTimer changedDelay_;
  QTimer rescan_;
  QTimer wantedDelay_;
  QStringList changedFolders_;
  QString root_;    // Pictures, absolute
  QString parent_;  // the working folder, watched for Pictures to come and go
  bool rootSeen_ = false;
  bool watchingAll_ = true;
  QSet<QString> watched_;
  int watchLimit_ = -1;
  std::function<void(const QString&)> deleted_;
  // Last: its thread delivers to the objects above.
  std::unique_ptr<CGalleryScanner> scanner_;
};

}  // namespace tvx::ui
