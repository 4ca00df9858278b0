#include "crawler/classic/LinkExtract.h"

#include <initializer_list>

#include "store/Text.h"

namespace tvx {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// Closing marks are looked for only after the opening pattern. Where several
// marks are allowed they are tried in order, and the first one found anywhere
// after the start wins, even when a later mark of the list stands nearer.
std::size_t FindClosing(std::string_view text, std::size_t start,
                        std::initializer_list<std::string_view> marks) {
  for (std::string_view mark : marks) {
    std::size_t end = text.find(mark, start);
    if (end != npos) return end;
  }
  return npos;
}

bool TakeLink(std::string_view text, std::size_t start, std::size_t end, std::string& link) {
  if (end == npos) return false;
  link.assign(text.substr(start, end - start));
  return true;
}

}  // namespace

bool ExtractHref(std::string_view line, std::string& link) {
  const std::string lower = LowerCopy(line);
  const std::string_view text = lower;
  if (text.find("mailto") != npos) return false;

  if (std::size_t at = text.find("href=\""); at != npos) {
    std::size_t start = at + 6;
    return TakeLink(text, start, FindClosing(text, start, {"\""}), link);
  }
  if (std::size_t at = text.find("href='"); at != npos) {
    std::size_t start = at + 6;
    return TakeLink(text, start, FindClosing(text, start, {"' ", "'\"", "'>"}), link);
  }
  if (std::size_t at = text.find("href="); at != npos) {
    std::size_t start = at + 5;
    return TakeLink(text, start, FindClosing(text, start, {">", " "}), link);
  }
  return false;
}

bool ExtractFrameSrc(std::string_view line, std::string& link) {
  const std::string lower = LowerCopy(line);
  const std::string_view text = lower;
  if (text.find("frame") == npos) return false;
  std::size_t at = text.find("src=\"");
  if (at == npos) return false;
  std::size_t start = at + 5;
  return TakeLink(text, start, FindClosing(text, start, {"\" "}), link);
}

bool ExtractImgSrc(std::string_view line, bool& imgTagPending, std::string& link) {
  const std::string lower = LowerCopy(line);
  const std::string_view text = lower;
  if (text.find("img") != npos)
    imgTagPending = true;
  else if (!imgTagPending)
    return false;

  bool found = false;
  if (std::size_t at = text.find("src=\""); at != npos) {
    std::size_t start = at + 5;
    found = TakeLink(text, start, FindClosing(text, start, {"\" ", "\">"}), link);
  } else if (std::size_t at = text.find("src="); at != npos) {
    // Unquoted: the space is preferred to '>' here.
    std::size_t start = at + 4;
    found = TakeLink(text, start, FindClosing(text, start, {" ", ">"}), link);
  }
  if (found) imgTagPending = false;
  return found;
}

}  // namespace tvx
