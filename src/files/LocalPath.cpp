#include "files/LocalPath.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "store/Text.h"

namespace tvx {
namespace {

std::uint64_t InitialFloor() {
  constexpr std::uint64_t kMiB = 1024 * 1024;
  if (const char* text = std::getenv("TAVRINOX_MIN_FREE_MB")) {
    char* end = nullptr;
    unsigned long long mb = std::strtoull(text, &end, 10);
    if (end != text && *end == '\0') return mb * kMiB;
  }
  return 512 * kMiB;
}

std::string ErrnoText(int error) { return std::strerror(error); }

// The folders below Pictures, opened one by one from Pictures down without
// following a link; made where missing when create is set.
UniqueFd OpenFolders(const std::vector<std::string>& folders, bool create) {
  if (create && ::mkdir(kPicturesFolder, 0755) != 0 && errno != EEXIST) return UniqueFd();
  // Pictures itself may be a link the user made (to another disk, say).
  UniqueFd dir(::open(kPicturesFolder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  for (const std::string& name : folders) {
    if (!dir) break;
    if (create && ::mkdirat(dir.Get(), name.c_str(), 0755) != 0 && errno != EEXIST) {
      return UniqueFd();
    }
    dir = UniqueFd(
        ::openat(dir.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  return dir;
}

}  // namespace

std::atomic<std::uint64_t> DiskLimits::freeSpaceFloorBytes{InitialFloor()};
std::atomic<std::uint64_t> DiskLimits::fakeFreeBytes{UINT64_MAX};

std::string DiskFloorText() {
  std::uint64_t mb = DiskLimits::freeSpaceFloorBytes.load() / (1024 * 1024);
  return "Not enough free disk space: less than " + std::to_string(mb) +
         " MB would be left on the disk holding Pictures";
}

bool IsSafeName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char ch : name) {
    auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
  }
  return true;
}

std::string ProjectNameProblem(std::string_view name) {
  if (IsSafeName(name)) return {};
  return "The project name cannot be used as a folder name.\n"
         "It must not be empty, \".\" or \"..\", nor hold \"/\", \"\\\" or control characters.";
}

LocalPath LocalPath::ForSingleFile(std::string_view url) {
  return LocalPath().Child(LastSegment(url));
}

LocalPath LocalPath::ForProject(std::string_view projectName) {
  return LocalPath().Child(projectName);
}

LocalPath LocalPath::FromShown(std::string_view shownPath) {
  const std::string_view prefix = kPicturesFolder;
  if (shownPath.size() <= prefix.size() + 1 || shownPath.substr(0, prefix.size()) != prefix ||
      (shownPath[prefix.size()] != '\\' && shownPath[prefix.size()] != '/'))
    return LocalPath().Child("");  // unusable, and shown as given nowhere
  return LocalPath().Below(shownPath.substr(prefix.size() + 1));
}

LocalPath LocalPath::Below(std::string_view subfolders) const {
  LocalPath path = *this;
  std::size_t pos = 0;
  while (pos < subfolders.size()) {
    std::size_t end = subfolders.find_first_of("\\/", pos);
    if (end == std::string_view::npos) end = subfolders.size();
    std::string_view part = subfolders.substr(pos, end - pos);
    if (!part.empty() && part != ".") path = path.Child(part);
    pos = end + 1;
  }
  return path;
}

LocalPath LocalPath::Child(std::string_view name) const {
  LocalPath child = *this;
  child.usable_ = (usable_ || parts_.empty()) && IsSafeName(name);
  child.parts_.emplace_back(name);
  child.shown_ += '\\';
  child.shown_ += name;
  return child;
}

LocalPath LocalPath::WithSuffix(std::string_view suffix) const {
  if (parts_.empty()) return *this;
  LocalPath sibling = *this;
  sibling.parts_.back() += suffix;
  sibling.shown_ += suffix;
  sibling.slack_ += suffix.size();
  sibling.usable_ = usable_ && IsSafeName(sibling.parts_.back());
  return sibling;
}

const std::string& LocalPath::Leaf() const {
  static const std::string kNone;
  return parts_.empty() ? kNone : parts_.back();
}

std::string LocalPath::FsPath() const {
  std::string path = kPicturesFolder;
  for (const std::string& part : parts_) {
    path += '/';
    path += part;
  }
  return path;
}

UniqueFd LocalPath::OpenParent() const {
  if (!usable_ || parts_.empty()) {
    errno = EINVAL;
    return UniqueFd();
  }
  if (shown_.size() > kMaxShownPath + slack_) {
    errno = ENAMETOOLONG;
    return UniqueFd();
  }
  return OpenFolders({parts_.begin(), parts_.end() - 1}, /*create=*/true);
}

bool LocalPath::MakeFolder() const {
  UniqueFd parent = OpenParent();
  if (!parent) return false;
  if (::mkdirat(parent.Get(), Leaf().c_str(), 0755) != 0 && errno != EEXIST) return false;
  UniqueFd self(
      ::openat(parent.Get(), Leaf().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  return self.Valid();
}

UniqueFd LocalPath::OpenForWriting(bool truncate) const {
  UniqueFd parent = OpenParent();
  if (!parent) return parent;
  // Non-blocking, so a FIFO put in the file's place cannot hold the worker;
  // anything but a plain file is refused. Emptied only once it is locked,
  // so a file another writer is filling is never cut under it.
  UniqueFd file(::openat(parent.Get(), Leaf().c_str(),
                         O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
  if (!file) return file;
  struct stat info {};
  if (::fstat(file.Get(), &info) != 0) return UniqueFd();
  if (!S_ISREG(info.st_mode)) {
    errno = EINVAL;
    return UniqueFd();
  }
  if (::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) return UniqueFd();
  // A file that is empty already (nearly always: a new one) is not cut: on
  // ext4 a cut to nothing makes the close write the file out to the disk at
  // once, which costs a crawl of many small pictures much of its time.
  if (truncate && (::fstat(file.Get(), &info) != 0 || info.st_size != 0) &&
      ::ftruncate(file.Get(), 0) != 0)
    return UniqueFd();
  int flags = ::fcntl(file.Get(), F_GETFL);
  if (flags >= 0) ::fcntl(file.Get(), F_SETFL, (flags & ~O_NONBLOCK) | (truncate ? 0 : O_APPEND));
  return file;
}

UniqueFd LocalPath::CreateFile() const { return OpenForWriting(/*truncate=*/true); }

std::optional<std::uint64_t> LocalPath::FileSize() const {
  UniqueFd file = OpenForReading();
  struct stat info {};
  if (!file || ::fstat(file.Get(), &info) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

UniqueFd LocalPath::OpenForReading() const {
  if (!usable_ || parts_.empty()) {
    errno = EINVAL;
    return UniqueFd();
  }
  UniqueFd parent = OpenFolders({parts_.begin(), parts_.end() - 1}, /*create=*/false);
  if (!parent) return parent;
  UniqueFd file(
      ::openat(parent.Get(), Leaf().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!file) return file;
  struct stat info {};
  if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    errno = EINVAL;
    return UniqueFd();
  }
  return file;
}

bool LocalPath::RenameTo(const LocalPath& target) const {
  bool sameFolder = parts_.size() == target.parts_.size() && !parts_.empty() &&
                    std::equal(parts_.begin(), parts_.end() - 1, target.parts_.begin());
  if (!usable_ || !target.usable_ || !sameFolder) {
    errno = EINVAL;
    return false;
  }
  UniqueFd parent = OpenFolders({parts_.begin(), parts_.end() - 1}, /*create=*/false);
  if (!parent) return false;
  // renameat moves the names themselves: a link at either name is neither
  // followed nor written through.
  return ::renameat(parent.Get(), Leaf().c_str(), parent.Get(), target.Leaf().c_str()) == 0;
}

void LocalPath::Remove() const {
  if (!usable_ || parts_.empty()) return;
  UniqueFd parent = OpenFolders({parts_.begin(), parts_.end() - 1}, /*create=*/false);
  if (parent) ::unlinkat(parent.Get(), Leaf().c_str(), 0);
}

LocalFileWriter::LocalFileWriter(LocalPath path, Mode mode) : path_(std::move(path)) {
  fd_ = path_.OpenForWriting(/*truncate=*/mode == Mode::Create);
  if (!fd_) {
    if (errno == EWOULDBLOCK)
      throw LocalFileError(path_.Shown() + " is being written by another download");
    throw LocalFileError("Error creating " + path_.Shown());
  }
  struct stat info {};
  if (mode == Mode::Append && ::fstat(fd_.Get(), &info) == 0)
    startSize_ = static_cast<std::uint64_t>(info.st_size);
  buffer_.reserve(kBuffer);
}

void LocalFileWriter::RenameWhenFinished(LocalPath finalPath) { finalPath_ = std::move(finalPath); }

LocalFileWriter::~LocalFileWriter() {
  if (!fd_) return;
  // Keep what arrived: the bytes still buffered are written as they are.
  std::size_t done = 0;
  while (done < buffer_.size()) {
    ssize_t n = ::write(fd_.Get(), buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
}

void LocalFileWriter::Write(const char* data, std::size_t size) {
  if (!fd_) throw LocalFileError("Error writing " + path_.Shown());
  if (buffer_.size() + size > kBuffer) Flush();
  if (size >= kBuffer) {
    WriteOut(data, size);
    return;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

void LocalFileWriter::Flush() {
  if (buffer_.empty()) return;
  WriteOut(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void LocalFileWriter::CheckFreeSpace(std::size_t size) {
  // Asked before every write to the disk (every 256 KiB at most): other
  // workers fill the same disk, so an answer does not keep.
  std::uint64_t available = DiskLimits::fakeFreeBytes.load();
  if (available == UINT64_MAX) {
    struct statvfs disk {};
    if (::fstatvfs(fd_.Get(), &disk) != 0) return;  // cannot tell: the write will say
    available = static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize;
  } else {
    available = available > written_ ? available - written_ : 0;
  }
  const std::uint64_t floor = DiskLimits::freeSpaceFloorBytes.load();
  if (available < floor || available - floor < size) {
    Discard();
    throw LocalFileError(DiskFloorText());
  }
}

void LocalFileWriter::WriteOut(const char* data, std::size_t size) {
  CheckFreeSpace(size);
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd_.Get(), data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      std::string reason = ErrnoText(n < 0 ? errno : ENOSPC);
      throw LocalFileError("Error writing " + path_.Shown() + ": " + reason);
    }
    done += static_cast<std::size_t>(n);
  }
  written_ += size;
}

void LocalFileWriter::Finish() {
  if (!fd_) throw LocalFileError("Error writing " + path_.Shown());
  Flush();
  // Renamed while still held, so no other writer comes between.
  if (finalPath_ && !path_.RenameTo(*finalPath_)) {
    throw LocalFileError("Error creating " + finalPath_->Shown() + ": " + ErrnoText(errno));
  }
  if (fd_.Reset() != 0) {
    throw LocalFileError("Error writing " + path_.Shown() + ": " + ErrnoText(errno));
  }
  finished_ = true;
}

void LocalFileWriter::Discard() {
  buffer_.clear();
  fd_.Reset();
  path_.Remove();
}

}  // namespace tvx
