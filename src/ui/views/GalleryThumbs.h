// The gallery's thumbnails: found in the desktop's shared cache or made into
// it on a pool of threads of their own, in the order the pictures are in
// view; a request for a picture scrolled out of view is dropped before it
// starts, and a decode of one is abandoned. Decoded thumbnails are kept at
// the size they are drawn, in at most 64 MiB, the least recently drawn going
// first.
#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace tvx::ui {

class CGalleryThumbs : public QObject {
  Q_OBJECT

 public:
  static constexpr qint64 kMemoryBytes = qint64{64} << 20;

  // A picture as the gallery knows it: a thumbnail made before it changed,
  // or at another size, is not its thumbnail.
  struct Want {
    QString file;  // absolute path
    qint64 bytes = 0;
    qint64 modifiedMs = 0;
  };
  enum class State { NotMade, Made, Failed, TooLarge };
  struct Thumb {
    State state = State::NotMade;
    QImage image;  // fits side x side (made)
    QSize pixels;  // the picture's own size, when known
    int side = 0;  // the side it was made for
  };

  explicit CGalleryThumbs(QObject* parent = nullptr);
  ~CGalleryThumbs() override;

  // What is known of a picture's thumbnail, and marks it as just drawn. One
  // made at another side than wanted now is given too (its side says so), to
  // be drawn scaled until the right one comes.
  Thumb Find(const Want& picture);
  // The pictures in view, first to make first. Every request not among them
  // is dropped; one under way for a picture no longer in view is abandoned.
  void SetWanted(const std::vector<Want>& pictures, int side);

  // Memory held by decoded thumbnails.
  qint64 MemoryUsed() const { return static_cast<qint64>(cache_.totalCost()) * 1024; }
  void SetMemoryLimit(qint64 bytes);
  // How many thumbnails were made or read so far (tests, the benchmark).
  int Delivered() const { return delivered_; }
  // True once nothing waits or runs (tests, the benchmark).
  bool WaitIdle(int milliseconds) { return pool_.waitForDone(milliseconds); }
  bool Busy() const;

 signals:
  void Ready(const QString& file);

 private:
  struct Entry {
    Thumb thumb;
    qint64 bytes = 0;
    qint64 modifiedMs = 0;
  };
  struct Job {
    Want picture;
    int side = 0;
  };
  void RunOne();
  void Deliver(const Job& job, Thumb thumb);
  bool Current(const Entry& entry, const Want& picture) const;

  const QString root_;
  QCache<QString, Entry> cache_;  // cost in KiB
  QThreadPool pool_;
  mutable std::mutex mutex_;
  std::deque<Job> waiting_;                                        // first to make first
  std::map<QString, std::shared_ptr<std::atomic<bool>>> running_;  // abandon flags
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  int delivered_ = 0;
};

}  // namespace tvx::ui
