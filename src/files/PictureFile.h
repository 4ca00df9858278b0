#pragma once
// The picture file test shared by the single-file workers and the crawl.
#include <array>
#include <cstddef>
#include <string_view>

namespace tvx {

// Tested in this order; the first seven are the types offered on the File
// Settings page and pair with typeCdr ... typeTif of a SiteProject.
inline constexpr std::array<std::string_view, 32> kPictureExtensions = {
    ".cdr", ".gif", ".jpg", ".bmp", ".png", ".tga", ".tif", ".cgm", ".cut", ".gem", ".hgl",
    ".dxf", ".dib", ".clp", ".iff", ".jff", ".lbm", ".mac", ".msp", ".pbm", ".pcd", ".pct",
    ".pcx", ".pgm", ".pic", ".ppm", ".psd", ".ras", ".raw", ".rle", ".wmf", ".wpg"};

// Yes when any picture extension occurs anywhere in the text (case folded).
bool IsPictureFile(std::string_view text);

// Yes when a file of this name is one a desktop would run, install or hand
// to an interpreter when it is opened (a launcher, an executable, a script,
// a package), judged by its extension (case folded, dots and blanks at the
// end ignored). A crawl never saves a file under such a name.
bool IsProgramName(std::string_view name);

// A picture's size in pixels as its first bytes tell it (JPEG SOFn, PNG
// IHDR, GIF screen descriptor, WebP VP8/VP8L/VP8X, BMP, AVIF ispe).
struct PixelSize {
  enum class State {
    NeedMore,  // the bytes so far begin a known type but end before its size
    Known,
    Unknown,  // not a type read here, or its size cannot be found
  };
  State state = State::Unknown;
  long width = 0;
  long height = 0;
};
PixelSize ReadPixelSize(std::string_view firstBytes);

// The most of a picture's first bytes ReadPixelSize is given before its size
// counts as unknown: a picture whose size is not told by then is taken whole.
inline constexpr std::size_t kPixelSizeBytes = 64 * 1024;

}  // namespace tvx
