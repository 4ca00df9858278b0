// Feeds arbitrary page text to the link extractors, a line at a time as the
// crawler reads it, with one img state carried across the lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "crawler/classic/LinkExtract.h"

namespace {

// A link is always cut from the line itself, so it can never be longer.
void CheckLink(bool found, const std::string& link, std::string_view line) {
  if (found && link.size() > line.size()) std::abort();
}

void ExtractAll(std::string_view line, bool& imgTagPending) {
  std::string link;
  CheckLink(tvx::ExtractHref(line, link), link, line);
  link.clear();
  CheckLink(tvx::ExtractFrameSrc(line, link), link, line);
  link.clear();
  bool found = tvx::ExtractImgSrc(line, imgTagPending, link);
  CheckLink(found, link, line);
  if (found && imgTagPending) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // The whole input as one line, then line by line without the line breaks.
  bool pending = false;
  ExtractAll(input, pending);

  pending = false;
  std::size_t pos = 0;
  while (pos <= input.size()) {
    std::size_t end = input.find('\n', pos);
    if (end == std::string_view::npos) end = input.size();
    std::string line(input.substr(pos, end - pos));
    std::erase(line, '\r');
    ExtractAll(line, pending);
    pos = end + 1;
  }
  return 0;
}
