#include "files/PartialFile.h"

#include <map>
#include <mutex>
#include <string>

#include "files/PartialDownload.h"

namespace tvx {
namespace {

// The partial files being written, by their owner.
struct OpenFiles {
  std::mutex mutex;
  std::map<const PartialFile*, LocalPath> paths;
};

OpenFiles& Open() {
  static OpenFiles* files = new OpenFiles;  // outlives every worker at exit
  return *files;
}

void Forget(const PartialFile* file) {
  OpenFiles& open = Open();
  std::lock_guard lock(open.mutex);
  open.paths.erase(file);
}

}  // namespace

PartialFile::PartialFile(const LocalPath& finalPath) : final_(finalPath) {
  const LocalPath part = final_.WithSuffix(kPartSuffix);
  try {
    writer_.emplace(part);
  } catch (const LocalFileError& e) {
    // Said of the file the user knows: the one the partial file becomes.
    std::string text = e.what();
    if (const std::size_t at = text.find(part.Shown()); at != std::string::npos)
      text.replace(at, part.Shown().size(), final_.Shown());
    throw LocalFileError(text);
  }
  writer_->RenameWhenFinished(final_);
  OpenFiles& open = Open();
  std::lock_guard lock(open.mutex);
  open.paths.emplace(this, part);
}

PartialFile::~PartialFile() {
  Forget(this);
  if (!writer_->Finished()) writer_->Discard();
}

void PartialFile::Finish() {
  if (writer_->Finished()) return;
  try {
    writer_->Finish();
  } catch (const LocalFileError&) {
    writer_->Discard();
    throw;
  }
}

void PartialFile::Discard() { writer_->Discard(); }

std::size_t RemoveOpenPartialFiles() {
  OpenFiles& open = Open();
  std::lock_guard lock(open.mutex);
  const std::size_t count = open.paths.size();
  for (const auto& [file, path] : open.paths) path.Remove();
  open.paths.clear();
  return count;
}

}  // namespace tvx
