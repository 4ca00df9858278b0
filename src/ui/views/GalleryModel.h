// The rows of the gallery: every saved picture below Pictures, grouped by
// project folder with a header row before each group, in the chosen order,
// narrowed by the filter. Changes found on disk move, insert and remove rows
// as such, so that the selection and the scroll position stay where they are.
#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QSize>
#include <QString>
#include <QStringList>
#include <vector>

#include "ui/views/GalleryScan.h"

namespace tvx::ui {

class CGalleryModel : public QAbstractListModel {
  Q_OBJECT

 public:
  enum class Sort { Date, Name, Size, Pixels };
  enum Role {
    kAbsolutePathRole = Qt::UserRole + 1,
    kRelativePathRole,  // below Pictures, '/' between its parts
    kIsHeaderRole,
  };

  // One picture. An entry is never reused for another file: a file that
  // changes gets a new one, so rows are told apart by their entries.
  struct Picture {
    QString path;    // below Pictures
    QString folded;  // path in lower case, for the filter and the name order
    QString name;    // the file's own name
    int group = 0;
    qint64 bytes = 0;
    qint64 modifiedMs = 0;
    QSize pixels;  // invalid until read
    bool alive = true;
  };

  // picturesFolder: absolute; the pictures' absolute paths start with it.
  explicit CGalleryModel(QString picturesFolder, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  Qt::DropActions supportedDragActions() const override;

  // Takes in what a scan found.
  void Apply(const ScanChanges& changes);
  // Takes the pixel sizes read; reorders when they decide the order.
  void SetPixels(const PixelSizes& sizes);
  // Takes pictures away at once (moved to the trash from the gallery).
  void Remove(const QStringList& paths);

  void SetSort(Sort sort);
  Sort SortOrder() const { return sort_; }
  // Shows only pictures whose path below Pictures (folders and name) holds
  // text, ignoring case; empty shows all.
  void SetFilter(const QString& text);
  const QString& Filter() const { return filter_; }

  // The picture a row shows; null for a header row or no row.
  const Picture* PictureAt(int row) const;
  // A header row's text and the number of pictures under it.
  QString HeaderText(int row) const;
  int HeaderCount(int row) const;
  QString AbsolutePath(const Picture& picture) const;
  // The row of a picture by its path below Pictures, or an invalid index.
  QModelIndex IndexOf(const QString& path) const;
  // Pictures known, and those shown (headers not counted).
  int PictureCount() const { return static_cast<int>(byPath_.size()); }
  int ShownCount() const { return shownPictures_; }
  // Paths below Pictures of the pictures whose pixel size is not known yet.
  QStringList PixelsUnknown() const;

  // The header text of the files saved directly in Pictures.
  static QString SingleFilesText();

 signals:
  // The order needs the pixel sizes of these pictures.
  void PixelsWanted(const QStringList& paths);

 private:
  int GroupOf(const QString& path);
  int AddPicture(const ScannedFile& file);
  void DropPicture(const QString& path);
  // Puts the rows in the order the pictures, sort and filter now give.
  void Rebuild();
  // Moves from the present rows to these, by removals, one reordering and
  // insertions.
  void ChangeRowsTo(std::vector<int> rows);
  bool Shows(const Picture& picture) const;
  bool Before(int a, int b) const;
  void Compact();

  const QString root_;
  std::vector<Picture> pictures_;
  QHash<QString, int> byPath_;   // live entries
  std::vector<QString> groups_;  // project folder names ("" for single files)
  QHash<QString, int> groupByName_;
  std::vector<int> groupCounts_;  // pictures shown per group
  // A row is an entry (>= 0) or the header of group g (-1 - g).
  std::vector<int> rows_;
  std::vector<int> rowOfPicture_;  // -1 when not shown
  int shownPictures_ = 0;
  int dead_ = 0;
  Sort sort_ = Sort::Date;
  QString filter_;
  QString foldedFilter_;
};

}  // namespace tvx::ui
