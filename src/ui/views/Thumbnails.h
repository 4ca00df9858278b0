// Thumbnails of saved pictures, made off the user-interface thread and kept
// in the desktop's shared thumbnail cache ($XDG_CACHE_HOME/thumbnails, the
// freedesktop layout), so other programs use them too and a later run finds
// them made.
#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <atomic>
#include <memory>
#include <mutex>

namespace tvx::ui {

// What is known of one picture file.
struct ThumbInfo {
  bool failed = false;    // no thumbnail: only its byte size (and pixel size) is shown
  bool tooLarge = false;  // failed because it is over the pixel budget
  QString thumbFile;      // the cached PNG, when not failed
  QSize pixels;           // the picture's own size
  qint64 bytes = 0;       // the file's size
  qint64 modified = 0;    // the file's modification time (seconds), as cached
};

// The cache folder: $XDG_CACHE_HOME/thumbnails, or ~/.cache/thumbnails.
QString ThumbnailRoot();
// "file:///..." with the path's bytes escaped, as the cache names files by.
QString FileUri(const QString& absolutePath);
// Where the 256-pixel ("large") thumbnail of absolutePath is kept.
QString LargeThumbnailPath(const QString& root, const QString& absolutePath);
// Where a failure to make it is recorded.
QString FailedThumbnailPath(const QString& root, const QString& absolutePath);

// The text chunks of a PNG that precede its image data, by key.
QHash<QString, QString> PngTexts(const QString& path);

// Finds the thumbnail of absolutePath in the cache (used when its recorded
// modification time and size are the file's), or makes it: the picture is
// decoded scaled (longest side 256, never enlarged) and written with its URI,
// time, size and pixel size, atomically, mode 0600, in folders of mode 0700.
// A picture Qt cannot decode, or too large to decode, is recorded under
// fail/. Safe on any thread. Nothing (failed, no size) when the file cannot
// be read at all. With image given, the thumbnail's pixels are put there too.
// A decode abandoned through *abandon records nothing and gives failed.
ThumbInfo FindOrMakeThumbnail(const QString& root, const QString& absolutePath,
                              QImage* image = nullptr, const std::atomic<bool>* abandon = nullptr);

// "812 bytes", "245.3 KB", "1.2 MB": a size as the windows show it.
QString FormatByteSize(double bytes);

// Hands thumbnails to the user-interface thread. Requests are served newest
// first by a small pool, and old requests that were never started are
// dropped: pointing along a long list of files never queues up work.
class CThumbnailer : public QObject {
  Q_OBJECT

 public:
  explicit CThumbnailer(QObject* parent = nullptr);
  ~CThumbnailer() override;

  // The thumbnail, when it is made and still matches the file; otherwise
  // nothing (and Request brings it).
  const ThumbInfo* Known(const QString& absolutePath, qint64 modified) const;
  void Request(const QString& absolutePath);
  // Waits until no request is pending or under way (tests, the benchmark).
  bool WaitIdle(int milliseconds);

 signals:
  void Ready(const QString& absolutePath);

 private:
  void RunOne();
  void Deliver(const QString& path, const ThumbInfo& info);

  static constexpr int kMaxPending = 16;
  QString root_;
  QHash<QString, ThumbInfo> known_;
  QThreadPool pool_;
  std::mutex mutex_;
  QStringList pending_;  // newest last
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tvx::ui
