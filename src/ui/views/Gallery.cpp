#include "ui/views/Gallery.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QSlider>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "commands/CommandIds.h"
#include "files/LocalPath.h"
#include "ui/MessageBox.h"
#include "ui/views/PictureDecode.h"
#include "ui/views/ShellOpen.h"

namespace tvx::ui {
namespace {

CGalleryThumbs::Want WantOf(const CGalleryModel& model, const CGalleryModel::Picture& picture) {
  return {model.AbsolutePath(picture), picture.bytes, picture.modifiedMs};
}

QString PicturesText(int count) {
  return count == 1 ? QStringLiteral("1 picture") : QStringLiteral("%1 pictures").arg(count);
}

// Moves file to the desktop's trash. Where no trash folder can be made, Qt
// (6.4) still "succeeds": it moves the file into files/ below the working
// folder and writes its note into info/ there. That is put back and counted
// as the failure it is.
bool MoveToTrash(const QString& file) {
  QString inTrash;
  if (!QFile::moveToTrash(file, &inTrash)) return false;
  if (!QDir::isRelativePath(inTrash)) return true;
  const QFileInfo moved(QDir::current().absoluteFilePath(inTrash));
  QFile::rename(moved.absoluteFilePath(), file);
  const QDir trash(QDir::cleanPath(moved.absolutePath() + QStringLiteral("/..")));
  QFile::remove(
      trash.filePath(QStringLiteral("info/") + moved.fileName() + QStringLiteral(".trashinfo")));
  for (const char* folder : {"files", "info"}) trash.rmdir(QString::fromLatin1(folder));
  return false;
}

constexpr int kSmallestSide = 64;
constexpr int kLargestSide = 256;
constexpr int kStartSide = 128;

}  // namespace

// ---------------------------------------------------------------------------

CGalleryDelegate::CGalleryDelegate(CGalleryModel* model, CGalleryThumbs* thumbs, QListView* view)
    : QStyledItemDelegate(view), model_(model), thumbs_(thumbs), view_(view) {}

int CGalleryDelegate::PixelSide() const {
  return std::min(kLargestSide, qRound(side_ * view_->devicePixelRatioF()));
}

QSize CGalleryDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  const int line = option.fontMetrics.height();
  if (!model_->PictureAt(index.row())) {
    // A header fills its line, so the group's pictures start on the next.
    const int width = view_->viewport()->width() - 2 * view_->spacing() - 1;
    return QSize(std::max(width, side_ + 2 * kPad), line * 2 + kPad);
  }
  return QSize(side_ + 2 * kPad, side_ + 2 * kPad + line);
}

void CGalleryDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  if (const CGalleryModel::Picture* picture = model_->PictureAt(index.row()))
    PaintPicture(painter, option, *picture);
  else
    PaintHeader(painter, option, index.row());
}

void CGalleryDelegate::PaintHeader(QPainter* painter, const QStyleOptionViewItem& option,
                                   int row) const {
  painter->save();
  const QRect area = option.rect.adjusted(kPad, 0, -kPad, -kPad / 2);
  QFont bold = option.font;
  bold.setBold(true);
  const QString name = model_->HeaderText(row);
  painter->setFont(bold);
  painter->setPen(option.palette.color(QPalette::WindowText));
  const QRect nameRect =
      QFontMetrics(bold).boundingRect(area, Qt::AlignLeft | Qt::AlignBottom, name);
  painter->drawText(area, Qt::AlignLeft | Qt::AlignBottom, name);
  painter->setFont(option.font);
  painter->setPen(option.palette.color(QPalette::PlaceholderText));
  painter->drawText(
      area.adjusted(nameRect.width() + option.fontMetrics.averageCharWidth() * 2, 0, 0, 0),
      Qt::AlignLeft | Qt::AlignBottom, PicturesText(model_->HeaderCount(row)));
  painter->setPen(option.palette.color(QPalette::Mid));
  painter->drawLine(area.left(), option.rect.bottom(), area.right(), option.rect.bottom());
  painter->restore();
}

void CGalleryDelegate::PaintPicture(QPainter* painter, const QStyleOptionViewItem& option,
                                    const CGalleryModel::Picture& picture) const {
  QStyle* style = view_->style();
  style->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, painter, view_);
  const QRect box(option.rect.left() + kPad, option.rect.top() + kPad, side_, side_);
  const CGalleryThumbs::Thumb thumb = thumbs_->Find(WantOf(*model_, picture));
  const bool selected = option.state & QStyle::State_Selected;

  painter->save();
  if (thumb.state == CGalleryThumbs::State::Made && !thumb.image.isNull()) {
    // At its own size; one made for a larger side (until the right one
    // comes) is fitted into the box.
    QSize shown = (QSizeF(thumb.image.size()) / view_->devicePixelRatioF()).toSize();
    if (shown.width() > side_ || shown.height() > side_)
      shown = shown.scaled(box.size(), Qt::KeepAspectRatio);
    QRect target(QPoint(), shown);
    target.moveCenter(box.center());
    painter->drawImage(target, thumb.image);
  } else {
    painter->setPen(option.palette.color(QPalette::Mid));
    painter->setBrush(option.palette.color(QPalette::AlternateBase));
    painter->drawRect(box.adjusted(0, 0, -1, -1));
    QString text;
    if (thumb.state == CGalleryThumbs::State::TooLarge) {
      text = TooLargeText();
      if (thumb.pixels.isValid())
        text +=
            QStringLiteral("\n%1 \u00d7 %2").arg(thumb.pixels.width()).arg(thumb.pixels.height());
    } else if (thumb.state == CGalleryThumbs::State::Failed) {
      text = QFileInfo(picture.name).suffix().toUpper();
    }
    if (!text.isEmpty()) {
      painter->setPen(option.palette.color(QPalette::PlaceholderText));
      painter->drawText(box.adjusted(4, 4, -4, -4), Qt::AlignCenter | Qt::TextWordWrap, text);
    }
  }
  const QRect nameRect(option.rect.left() + kPad / 2, box.bottom() + kPad / 2 + 1,
                       option.rect.width() - kPad, option.fontMetrics.height());
  painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
  painter->drawText(nameRect, Qt::AlignHCenter | Qt::AlignTop,
                    option.fontMetrics.elidedText(picture.name, Qt::ElideMiddle, nameRect.width()));
  painter->restore();
  if (option.state & QStyle::State_HasFocus) {
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(option);
    focus.backgroundColor = option.palette.color(selected ? QPalette::Highlight : QPalette::Base);
    style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, view_);
  }
}

// ---------------------------------------------------------------------------

CGalleryList::CGalleryList(QWidget* parent) : QListView(parent) {
  setObjectName(QStringLiteral("galleryGrid"));
  // Rows laid out left to right, lines top to bottom, in one pass: a header
  // row as wide as the view takes a line of its own.
  setViewMode(QListView::ListMode);
  setFlow(QListView::LeftToRight);
  setWrapping(true);
  setResizeMode(QListView::Adjust);
  setLayoutMode(QListView::SinglePass);
  setMovement(QListView::Static);
  setUniformItemSizes(false);
  setSpacing(2);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  // A scroll bar that came and went would change the width, and with it the
  // lines, and with them the need for a scroll bar.
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setDragEnabled(true);
  setDragDropMode(QAbstractItemView::DragOnly);
  setDefaultDropAction(Qt::CopyAction);
  setContextMenuPolicy(Qt::CustomContextMenu);
}

std::vector<int> CGalleryList::RowsInView() {
  executeDelayedItemsLayout();
  std::vector<int> rows;
  const int count = model() ? model()->rowCount() : 0;
  const int height = viewport()->height();
  auto rect = [this](int row) { return visualRect(model()->index(row, 0)); };
  // Rows go down the view in their order: the first in view is found by halves.
  int low = 0, high = count;
  while (low < high) {
    const int middle = low + (high - low) / 2;
    if (rect(middle).bottom() < 0)
      low = middle + 1;
    else
      high = middle;
  }
  for (int row = low; row < count; ++row) {
    const QRect r = rect(row);
    if (r.top() >= height) break;
    if (r.isValid() && r.bottom() >= 0) rows.push_back(row);
  }
  return rows;
}

void CGalleryList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    emit OpenRequested();
    return;
  }
  if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
    emit DeleteRequested();
    return;
  }
  QListView::keyPressEvent(event);
}

void CGalleryList::mouseDoubleClickEvent(QMouseEvent* event) {
  QListView::mouseDoubleClickEvent(event);
  if (event->button() != Qt::LeftButton) return;
  const QModelIndex index = indexAt(event->position().toPoint());
  if (!index.isValid() || !(model()->flags(index) & Qt::ItemIsSelectable)) return;
  setCurrentIndex(index);
  emit OpenRequested();
}

void CGalleryList::resizeEvent(QResizeEvent* event) {
  QListView::resizeEvent(event);
  emit InViewChanged();
}

void CGalleryList::scrollContentsBy(int dx, int dy) {
  QListView::scrollContentsBy(dx, dy);
  emit InViewChanged();
}

// ---------------------------------------------------------------------------

CGallery::CGallery(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("gallery"));
  root_ = QDir::current().absoluteFilePath(QString::fromLatin1(kPicturesFolder));
  parent_ = QFileInfo(root_).absolutePath();

  filter_ = new QLineEdit(this);
  filter_->setPlaceholderText(QStringLiteral("Filter by name or folder"));
  filter_->setClearButtonEnabled(true);
  sort_ = new QComboBox(this);
  sort_->addItems({QStringLiteral("Date"), QStringLiteral("Name"), QStringLiteral("Size"),
                   QStringLiteral("Pixel size")});
  size_ = new QSlider(Qt::Horizontal, this);
  size_->setRange(kSmallestSide, kLargestSide);
  size_->setSingleStep(16);
  size_->setPageStep(32);
  size_->setValue(kStartSide);
  size_->setFixedWidth(140);
  size_->setToolTip(QStringLiteral("Thumbnail size"));
  count_ = new QLabel(this);
  list_ = new CGalleryList(this);
  model_ = new CGalleryModel(root_, this);
  thumbs_ = new CGalleryThumbs(this);
  delegate_ = new CGalleryDelegate(model_, thumbs_, list_);
  list_->setModel(model_);
  list_->setItemDelegate(delegate_);
  watcher_ = new QFileSystemWatcher(this);

  auto* bar = new QHBoxLayout;
  bar->addWidget(filter_, 1);
  bar->addSpacing(8);
  bar->addWidget(new QLabel(QStringLiteral("Sort by"), this));
  bar->addWidget(sort_);
  bar->addSpacing(8);
  bar->addWidget(new QLabel(QStringLiteral("Size"), this));
  bar->addWidget(size_);
  bar->addSpacing(8);
  bar->addWidget(count_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 0);
  layout->addLayout(bar);
  layout->addWidget(list_, 1);

  open_ = new QAction(QStringLiteral("Open"), this);
  showInFolder_ = new QAction(QStringLiteral("Show in folder"), this);
  copyPath_ = new QAction(QStringLiteral("Copy path"), this);
  trash_ = new QAction(QStringLiteral("Move to trash\tDel"), this);
  connect(open_, &QAction::triggered, this, &CGallery::OpenCurrent);
  connect(showInFolder_, &QAction::triggered, this, &CGallery::ShowCurrentInFolder);
  connect(copyPath_, &QAction::triggered, this, &CGallery::CopySelectedPaths);
  connect(trash_, &QAction::triggered, this, &CGallery::AskTrashSelected);

  filterDelay_.setSingleShot(true);
  filterDelay_.setInterval(250);
  connect(filter_, &QLineEdit::textChanged, this, [this] { filterDelay_.start(); });
  connect(&filterDelay_, &QTimer::timeout, this, [this] {
    model_->SetFilter(filter_->text());
    UpdateCount();
  });
  connect(sort_, &QComboBox::currentIndexChanged, this, [this](int index) {
    model_->SetSort(static_cast<CGalleryModel::Sort>(index));
    list_->scrollToTop();
  });
  connect(size_, &QSlider::valueChanged, this, &CGallery::SetSide);

  wantedDelay_.setSingleShot(true);
  wantedDelay_.setInterval(0);
  connect(&wantedDelay_, &QTimer::timeout, this, &CGallery::UpdateWanted);
  auto inViewChanged = [this] { wantedDelay_.start(); };
  connect(list_, &CGalleryList::InViewChanged, this, inViewChanged);
  connect(model_, &QAbstractItemModel::rowsInserted, this, inViewChanged);
  connect(model_, &QAbstractItemModel::rowsRemoved, this, inViewChanged);
  connect(model_, &QAbstractItemModel::layoutChanged, this, inViewChanged);
  connect(model_, &QAbstractItemModel::modelReset, this, inViewChanged);
  connect(thumbs_, &CGalleryThumbs::Ready, this, [this](const QString& file) {
    const QString prefix = root_ + QLatin1Char('/');
    if (!file.startsWith(prefix)) return;
    const QModelIndex index = model_->IndexOf(file.mid(prefix.size()));
    if (index.isValid()) list_->update(index);
  });
  connect(model_, &CGalleryModel::PixelsWanted, this, [this](const QStringList& paths) {
    if (scanner_) scanner_->ReadPixels(paths);
  });

  connect(list_, &CGalleryList::OpenRequested, this, &CGallery::OpenCurrent);
  connect(list_, &CGalleryList::DeleteRequested, this, &CGallery::AskTrashSelected);
  connect(list_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { ShowMenu(list_->viewport()->mapToGlobal(at)); });
  connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { emit CurrentFileChanged(CurrentFile()); });

  changedDelay_.setSingleShot(true);
  changedDelay_.setInterval(200);
  connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &CGallery::OnFolderChanged);
  connect(&changedDelay_, &QTimer::timeout, this, &CGallery::ScanChangedFolders);
  rescan_.setInterval(kRescanMs);
  connect(&rescan_, &QTimer::timeout, this, [this] {
    if (scanner_) scanner_->ScanAll();
  });
  UpdateCount();
}

CGallery::~CGallery() {
  // The scanner's thread ends before the views it reports to.
  scanner_.reset();
}

void CGallery::Start() {
  if (scanner_) return;
  scanner_ = std::make_unique<CGalleryScanner>(
      root_, this, [this](ScanChanges changes) { OnChanges(std::move(changes)); },
      [this](PixelSizes sizes) { model_->SetPixels(sizes); });
  // Pictures may not be there yet, or be made again: its folder is watched
  // for that.
  watcher_->addPath(parent_);
  rootSeen_ = QFileInfo(root_).isDir();
  scanner_->ScanAll();
  if (isVisible()) rescan_.start();
}

void CGallery::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Start();
  rescan_.start();
}

void CGallery::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  rescan_.stop();
}

void CGallery::SetRescanIntervalForTest(int ms) { rescan_.setInterval(ms); }

void CGallery::OnChanges(ScanChanges changes) {
  for (const QString& folder : changes.removedFolders) {
    if (watched_.remove(folder)) watcher_->removePath(folder);
  }
  model_->Apply(changes);
  Watch(changes.addedFolders);
  UpdateCount();
}

void CGallery::Watch(const QStringList& folders) {
  for (const QString& folder : folders) {
    if (watched_.contains(folder)) continue;
    const bool room = watchLimit_ < 0 || watched_.size() < watchLimit_;
    if (room && watcher_->addPath(folder)) {
      watched_.insert(folder);
    } else if (watchingAll_) {
      // No more watches to be had (the system's limit): what the watcher
      // cannot see is found by walking everything again, more often.
      watchingAll_ = false;
      rescan_.setInterval(std::min(rescan_.interval(), kRescanUnwatchedMs));
    }
  }
}

void CGallery::OnFolderChanged(const QString& folder) {
  if (folder == parent_) {
    // Only Pictures coming or going matters there.
    const bool seen = QFileInfo(root_).isDir();
    if (seen == rootSeen_) return;
    rootSeen_ = seen;
    if (scanner_) scanner_->ScanAll();
    return;
  }
  if (!changedFolders_.contains(folder)) changedFolders_ << folder;
  if (!changedDelay_.isActive()) changedDelay_.start();
}

void CGallery::ScanChangedFolders() {
  if (!scanner_ || changedFolders_.isEmpty()) return;
  // Changes in many folders at once: one walk of everything costs less than
  // many, and makes up for any the watcher dropped.
  if (changedFolders_.size() > kMostFolderScans)
    scanner_->ScanAll();
  else
    scanner_->ScanFolders(changedFolders_);
  changedFolders_.clear();
}

void CGallery::UpdateWanted() {
  std::vector<CGalleryThumbs::Want> wanted;
  for (int row : list_->RowsInView())
    if (const CGalleryModel::Picture* picture = model_->PictureAt(row))
      wanted.push_back(WantOf(*model_, *picture));
  thumbs_->SetWanted(wanted, delegate_->PixelSide());
}

void CGallery::UpdateCount() {
  const int all = model_->PictureCount();
  const int shown = model_->ShownCount();
  count_->setText(shown == all ? PicturesText(all)
                               : QStringLiteral("%1 of %2").arg(shown).arg(PicturesText(all)));
}

void CGallery::SetSide(int side) {
  delegate_->SetSide(side);
  list_->Relayout();
  wantedDelay_.start();
}

bool CGallery::ViewComplete() const {
  for (int row : list_->RowsInView()) {
    const CGalleryModel::Picture* picture = model_->PictureAt(row);
    if (!picture) continue;
    const CGalleryThumbs::Thumb thumb = thumbs_->Find(WantOf(*model_, *picture));
    if (thumb.state == CGalleryThumbs::State::NotMade) return false;
    if (thumb.state == CGalleryThumbs::State::Made && thumb.side != delegate_->PixelSide())
      return false;
  }
  return true;
}

bool CGallery::WaitIdle(int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  for (;;) {
    const bool scanned = !scanner_ || scanner_->WaitIdle(0);
    if (scanned && !thumbs_->Busy() && !changedDelay_.isActive() && !filterDelay_.isActive()) {
      QCoreApplication::processEvents();
      if (!thumbs_->Busy() && (!scanner_ || scanner_->WaitIdle(0))) return true;
    }
    if (clock.elapsed() > milliseconds) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
}

QString CGallery::CurrentFile() const {
  const CGalleryModel::Picture* picture = model_->PictureAt(list_->currentIndex().row());
  return picture ? model_->AbsolutePath(*picture) : QString();
}

QStringList CGallery::SelectedFiles() const {
  QModelIndexList indexes = list_->selectionModel()->selectedIndexes();
  std::sort(indexes.begin(), indexes.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  QStringList files;
  for (const QModelIndex& index : indexes)
    if (const CGalleryModel::Picture* picture = model_->PictureAt(index.row()))
      files << model_->AbsolutePath(*picture);
  return files;
}

QString CGallery::ChosenFile() const {
  // The current picture counts once it is selected: after a click beside the
  // pictures it is still current, but nothing is chosen.
  return list_->selectionModel()->isSelected(list_->currentIndex()) ? CurrentFile() : QString();
}

void CGallery::OpenCurrent() {
  const QString file = ChosenFile();
  if (file.isEmpty()) return;
  const QString shown = QDir::current().relativeFilePath(file);
  OpenFileWithShell(file, [self = QPointer<CGallery>(this), shown] {
    if (self) ShowMessageBox(self, QStringLiteral("No program can open ") + shown);
  });
}

void CGallery::ShowCurrentInFolder() {
  const QString file = ChosenFile();
  if (!file.isEmpty()) OpenWithShell(QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
}

void CGallery::CopySelectedPaths() {
  const QStringList files = SelectedFiles();
  if (!files.isEmpty()) QGuiApplication::clipboard()->setText(files.join(QLatin1Char('\n')));
}

void CGallery::AskTrashSelected() {
  const QStringList files = SelectedFiles();
  if (files.isEmpty()) return;
  const QString question =
      files.size() == 1
          ? QStringLiteral("Move %1 to the trash?").arg(QFileInfo(files.first()).fileName())
          : QStringLiteral("Move these %1 pictures to the trash?").arg(files.size());
  if (ShowMessageBox(this, question, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
    return;
  const QString prefix = root_ + QLatin1Char('/');
  // Weeding goes on from where the selection was.
  const int firstRow = model_->IndexOf(files.first().mid(prefix.size())).row();
  QStringList trashed, failed, folders;
  for (const QString& file : files) {
    const QString path = file.mid(prefix.size());
    if (!MoveToTrash(file)) {
      failed << path;
      continue;
    }
    trashed << path;
    if (deleted_) deleted_(path);
    const QString folder = QFileInfo(file).absolutePath();
    if (!folders.contains(folder)) folders << folder;
  }
  model_->Remove(trashed);
  UpdateCount();
  if (!trashed.isEmpty()) {
    int next = std::min(std::max(0, firstRow), model_->rowCount() - 1);
    while (next < model_->rowCount() && next >= 0 && !model_->PictureAt(next)) ++next;
    if (next >= model_->rowCount())  // the last ones went: the one before them
      for (next = model_->rowCount() - 1; next >= 0 && !model_->PictureAt(next);) --next;
    if (next >= 0) list_->setCurrentIndex(model_->index(next));
  }
  if (scanner_) scanner_->ScanFolders(folders);
  if (!failed.isEmpty())
    ShowMessageBox(this, QStringLiteral("These pictures could not be moved to the trash:\n") +
                             failed.join(QLatin1Char('\n')));
}

void CGallery::ShowMenu(const QPoint& globalPos) {
  const bool any = !SelectedFiles().isEmpty();
  const bool current = !ChosenFile().isEmpty();
  open_->setEnabled(current);
  showInFolder_->setEnabled(current);
  copyPath_->setEnabled(any);
  trash_->setEnabled(any);
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->addAction(open_);
  menu->addAction(showInFolder_);
  menu->addAction(copyPath_);
  menu->addSeparator();
  menu->addAction(trash_);
  if (previewAction_) {
    menu->addSeparator();
    menu->addAction(previewAction_);
  }
  menu->popup(globalPos);
}

bool CGallery::OnCommand(int id) {
  if (id != kCmdDeleteEntry) return false;
  AskTrashSelected();
  return true;
}

std::optional<bool> CGallery::IsCommandEnabled(int id) const {
  if (id == kCmdDeleteEntry) return true;
  return std::nullopt;
}

}  // namespace tvx::ui
