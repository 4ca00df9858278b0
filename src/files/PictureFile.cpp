#include "files/PictureFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "store/Text.h"

namespace tvx {
namespace {

// Desktop launchers, executables and libraries, installers and packages,
// scripts of the interpreters a desktop may hand a file to. (".msp" is a
// picture type here, so it is not among them.)
constexpr std::string_view kProgramExtensions[] = {
    ".desktop", ".directory", ".appimage", ".flatpakref", ".flatpakrepo", ".flatpak", ".snap",
    ".deb",     ".rpm",       ".apk",      ".msi",        ".jar",         ".jnlp",    ".xpi",
    ".run",     ".bin",       ".elf",      ".so",         ".ko",          ".out",     ".exe",
    ".com",     ".scr",       ".pif",      ".cpl",        ".dll",         ".bat",     ".cmd",
    ".lnk",     ".hta",       ".reg",      ".sh",         ".bash",        ".zsh",     ".csh",
    ".ksh",     ".fish",      ".command",  ".py",         ".pyw",         ".pyc",     ".pl",
    ".rb",      ".php",       ".js",       ".jse",        ".mjs",         ".vbs",     ".vbe",
    ".wsf",     ".wsh",       ".ps1",      ".psm1",       ".app",         ".dmg",     ".pkg"};

}  // namespace

bool IsPictureFile(std::string_view text) {
  std::string lower = LowerCopy(text);
  for (std::string_view ext : kPictureExtensions)
    if (Contains(lower, ext)) return true;
  return false;
}

bool IsProgramName(std::string_view name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ' || name.back() == '\t'))
    name.remove_suffix(1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string ext = LowerCopy(name.substr(dot));
  return std::find(std::begin(kProgramExtensions), std::end(kProgramExtensions), ext) !=
         std::end(kProgramExtensions);
}

namespace {

using State = PixelSize::State;

std::uint32_t Byte(std::string_view b, std::size_t at) { return static_cast<unsigned char>(b[at]); }
std::uint32_t Be16(std::string_view b, std::size_t at) {
  return Byte(b, at) << 8 | Byte(b, at + 1);
}
std::uint32_t Le16(std::string_view b, std::size_t at) {
  return Byte(b, at) | Byte(b, at + 1) << 8;
}
std::uint32_t Be32(std::string_view b, std::size_t at) {
  return Be16(b, at) << 16 | Be16(b, at + 2);
}
std::uint32_t Le24(std::string_view b, std::size_t at) {
  return Le16(b, at) | Byte(b, at + 2) << 16;
}
std::uint32_t Le32(std::string_view b, std::size_t at) {
  return Le16(b, at) | Le16(b, at + 2) << 16;
}

PixelSize Size(long width, long height) {
  if (width <= 0 || height <= 0) return {};
  return {State::Known, width, height};
}
constexpr PixelSize kMore{State::NeedMore, 0, 0};

bool Starts(std::string_view b, std::string_view magic) {
  return b.size() >= magic.size() && b.substr(0, magic.size()) == magic;
}

PixelSize Jpeg(std::string_view b) {
  std::size_t at = 2;
  while (true) {
    if (at + 2 > b.size()) return kMore;
    if (Byte(b, at) != 0xFF) return {};
    const std::uint32_t marker = Byte(b, at + 1);
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {  // no length
      at += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return {};  // the image data came first
    if (at + 4 > b.size()) return kMore;
    const std::size_t length = Be16(b, at + 2);
    if (length < 2) return {};
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (at + 9 > b.size()) return kMore;
      return Size(Be16(b, at + 7), Be16(b, at + 5));
    }
    at += 2 + length;
  }
}

PixelSize WebP(std::string_view b) {
  if (b.size() < 16) return kMore;
  const std::string_view chunk = b.substr(12, 4);
  if (b.size() < (chunk == "VP8L" ? 25u : 30u)) return kMore;
  if (chunk == "VP8 ") {
    if (Byte(b, 23) != 0x9D || Byte(b, 24) != 0x01 || Byte(b, 25) != 0x2A) return {};
    return Size(Le16(b, 26) & 0x3FFF, Le16(b, 28) & 0x3FFF);
  }
  if (chunk == "VP8L") {
    if (Byte(b, 20) != 0x2F) return {};
    const std::uint32_t bits = Le32(b, 21);
    return Size((bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1);
  }
  if (chunk == "VP8X") return Size(Le24(b, 24) + 1, Le24(b, 27) + 1);
  return {};
}

PixelSize Bmp(std::string_view b) {
  if (b.size() < 26) return kMore;
  const std::uint32_t header = Le32(b, 14);
  if (header == 12) return Size(Le16(b, 18), Le16(b, 20));
  if (header < 40) return {};
  const auto height = static_cast<std::int32_t>(Le32(b, 22));  // negative: rows top down
  return Size(static_cast<std::int32_t>(Le32(b, 18)),
              height < 0 ? -static_cast<long>(height) : static_cast<long>(height));
}

// The boxes of an ISO media file from `at` to `end`: finds the first box of
// one of the types on `path`, one level after the other ("meta", "iprp",
// "ipco", "ispe"), within the bytes there are.
PixelSize AvifBoxes(std::string_view b, std::size_t at, std::size_t end,
                    const std::string_view* path) {
  while (at < end) {
    if (at + 8 > b.size()) return kMore;
    std::uint64_t size = Be32(b, at);
    std::size_t head = 8;
    if (size == 1) {
      if (at + 16 > b.size()) return kMore;
      size = static_cast<std::uint64_t>(Be32(b, at + 8)) << 32 | Be32(b, at + 12);
      head = 16;
    } else if (size == 0) {
      size = end - at;
    }
    if (size < head || size > end - at) return {};
    const std::string_view type = b.substr(at + 4, 4);
    if (type == path[0]) {
      const std::size_t inner = at + head;
      if (path[0] == "ispe") {
        if (inner + 12 > b.size()) return kMore;
        return Size(Be32(b, inner + 4), Be32(b, inner + 8));
      }
      // "meta" is a full box: four bytes of version and flags first.
      const std::size_t first = path[0] == "meta" ? inner + 4 : inner;
      return AvifBoxes(b, first, at + static_cast<std::size_t>(size), path + 1);
    }
    at += static_cast<std::size_t>(size);
  }
  return {};
}

PixelSize Avif(std::string_view b) {
  if (b.size() < 12) return kMore;
  const std::string_view brand = b.substr(8, 4);
  if (brand != "avif" && brand != "avis") return {};
  static constexpr std::string_view kPath[] = {"meta", "iprp", "ipco", "ispe"};
  // The file's end is not known while it comes: every box may lie ahead.
  return AvifBoxes(b, 0, SIZE_MAX / 2, kPath);
}

}  // namespace

PixelSize ReadPixelSize(std::string_view b) {
  if (b.size() < 2) return kMore;
  if (Byte(b, 0) == 0xFF && Byte(b, 1) == 0xD8) return Jpeg(b);
  if (Starts(b, "BM")) return Bmp(b);
  if (b.size() < 12) {
    // Too short to tell the other types apart: more is needed while the
    // bytes may still begin one of them.
    constexpr std::string_view kMagics[] = {"\x89PNG\r\n\x1a\n", "GIF8", "RIFF"};
    for (std::string_view magic : kMagics)
      if (Starts(magic, b.substr(0, std::min(b.size(), magic.size())))) return kMore;
    if (b.size() <= 4) return kMore;  // an AVIF's first box may follow
    const std::string_view type = b.substr(4);
    return Starts("ftyp", type.substr(0, std::min<std::size_t>(4, type.size()))) ? kMore
                                                                                 : PixelSize{};
  }
  if (Starts(b, "\x89PNG\r\n\x1a\n")) {
    if (b.size() < 24) return kMore;
    if (b.substr(12, 4) != "IHDR") return {};
    return Size(Be32(b, 16), Be32(b, 20));
  }
  if (Starts(b, "GIF87a") || Starts(b, "GIF89a")) return Size(Le16(b, 6), Le16(b, 8));
  if (Starts(b, "RIFF") && b.substr(8, 4) == "WEBP") return WebP(b);
  if (b.substr(4, 4) == "ftyp") return Avif(b);
  return {};
}

}  // namespace tvx
