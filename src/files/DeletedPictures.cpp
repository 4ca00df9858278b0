#include "files/DeletedPictures.h"

#include "files/LocalPath.h"

namespace tvx {

std::optional<std::string> DeletedPictures::Normalised(std::string_view path) {
  std::string out;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (!IsSafeName(part)) return std::nullopt;
    if (!out.empty()) out += '/';
    out += part;
  }
  if (out.empty()) return std::nullopt;
  return out;
}

std::string DeletedPictures::ProjectOf(std::string_view normalisedPath) {
  const std::size_t slash = normalisedPath.find('/');
  return slash == std::string_view::npos ? std::string()
                                         : std::string(normalisedPath.substr(0, slash));
}

bool DeletedPictures::Record(std::string_view pathBelowPictures) {
  std::optional<std::string> path = Normalised(pathBelowPictures);
  if (!path) return false;
  std::lock_guard lock(mutex_);
  paths_.insert(std::move(*path));
  return true;
}

bool DeletedPictures::Contains(std::string_view pathBelowPictures) const {
  const std::optional<std::string> path = Normalised(pathBelowPictures);
  if (!path) return false;
  std::lock_guard lock(mutex_);
  return paths_.count(*path) > 0;
}

std::size_t DeletedPictures::Count() const {
  std::lock_guard lock(mutex_);
  return paths_.size();
}

}  // namespace tvx
