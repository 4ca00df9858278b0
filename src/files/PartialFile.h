#pragma once
// A file that is never resumed (a crawl's picture) is written as
// "<name>.part" beside its place and takes its own name only when whole. The
// rename replaces an older file of that name in one step, so a good file is
// never emptied before its replacement is whole, and a process killed
// mid-file leaves at worst a ".part" file. One that does not end whole is
// removed.
#include <cstddef>
#include <optional>

#include "files/LocalPath.h"

namespace tvx {

class PartialFile {
 public:
  // Opens "<finalPath>.part" for writing, emptied; LocalFileError as for
  // LocalFileWriter when it cannot be made, naming the final path.
  explicit PartialFile(const LocalPath& finalPath);
  // Removes the partial file unless it was finished.
  ~PartialFile();
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  // The writer, for the copy loops; its Finish gives the file its name.
  LocalFileWriter& Writer() { return *writer_; }
  const LocalPath& Final() const { return final_; }
  void Write(const char* data, std::size_t size) { writer_->Write(data, size); }
  // Writes what is buffered and gives the file its name (nothing more when
  // the writer did it already); LocalFileError on failure.
  void Finish();
  // Closes and removes the partial file.
  void Discard();

 private:
  LocalPath final_;
  std::optional<LocalFileWriter> writer_;
};

// Removes the partial file of every PartialFile of the process that is not
// finished or discarded yet, and answers how many there were. For the end of
// the program, once its workers were asked to stop: a worker that did not
// end in time leaves no partial file behind (what it writes afterwards goes
// nowhere, and its file can no longer take its name).
std::size_t RemoveOpenPartialFiles();

}  // namespace tvx
