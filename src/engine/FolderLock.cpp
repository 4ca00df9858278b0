#include "engine/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tvx {
namespace {

// Whether fd is still the file at path (a copy ending meanwhile removes it).
bool StillNamed(int fd, const std::string& path) {
  struct stat open {
  }, named{};
  return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace

FolderLock::~FolderLock() { Release(); }

FolderLock::Result FolderLock::Take(const std::string& folder) {
  const std::string path = folder.empty() ? kFolderLockFile : folder + "/" + kFolderLockFile;
  for (int attempt = 0; attempt < 100; ++attempt) {
    // O_NOFOLLOW: a link planted at the name does not lead the lock elsewhere.
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0644));
    if (fd.Get() < 0) return Result::NotLockable;
    int rc;
    while ((rc = ::flock(fd.Get(), LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (rc != 0) return errno == EWOULDBLOCK ? Result::HeldByAnother : Result::NotLockable;
    // The copy that held it may have removed the file between our open and
    // our lock: a lock on a file without its name guards nothing.
    if (!StillNamed(fd.Get(), path)) continue;
    fd_ = std::move(fd);
    path_ = path;
    return Result::Taken;
  }
  return Result::NotLockable;
}

void FolderLock::Release() {
  if (fd_.Get() < 0) return;
  // Removed while still held, so that a copy starting now makes a new one.
  ::unlink(path_.c_str());
  fd_ = UniqueFd();
}

}  // namespace tvx
