#pragma once
// One program per working folder: a lock on a file beside the lists, taken
// before any list is read and held until the process ends (the kernel lets
// go of it when the process dies, however it dies).
#include <string>

#include "store/UniqueFd.h"

namespace tvx {

inline constexpr const char* kFolderLockFile = "tavrinox.lock";
inline constexpr const char* kAnotherCopyText =
    "Another copy of Quillanto for pictures is using this folder.";

class FolderLock {
 public:
  enum class Result {
    Taken,          // this process has the folder
    HeldByAnother,  // another process has it: read and write no list
    NotLockable,    // the lock file cannot be made (a read-only folder)
  };
  FolderLock() = default;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock();

  // Takes the lock of the folder (the working directory when empty).
  Result Take(const std::string& folder = {});
  bool Held() const { return fd_.Get() >= 0; }
  // Lets go of the folder and removes the lock file: called when everything
  // of the run is written (a process that dies lets go all the same, and its
  // lock file is used again by the next copy).
  void Release();

 private:
  UniqueFd fd_;
  std::string path_;
};

}  // namespace tvx
