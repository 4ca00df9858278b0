#include "files/CreditsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "files/LocalPath.h"

namespace tvx {

bool AppendCreditLine(std::string_view line) {
  const LocalPath path = LocalPath::ForSingleFile(kCreditsFileName);
  UniqueFd folder = path.OpenParent();
  if (!folder) return false;
  // Non-blocking, so that a FIFO put in its place cannot hold the worker.
  UniqueFd file(::openat(folder.Get(), path.Leaf().c_str(),
                         O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                         0644));
  if (!file) return false;
  struct stat info {};
  if (::fstat(file.Get(), &info) != 0) return false;
  if (!S_ISREG(info.st_mode)) {
    errno = EINVAL;
    return false;
  }
  std::string text(line);
  text += '\n';
  const ssize_t written = ::write(file.Get(), text.data(), text.size());
  if (written != static_cast<ssize_t>(text.size())) {
    if (written >= 0) errno = ENOSPC;
    return false;
  }
  return file.Reset() == 0;
}

bool WriteCreditOfSaved(const PictureCredits& credits, std::string_view url) {
  const std::optional<PictureCredit> credit = credits.Get(url);
  return !credit || AppendCreditLine(CreditLine(LocalPath::ForSingleFile(url).Leaf(), *credit));
}

}  // namespace tvx
