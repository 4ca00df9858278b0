#include "files/PictureFile.h"

#include <string>

#include "store/Text.h"

namespace tvx {

bool IsPictureFile(std::string_view text) {
  std::string lower = LowerCopy(text);
  for (std::string_view ext : kPictureExtensions)
    if (Contains(lower, ext)) return true;
  return false;
}

}  // namespace tvx
