#pragma once
// Every local path the program writes to is made here, and stays inside the
// Pictures folder of the working directory: each part of it is a checked
// name, and no symbolic link below Pictures is ever followed.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/Internet.h"
#include "store/UniqueFd.h"

namespace tvx {

inline constexpr const char* kPicturesFolder = "Pictures";
// No local path longer than this is written (as shown, "Pictures\..." included).
inline constexpr std::size_t kMaxShownPath = 259;

// A name that can be one part of a local path: not empty, not "." or "..",
// and without '/', '\', NUL or control characters.
bool IsSafeName(std::string_view name);

// Why a project name cannot name the project's folder, as a message for the
// user; empty when it can.
std::string ProjectNameProblem(std::string_view name);

// A path below Pictures. It is shown to the user with '\' between its parts
// ("Pictures\proj\a\b.jpg"), as the lists and the tree always show paths. A
// path with a refused part keeps its shown text, for the message, but is
// never written to.
class LocalPath {
 public:
  // Pictures\ + the text after the URL's last '/' (the whole URL without one).
  static LocalPath ForSingleFile(std::string_view url);
  // Pictures\ + the project's name: the folder of a web-site project.
  static LocalPath ForProject(std::string_view projectName);
  // The path shown as shownPath ("Pictures\proj\a\b.jpg", '/' taken as
  // '\' too); unusable when it does not lie below Pictures.
  static LocalPath FromShown(std::string_view shownPath);

  // This path + the folders of subfolders (parts separated by '\' or '/',
  // empty and "." parts skipped).
  LocalPath Below(std::string_view subfolders) const;
  // This path + one more part.
  LocalPath Child(std::string_view name) const;
  // The name beside this one in the same folder with `suffix` added
  // ("a.jpg" -> "a.jpg.part"). It may exceed the length limit by the suffix.
  LocalPath WithSuffix(std::string_view suffix) const;

  bool Usable() const { return usable_; }
  const std::string& Shown() const { return shown_; }
  // The last part: the file's own name.
  const std::string& Leaf() const;
  // Relative to the working directory, with '/' between the parts.
  std::string FsPath() const;

  // Opens the folder that holds this path, making Pictures and each missing
  // folder on the way. A folder below Pictures that is a symbolic link is
  // refused (ELOOP or ENOTDIR), as is an unusable or over-long path
  // (EINVAL, ENAMETOOLONG). Invalid descriptor with errno set on failure.
  UniqueFd OpenParent() const;
  // Makes this path as a folder (and those above it).
  bool MakeFolder() const;
  // Opens the file for writing, made when missing and emptied when
  // `truncate`, and locks it for this writer alone: a file another writer
  // holds is refused (EWOULDBLOCK) and left as it is. A symbolic link in its
  // place is refused, as is anything but a plain file.
  UniqueFd OpenForWriting(bool truncate) const;
  // Creates or truncates the file for writing (OpenForWriting(true)).
  UniqueFd CreateFile() const;
  // Opens an existing plain file for reading, following no link.
  UniqueFd OpenForReading() const;
  // Renames this file to target, a name in the same folder, replacing what
  // is there; no link is followed on the way. False with errno set.
  bool RenameTo(const LocalPath& target) const;
  // Removes the file (for a partial file that must not stay).
  void Remove() const;
  // The size of the plain file at this path; nullopt when there is none.
  std::optional<std::uint64_t> FileSize() const;

 private:
  std::vector<std::string> parts_;  // below Pictures
  std::string shown_ = kPicturesFolder;
  bool usable_ = false;
  std::size_t slack_ = 0;  // how far a suffixed name may pass kMaxShownPath
};

// The free space that must remain on the disk holding Pictures: a transfer
// that would write into it stops with kDiskFloorText. Tests lower it; the
// environment variable TAVRINOX_MIN_FREE_MB sets it for a run.
struct DiskLimits {
  static std::atomic<std::uint64_t> freeSpaceFloorBytes;  // default 512 MiB
  // For tests: report this many bytes free instead of asking the disk
  // (UINT64_MAX: ask the disk).
  static std::atomic<std::uint64_t> fakeFreeBytes;
};
std::string DiskFloorText();

// A local file failure, handled by the workers like an Internet failure.
class LocalFileError : public net::InternetError {
 public:
  using net::InternetError::InternetError;
};

// A file being written below Pictures, through a buffer of its own, that
// stops before the disk runs below the free-space floor.
class LocalFileWriter {
 public:
  static constexpr std::size_t kBuffer = 256 * 1024;
  enum class Mode { Create, Append };

  // Creates (or truncates) the file, or opens it to append to what it holds;
  // LocalFileError "Error creating <path>" when it cannot be made, and a
  // text of its own when another writer holds it.
  explicit LocalFileWriter(LocalPath path, Mode mode = Mode::Create);
  // Closes the file; a file that was not finished stays as written so far.
  ~LocalFileWriter();
  LocalFileWriter(const LocalFileWriter&) = delete;
  LocalFileWriter& operator=(const LocalFileWriter&) = delete;

  // Appends bytes. LocalFileError on a write failure, or when writing them
  // would leave less than the free-space floor on the disk: the partial
  // file is then removed, since it can only be a piece of something larger.
  void Write(const char* data, std::size_t size);
  // Writes what is buffered, renames the file to its final name if one was
  // given, and closes; LocalFileError on failure.
  void Finish();
  // The name Finish gives the file once it is whole (in the same folder).
  void RenameWhenFinished(LocalPath finalPath);
  // Writes out what is buffered, so the file on disk holds every byte given.
  void Sync() { Flush(); }
  // Closes and removes the file.
  void Discard();
  // Finish has ended well: the file is whole (and has its final name).
  bool Finished() const { return finished_; }

  const LocalPath& Path() const { return path_; }
  std::uint64_t Written() const { return written_; }
  // What the file held when it was opened (0 unless appended to).
  std::uint64_t StartSize() const { return startSize_; }

 private:
  void Flush();
  void WriteOut(const char* data, std::size_t size);
  void CheckFreeSpace(std::size_t size);

  LocalPath path_;
  std::optional<LocalPath> finalPath_;
  UniqueFd fd_;
  std::vector<char> buffer_;
  std::uint64_t written_ = 0;
  std::uint64_t startSize_ = 0;
  bool finished_ = false;
};

}  // namespace tvx
