#include "ui/views/GalleryScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QImageReader>
#include <QSet>

namespace tvx::ui {
namespace {

QString Join(const QString& folder, const QString& name) {
  return folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
}

bool IsBelow(const QString& path, const QString& folder) {
  return folder.isEmpty() || path == folder ||
         (path.size() > folder.size() && path.startsWith(folder) &&
          path[folder.size()] == QLatin1Char('/'));
}

qint64 NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// The pixel sizes read are handed over in pieces this large, or this often.
constexpr std::size_t kPixelBatch = 5000;
constexpr auto kPixelBatchTime = std::chrono::milliseconds(500);

}  // namespace

bool IsGalleryFile(const QString& name) {
  return !name.endsWith(QLatin1String(".part")) && !name.endsWith(QLatin1String(".part.resume"));
}

CGalleryScanner::CGalleryScanner(QString picturesFolder, QObject* receiver,
                                 std::function<void(ScanChanges)> onChanges,
                                 std::function<void(PixelSizes)> onPixels)
    : root_(std::move(picturesFolder)),
      receiver_(receiver),
      onChanges_(std::move(onChanges)),
      onPixels_(std::move(onPixels)) {
  thread_ = std::thread([this] { Run(); });
}

CGalleryScanner::~CGalleryScanner() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void CGalleryScanner::ScanAll() {
  {
    std::lock_guard lock(mutex_);
    scanAll_ = true;
  }
  wake_.notify_all();
}

void CGalleryScanner::ScanFolders(const QStringList& folders) {
  {
    std::lock_guard lock(mutex_);
    for (const QString& folder : folders) {
      QString relative;
      if (folder == root_) {
        relative = QString();
      } else if (folder.startsWith(root_ + QLatin1Char('/'))) {
        relative = folder.mid(root_.size() + 1);
      } else {
        continue;
      }
      if (!folderRequests_.contains(relative)) folderRequests_ << relative;
    }
  }
  wake_.notify_all();
}

void CGalleryScanner::ReadPixels(QStringList paths) {
  {
    std::lock_guard lock(mutex_);
    pixelRequest_ = std::move(paths);
    pixelRequested_ = true;
  }
  wake_.notify_all();
}

bool CGalleryScanner::WaitIdle(int milliseconds) {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] {
    return !busy_ && !scanAll_ && folderRequests_.isEmpty() && !pixelRequested_;
  });
}

QString CGalleryScanner::Absolute(const QString& relative) const {
  return relative.isEmpty() ? root_ : root_ + QLatin1Char('/') + relative;
}

void CGalleryScanner::Run() {
  // At the usual priority: a walk is short, and the first screen waits for it.
  std::unique_lock lock(mutex_);
  for (;;) {
    auto due = [this] {
      return !lookAgain_.empty() && lookAgain_.front().first <= std::chrono::steady_clock::now();
    };
    auto work = [&] {
      return stop_ || scanAll_ || !folderRequests_.isEmpty() || pixelRequested_ || due();
    };
    if (lookAgain_.empty())
      wake_.wait(lock, work);
    else
      wake_.wait_until(lock, lookAgain_.front().first, work);
    if (stop_) return;
    if (!work()) continue;
    const bool all = scanAll_;
    QStringList folders = std::move(folderRequests_);
    folderRequests_.clear();
    while (due()) {
      if (!folders.contains(lookAgain_.front().second)) folders << lookAgain_.front().second;
      lookAgain_.pop_front();
    }
    const bool pixels = pixelRequested_;
    QStringList pixelPaths = std::move(pixelRequest_);
    pixelRequest_.clear();
    scanAll_ = pixelRequested_ = false;
    busy_ = true;
    lock.unlock();

    ScanChanges changes;
    if (all) {
      DoScanAll(changes);
    } else {
      for (const QString& folder : folders) DoScanFolder(folder, changes);
    }
    if (!stop_ && (all || !changes.changed.empty() || !changes.removed.isEmpty() ||
                   !changes.addedFolders.isEmpty() || !changes.removedFolders.isEmpty()))
      Deliver(std::move(changes));
    if (pixels) DoReadPixels(pixelPaths);

    lock.lock();
    busy_ = false;
    idle_.notify_all();
  }
}

bool CGalleryScanner::ListFolder(const QString& relative, Folder& files,
                                 QStringList& subfolders) const {
  // Pictures itself may be a link the user made; no link below it is
  // followed (the program never writes through one either).
  const QByteArray native = QFile::encodeName(Absolute(relative));
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (relative.isEmpty() ? 0 : O_NOFOLLOW);
  const int fd = ::open(native.constData(), flags);
  if (fd < 0) return false;
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return false;
  }
  while (const dirent* entry = ::readdir(dir)) {
    if (stop_) break;
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    struct stat info {};
    if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    const QString text = QFile::decodeName(name);
    if (S_ISDIR(info.st_mode)) {
      subfolders << Join(relative, text);
    } else if (S_ISREG(info.st_mode) && IsGalleryFile(text)) {
      files.insert(text, Stamp{static_cast<qint64>(info.st_size),
                               static_cast<qint64>(info.st_mtim.tv_sec) * 1000 +
                                   info.st_mtim.tv_nsec / 1000000});
    }
  }
  ::closedir(dir);
  return true;
}

void CGalleryScanner::Walk(const QString& relative, QHash<QString, Folder>& found) const {
  QStringList pending{relative};
  while (!pending.isEmpty() && !stop_) {
    const QString folder = pending.takeLast();
    Folder files;
    QStringList subfolders;
    if (!ListFolder(folder, files, subfolders)) continue;
    found.insert(folder, std::move(files));
    pending += subfolders;
  }
}

void CGalleryScanner::DoScanAll(ScanChanges& out) {
  out.wholeScan = true;
  QHash<QString, Folder> now;
  Walk(QString(), now);
  if (stop_) return;
  for (auto folder = now.cbegin(); folder != now.cend(); ++folder) {
    const auto before = known_.constFind(folder.key());
    if (before == known_.constEnd()) out.addedFolders << Absolute(folder.key());
    for (auto file = folder->cbegin(); file != folder->cend(); ++file) {
      if (before != known_.constEnd()) {
        const auto was = before->constFind(file.key());
        if (was != before->constEnd() && *was == *file) continue;
      }
      out.changed.push_back({Join(folder.key(), file.key()), file->bytes, file->modifiedMs});
    }
    NoteYoung(folder.key(), *folder);
  }
  for (auto folder = known_.cbegin(); folder != known_.cend(); ++folder) {
    const auto after = now.constFind(folder.key());
    if (after == now.constEnd()) out.removedFolders << Absolute(folder.key());
    for (auto file = folder->cbegin(); file != folder->cend(); ++file)
      if (after == now.constEnd() || !after->contains(file.key()))
        out.removed << Join(folder.key(), file.key());
  }
  known_ = std::move(now);
}

void CGalleryScanner::DoScanFolder(const QString& relative, ScanChanges& out) {
  Folder files;
  QStringList subfolders;
  if (!ListFolder(relative, files, subfolders)) {
    Forget(relative, out);
    return;
  }
  auto known = known_.find(relative);
  if (known == known_.end()) {
    // A folder not seen before (a watcher's report can come before the
    // report of its parent): taken in with everything below it.
    QHash<QString, Folder> found;
    Walk(relative, found);
    for (auto folder = found.begin(); folder != found.end(); ++folder)
      if (!known_.contains(folder.key())) Adopt(folder.key(), std::move(*folder), out);
    return;
  }
  for (auto file = files.cbegin(); file != files.cend(); ++file) {
    const auto was = known->constFind(file.key());
    if (was == known->constEnd() || !(*was == *file))
      out.changed.push_back({Join(relative, file.key()), file->bytes, file->modifiedMs});
  }
  for (auto file = known->cbegin(); file != known->cend(); ++file)
    if (!files.contains(file.key())) out.removed << Join(relative, file.key());
  NoteYoung(relative, files);
  *known = std::move(files);

  // Folders that came or went in it.
  const QSet<QString> present(subfolders.cbegin(), subfolders.cend());
  QStringList gone;
  for (auto folder = known_.cbegin(); folder != known_.cend(); ++folder) {
    const QString& path = folder.key();
    if (path.isEmpty() || !IsBelow(path, relative) || path == relative) continue;
    const QString child = relative.isEmpty()
                              ? path.section(QLatin1Char('/'), 0, 0)
                              : path.left(path.indexOf(QLatin1Char('/'), relative.size() + 1));
    if (!present.contains(child) && !gone.contains(child)) gone << child;
  }
  for (const QString& child : gone) Forget(child, out);
  for (const QString& child : subfolders) {
    if (known_.contains(child)) continue;
    QHash<QString, Folder> found;
    Walk(child, found);
    for (auto folder = found.begin(); folder != found.end(); ++folder)
      if (!known_.contains(folder.key())) Adopt(folder.key(), std::move(*folder), out);
  }
}

void CGalleryScanner::Forget(const QString& relative, ScanChanges& out) {
  for (auto folder = known_.begin(); folder != known_.end();) {
    if (!IsBelow(folder.key(), relative)) {
      ++folder;
      continue;
    }
    for (auto file = folder->cbegin(); file != folder->cend(); ++file)
      out.removed << Join(folder.key(), file.key());
    out.removedFolders << Absolute(folder.key());
    folder = known_.erase(folder);
  }
}

void CGalleryScanner::Adopt(const QString& relative, Folder files, ScanChanges& out) {
  out.addedFolders << Absolute(relative);
  for (auto file = files.cbegin(); file != files.cend(); ++file)
    out.changed.push_back({Join(relative, file.key()), file->bytes, file->modifiedMs});
  NoteYoung(relative, files);
  known_.insert(relative, std::move(files));
}

void CGalleryScanner::NoteYoung(const QString& relative, const Folder& files) {
  const qint64 youngSince = NowMs() - kYoungFile.count();
  bool young = false;
  for (const Stamp& stamp : files) young = young || stamp.modifiedMs > youngSince;
  if (!young) return;
  std::lock_guard lock(mutex_);
  for (const auto& [when, folder] : lookAgain_)
    if (folder == relative) return;
  lookAgain_.emplace_back(std::chrono::steady_clock::now() + kLookAgain, relative);
}

void CGalleryScanner::DoReadPixels(const QStringList& paths) {
  PixelSizes batch;
  auto since = std::chrono::steady_clock::now();
  for (const QString& path : paths) {
    if (stop_) return;
    {
      std::lock_guard lock(mutex_);
      if (pixelRequested_) break;  // a newer request replaces this one
    }
    QImageReader reader(Absolute(path));
    batch.emplace_back(path, reader.size());
    if (batch.size() >= kPixelBatch || std::chrono::steady_clock::now() - since > kPixelBatchTime) {
      QMetaObject::invokeMethod(
          receiver_, [deliver = onPixels_, batch = std::move(batch)] { deliver(batch); },
          Qt::QueuedConnection);
      batch = {};
      since = std::chrono::steady_clock::now();
    }
  }
  if (!batch.empty())
    QMetaObject::invokeMethod(
        receiver_, [deliver = onPixels_, batch = std::move(batch)] { deliver(batch); },
        Qt::QueuedConnection);
}

void CGalleryScanner::Deliver(ScanChanges changes) {
  QMetaObject::invokeMethod(
      receiver_,
      [deliver = onChanges_, changes = std::move(changes)]() mutable {
        deliver(std::move(changes));
      },
      Qt::QueuedConnection);
}

}  // namespace tvx::ui
