#include "engine/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace tvx {

FolderLock::Result FolderLock::Take(const std::string& folder) {
  const std::string path = folder.empty() ? kFolderLockFile : folder + "/" + kFolderLockFile;
  // O_NOFOLLOW: a link planted at the name does not lead the lock elsewhere.
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0644));
  if (fd.Get() < 0) return Result::NotLockable;
  while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    return errno == EWOULDBLOCK ? Result::HeldByAnother : Result::NotLockable;
  }
  fd_ = std::move(fd);
  return Result::Taken;
}

}  // namespace tvx
