// The gallery's knowledge of the Pictures folder: every saved picture below
// it, found on a thread of its own and handed to the window as changes (what
// is new or changed, what is gone), so that the window never walks a folder
// and never compares long lists itself.
#pragma once

#include <QHash>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace tvx::ui {

// One saved picture as a scan finds it.
struct ScannedFile {
  QString path;  // below Pictures, '/' between its parts
  qint64 bytes = 0;
  qint64 modifiedMs = 0;  // modification time, milliseconds since the epoch
};

// What changed below Pictures since the last report.
struct ScanChanges {
  std::vector<ScannedFile> changed;  // new, or changed in size or time
  QStringList removed;               // paths below Pictures
  QStringList addedFolders;          // absolute paths, to watch
  QStringList removedFolders;        // absolute paths, no longer there
  bool wholeScan = false;            // the result of a scan of everything
};

using PixelSizes = std::vector<std::pair<QString, QSize>>;  // path below Pictures, size

// Whether a file below Pictures is a saved picture the gallery shows: not a
// hidden file, nor a download's partial file or its resume note.
bool IsGalleryFile(const QString& name);

class CGalleryScanner {
 public:
  // picturesFolder: absolute. Results are delivered on receiver's thread,
  // in the order they were made, while receiver lives.
  CGalleryScanner(QString picturesFolder, QObject* receiver,
                  std::function<void(ScanChanges)> onChanges,
                  std::function<void(PixelSizes)> onPixels);
  // Stops at the next file and waits for the thread.
  ~CGalleryScanner();
  CGalleryScanner(const CGalleryScanner&) = delete;
  CGalleryScanner& operator=(const CGalleryScanner&) = delete;

  const QString& PicturesFolder() const { return root_; }
  // Walks the whole of Pictures and reports the difference with what was
  // known (everything, the first time).
  void ScanAll();
  // Looks again at these folders (absolute paths): their files, and folders
  // that came or went in them, with everything below those.
  void ScanFolders(const QStringList& folders);
  // Reads the pixel sizes of these pictures (paths below Pictures) from
  // their headers; replaces a request not yet carried out.
  void ReadPixels(QStringList paths);
  // True once nothing is waiting or under way (tests, the benchmark).
  bool WaitIdle(int milliseconds);

  // A file saved this recently may still be written: its folder is looked
  // at again a moment later, since the end of a write moves nothing that a
  // folder's watcher sees.
  static constexpr std::chrono::milliseconds kYoungFile{3000};
  static constexpr std::chrono::milliseconds kLookAgain{1500};

 private:
  struct Stamp {
    qint64 bytes = 0;
    qint64 modifiedMs = 0;
    bool operator==(const Stamp&) const = default;
  };
  // The files of one folder by name.
  using Folder = QHash<QString, Stamp>;

  void Run();
  void DoScanAll(ScanChanges& out);
  void DoScanFolder(const QString& relative, ScanChanges& out);
  // Every folder from relative down, with its files.
  void Walk(const QString& relative, QHash<QString, Folder>& found) const;
  bool ListFolder(const QString& relative, Folder& files, QStringList& subfolders) const;
  void Forget(const QString& relative, ScanChanges& out);
  void Adopt(const QString& relative, Folder files, ScanChanges& out);
  void NoteYoung(const QString& relative, const Folder& files);
  void DoReadPixels(const QStringList& paths);
  void Deliver(ScanChanges changes);
  QString Absolute(const QString& relative) const;

  const QString root_;
  QObject* const receiver_;
  std::function<void(ScanChanges)> onChanges_;
  std::function<void(PixelSizes)> onPixels_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  bool scanAll_ = false;
  QStringList folderRequests_;
  QStringList pixelRequest_;
  bool pixelRequested_ = false;
  bool busy_ = false;
  std::atomic<bool> stop_{false};
  std::deque<std::pair<std::chrono::steady_clock::time_point, QString>> lookAgain_;

  // Scanner thread only: every folder known, by its path below Pictures ("" is
  // Pictures itself).
  QHash<QString, Folder> known_;
  std::thread thread_;
};

}  // namespace tvx::ui
