#include "ui/views/GalleryModel.h"

#include <QMimeData>
#include <QUrl>
#include <algorithm>

#include "ui/views/Thumbnails.h"

namespace tvx::ui {

CGalleryModel::CGalleryModel(QString picturesFolder, QObject* parent)
    : QAbstractListModel(parent), root_(std::move(picturesFolder)) {}

QString CGalleryModel::SingleFilesText() { return QStringLiteral("Single files"); }

int CGalleryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

const CGalleryModel::Picture* CGalleryModel::PictureAt(int row) const {
  if (row < 0 || row >= static_cast<int>(rows_.size()) || rows_[row] < 0) return nullptr;
  return &pictures_[rows_[row]];
}

QString CGalleryModel::HeaderText(int row) const {
  if (row < 0 || row >= static_cast<int>(rows_.size()) || rows_[row] >= 0) return {};
  const QString& name = groups_[-1 - rows_[row]];
  return name.isEmpty() ? SingleFilesText() : name;
}

int CGalleryModel::HeaderCount(int row) const {
  if (row < 0 || row >= static_cast<int>(rows_.size()) || rows_[row] >= 0) return 0;
  return groupCounts_[-1 - rows_[row]];
}

QString CGalleryModel::AbsolutePath(const Picture& picture) const {
  return root_ + QLatin1Char('/') + picture.path;
}

QModelIndex CGalleryModel::IndexOf(const QString& path) const {
  const auto found = byPath_.constFind(path);
  if (found == byPath_.constEnd() || rowOfPicture_[*found] < 0) return {};
  return index(rowOfPicture_[*found], 0);
}

QVariant CGalleryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const Picture* picture = PictureAt(index.row());
  if (role == kIsHeaderRole) return picture == nullptr;
  if (!picture) return role == Qt::DisplayRole ? QVariant(HeaderText(index.row())) : QVariant();
  switch (role) {
    case Qt::DisplayRole:
      return picture->name;
    case Qt::ToolTipRole: {
      QString tip = picture->path + QLatin1Char('\n');
      if (picture->pixels.isValid() && !picture->pixels.isEmpty())
        tip += QStringLiteral("%1 \u00d7 %2 pixels, ")
                   .arg(picture->pixels.width())
                   .arg(picture->pixels.height());
      return tip + FormatByteSize(static_cast<double>(picture->bytes));
    }
    case kAbsolutePathRole:
      return AbsolutePath(*picture);
    case kRelativePathRole:
      return picture->path;
  }
  return {};
}

Qt::ItemFlags CGalleryModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  if (!PictureAt(index.row())) return Qt::ItemIsEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList CGalleryModel::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

// Other programs take the pictures' files: as URLs, and as paths for those
// that read plain text.
QMimeData* CGalleryModel::mimeData(const QModelIndexList& indexes) const {
  QList<QUrl> urls;
  QStringList paths;
  for (const QModelIndex& index : indexes) {
    const Picture* picture = PictureAt(index.row());
    if (!picture) continue;
    urls << QUrl::fromLocalFile(AbsolutePath(*picture));
    paths << AbsolutePath(*picture);
  }
  if (urls.isEmpty()) return nullptr;
  auto* data = new QMimeData;
  data->setUrls(urls);
  data->setText(paths.join(QLatin1Char('\n')));
  return data;
}

Qt::DropActions CGalleryModel::supportedDragActions() const { return Qt::CopyAction; }

int CGalleryModel::GroupOf(const QString& path) {
  const int slash = path.indexOf(QLatin1Char('/'));
  const QString folder = slash < 0 ? QString() : path.left(slash);
  const auto found = groupByName_.constFind(folder);
  if (found != groupByName_.constEnd()) return *found;
  groups_.push_back(folder);
  groupCounts_.push_back(0);
  groupByName_.insert(folder, static_cast<int>(groups_.size()) - 1);
  return static_cast<int>(groups_.size()) - 1;
}

int CGalleryModel::AddPicture(const ScannedFile& file) {
  Picture picture;
  picture.path = file.path;
  picture.folded = file.path.toCaseFolded();
  picture.name = file.path.mid(file.path.lastIndexOf(QLatin1Char('/')) + 1);
  picture.group = GroupOf(file.path);
  picture.bytes = file.bytes;
  picture.modifiedMs = file.modifiedMs;
  pictures_.push_back(std::move(picture));
  rowOfPicture_.push_back(-1);
  const int entry = static_cast<int>(pictures_.size()) - 1;
  byPath_.insert(file.path, entry);
  return entry;
}

void CGalleryModel::DropPicture(const QString& path) {
  const auto found = byPath_.find(path);
  if (found == byPath_.end()) return;
  Picture& picture = pictures_[*found];
  picture.alive = false;
  picture.path.clear();
  picture.folded.clear();
  picture.name.clear();
  byPath_.erase(found);
  ++dead_;
}

void CGalleryModel::Apply(const ScanChanges& changes) {
  for (const QString& path : changes.removed) DropPicture(path);
  bool unknownPixels = false;
  for (const ScannedFile& file : changes.changed) {
    DropPicture(file.path);  // a changed file is a new picture
    AddPicture(file);
    unknownPixels = true;
  }
  Rebuild();
  if (unknownPixels && sort_ == Sort::Pixels) emit PixelsWanted(PixelsUnknown());
}

void CGalleryModel::Remove(const QStringList& paths) {
  for (const QString& path : paths) DropPicture(path);
  Rebuild();
}

void CGalleryModel::SetPixels(const PixelSizes& sizes) {
  for (const auto& [path, size] : sizes) {
    const auto found = byPath_.constFind(path);
    // A picture whose size cannot be read counts as none.
    if (found != byPath_.constEnd()) pictures_[*found].pixels = size.isValid() ? size : QSize(0, 0);
  }
  if (sort_ == Sort::Pixels) Rebuild();
}

QStringList CGalleryModel::PixelsUnknown() const {
  QStringList paths;
  for (const Picture& picture : pictures_)
    if (picture.alive && !picture.pixels.isValid()) paths << picture.path;
  return paths;
}

void CGalleryModel::SetSort(Sort sort) {
  if (sort == sort_) return;
  sort_ = sort;
  if (sort_ == Sort::Pixels) {
    const QStringList unknown = PixelsUnknown();
    if (!unknown.isEmpty()) emit PixelsWanted(unknown);
  }
  Rebuild();
}

void CGalleryModel::SetFilter(const QString& text) {
  if (text == filter_) return;
  filter_ = text;
  foldedFilter_ = text.toCaseFolded();
  Rebuild();
}

bool CGalleryModel::Shows(const Picture& picture) const {
  return picture.alive && (foldedFilter_.isEmpty() || picture.folded.contains(foldedFilter_));
}

// Newest, largest and most pixels first; names from A to Z. Ties go by
// name, so that the order is the same every time.
bool CGalleryModel::Before(int a, int b) const {
  const Picture& x = pictures_[a];
  const Picture& y = pictures_[b];
  switch (sort_) {
    case Sort::Date:
      if (x.modifiedMs != y.modifiedMs) return x.modifiedMs > y.modifiedMs;
      break;
    case Sort::Size:
      if (x.bytes != y.bytes) return x.bytes > y.bytes;
      break;
    case Sort::Pixels: {
      auto count = [](QSize s) { return s.isValid() ? qint64(s.width()) * s.height() : -1; };
      if (count(x.pixels) != count(y.pixels)) return count(x.pixels) > count(y.pixels);
      break;
    }
    case Sort::Name:
      // Single files come first, then the folders from A to Z.
      if ((groups_[x.group].isEmpty()) != (groups_[y.group].isEmpty()))
        return groups_[x.group].isEmpty();
      break;
  }
  return x.folded < y.folded;
}

void CGalleryModel::Rebuild() {
  std::vector<int> order;
  order.reserve(byPath_.size());
  for (int entry = 0; entry < static_cast<int>(pictures_.size()); ++entry)
    if (Shows(pictures_[entry])) order.push_back(entry);
  std::sort(order.begin(), order.end(), [this](int a, int b) { return Before(a, b); });

  // A group stands where its first picture in this order would stand.
  std::vector<int> rankOfGroup(groups_.size(), -1);
  std::vector<int> groupOfRank;
  std::vector<int> counts;
  for (int entry : order) {
    int& rank = rankOfGroup[pictures_[entry].group];
    if (rank < 0) {
      rank = static_cast<int>(groupOfRank.size());
      groupOfRank.push_back(pictures_[entry].group);
      counts.push_back(0);
    }
    ++counts[rank];
  }
  std::vector<int> next(groupOfRank.size());
  std::vector<int> rows(order.size() + groupOfRank.size());
  int at = 0;
  for (std::size_t rank = 0; rank < groupOfRank.size(); ++rank) {
    rows[at] = -1 - groupOfRank[rank];
    next[rank] = at + 1;
    at += counts[rank] + 1;
  }
  for (int entry : order) rows[next[rankOfGroup[pictures_[entry].group]]++] = entry;

  std::vector<int> countsBefore = groupCounts_;
  std::fill(groupCounts_.begin(), groupCounts_.end(), 0);
  for (std::size_t rank = 0; rank < groupOfRank.size(); ++rank)
    groupCounts_[groupOfRank[rank]] = counts[rank];
  shownPictures_ = static_cast<int>(order.size());
  ChangeRowsTo(std::move(rows));
  // Headers whose count changed.
  countsBefore.resize(groupCounts_.size());
  for (int row = 0; row < static_cast<int>(rows_.size()); ++row) {
    const int key = rows_[row];
    if (key < 0 && countsBefore[-1 - key] != groupCounts_[-1 - key])
      emit dataChanged(index(row), index(row), {Qt::DisplayRole});
  }
  if (dead_ > 1024 && dead_ > PictureCount()) Compact();
}

void CGalleryModel::ChangeRowsTo(std::vector<int> rows) {
  std::vector<char> inNewPicture(pictures_.size()), inNewGroup(groups_.size());
  for (int key : rows) (key >= 0 ? inNewPicture[key] : inNewGroup[-1 - key]) = 1;
  auto kept = [&](int key) { return key >= 0 ? inNewPicture[key] : inNewGroup[-1 - key]; };

  // Rows that go, from the last one up, a run at a time.
  for (int row = static_cast<int>(rows_.size()) - 1; row >= 0;) {
    if (kept(rows_[row])) {
      --row;
      continue;
    }
    const int last = row;
    while (row >= 0 && !kept(rows_[row])) --row;
    beginRemoveRows(QModelIndex(), row + 1, last);
    rows_.erase(rows_.begin() + row + 1, rows_.begin() + last + 1);
    endRemoveRows();
  }

  // Rows that stay, in their new order.
  std::vector<char> inOldPicture(pictures_.size()), inOldGroup(groups_.size());
  for (int key : rows_) (key >= 0 ? inOldPicture[key] : inOldGroup[-1 - key]) = 1;
  auto old = [&](int key) { return key >= 0 ? inOldPicture[key] : inOldGroup[-1 - key]; };
  std::vector<int> staying;
  staying.reserve(rows_.size());
  for (int key : rows)
    if (old(key)) staying.push_back(key);
  if (staying != rows_) {
    emit layoutAboutToBeChanged();
    std::vector<int> picturePlace(pictures_.size(), -1), groupPlace(groups_.size(), -1);
    for (int row = 0; row < static_cast<int>(staying.size()); ++row)
      (staying[row] >= 0 ? picturePlace[staying[row]] : groupPlace[-1 - staying[row]]) = row;
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    for (const QModelIndex& index : before) {
      const int key = rows_[index.row()];
      after << this->index(key >= 0 ? picturePlace[key] : groupPlace[-1 - key], 0);
    }
    rows_ = std::move(staying);
    changePersistentIndexList(before, after);
    emit layoutChanged();
  }

  // Rows that come, a run at a time.
  std::size_t row = 0;
  for (std::size_t i = 0; i < rows.size();) {
    if (row < rows_.size() && rows_[row] == rows[i]) {
      ++row;
      ++i;
      continue;
    }
    const std::size_t first = i;
    while (i < rows.size() && !old(rows[i])) ++i;
    if (i == first) {
      // Cannot happen: the rows that stay are in their new order by now.
      beginResetModel();
      rows_ = std::move(rows);
      endResetModel();
      break;
    }
    beginInsertRows(QModelIndex(), static_cast<int>(row), static_cast<int>(row + i - first) - 1);
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(row), rows.begin() + first,
                 rows.begin() + i);
    endInsertRows();
    row += i - first;
  }

  std::fill(rowOfPicture_.begin(), rowOfPicture_.end(), -1);
  for (int r = 0; r < static_cast<int>(rows_.size()); ++r)
    if (rows_[r] >= 0) rowOfPicture_[rows_[r]] = r;
}

// Entries of files that are gone are let go of. Rows stay as they are: only
// the numbers of their entries change, which nobody outside sees.
void CGalleryModel::Compact() {
  std::vector<int> renumbered(pictures_.size(), -1);
  std::vector<Picture> live;
  live.reserve(byPath_.size());
  for (std::size_t entry = 0; entry < pictures_.size(); ++entry) {
    if (!pictures_[entry].alive) continue;
    renumbered[entry] = static_cast<int>(live.size());
    live.push_back(std::move(pictures_[entry]));
  }
  pictures_ = std::move(live);
  for (int& key : rows_)
    if (key >= 0) key = renumbered[key];
  byPath_.clear();
  rowOfPicture_.assign(pictures_.size(), -1);
  for (int entry = 0; entry < static_cast<int>(pictures_.size()); ++entry)
    byPath_.insert(pictures_[entry].path, entry);
  for (int r = 0; r < static_cast<int>(rows_.size()); ++r)
    if (rows_[r] >= 0) rowOfPicture_[rows_[r]] = r;
  dead_ = 0;
}

}  // namespace tvx::ui
