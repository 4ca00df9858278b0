#pragma once
// The saved pictures the user deleted (from the gallery, to the desktop's
// trash), so that a project crawled again leaves them alone.
//
// Kept in memory for the run. Each project's archive beside the lists (what
// it saved: URL, path, size, validators) is to keep this across runs as well:
// Engine::RecordDeletedByUser is the one call that learns of such a deletion,
// and the place where the archive of the path's project takes it.
#include <cstddef>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace tvx {

class DeletedPictures {
 public:
  // Records a picture by its path below Pictures, parts separated by '/' or
  // '\' ("holiday/2024/beach.jpg"; a single file has one part). Empty and
  // "." parts are skipped. False, and nothing recorded, for a path that
  // cannot name a file below Pictures: no parts, or a part that is "..", or
  // holds a control character.
  bool Record(std::string_view pathBelowPictures);
  bool Contains(std::string_view pathBelowPictures) const;
  std::size_t Count() const;

  // The path as recorded ('/' between its parts), or nothing when refused.
  static std::optional<std::string> Normalised(std::string_view pathBelowPictures);
  // The project folder a recorded path lies in: its first part, or "" for a
  // single file saved directly in Pictures.
  static std::string ProjectOf(std::string_view normalisedPath);

 private:
  mutable std::mutex mutex_;
  std::set<std::string> paths_;
};

}  // namespace tvx
