// Feeds arbitrary bytes to the pixel-size reader, whole and cut at the
// lengths a piece of a transfer could end at: it never reads past what it is
// given (the sanitizers watch), a size it knows is positive, and a size read
// from the first bytes is the one the whole file gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "files/PictureFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const tvx::PixelSize whole = tvx::ReadPixelSize(bytes);
  if (whole.state == tvx::PixelSize::State::Known && (whole.width <= 0 || whole.height <= 0))
    std::abort();
  for (std::size_t n = 0; n < size && n < 4096; n += 1 + n / 16) {
    const tvx::PixelSize part = tvx::ReadPixelSize(bytes.substr(0, n));
    if (part.state == tvx::PixelSize::State::Known &&
        (part.width != whole.width || part.height != whole.height))
      std::abort();
  }
  return 0;
}
