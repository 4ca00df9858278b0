#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "files/PictureFile.h"
#include "files/Sha256.h"

namespace tvx {
namespace {

using State = PixelSize::State;

std::string Be16(unsigned v) { return {static_cast<char>(v >> 8), static_cast<char>(v)}; }
std::string Le16(unsigned v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string Be32(std::uint32_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }
std::string Le32(std::uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }
std::string Le24(std::uint32_t v) { return Le16(v & 0xFFFF) + std::string(1, char(v >> 16)); }
std::string Box(const std::string& type, const std::string& body) {
  return Be32(static_cast<std::uint32_t>(8 + body.size())) + type + body;
}

const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + Be32(13) + "IHDR" + Be32(640) +
                         Be32(480) + std::string(5, '\0');
// A JPEG whose frame comes after an APP1 block, a fill byte and a table.
const std::string kJpeg = "\xFF\xD8" + std::string("\xFF\xE1", 2) + Be16(2 + 300) +
                          std::string(300, 'e') + "\xFF\xFF\xC4" + Be16(4) + "hh" + "\xFF\xC2" +
                          Be16(17) + "\x08" + Be16(1080) + Be16(1920) + std::string(12, 'c');
const std::string kGif = "GIF89a" + Le16(32) + Le16(16) + std::string(10, '\0');
const std::string kBmp = "BM" + std::string(12, '\0') + Le32(40) + Le32(100) +
                         Le32(static_cast<std::uint32_t>(-50)) + std::string(8, '\0');
const std::string kBmpCore =
    "BM" + std::string(12, '\0') + Le32(12) + Le16(7) + Le16(9) + std::string(8, '\0');
const std::string kWebpLossy = "RIFF" + Le32(100) + "WEBPVP8 " + Le32(80) +
                               std::string("\x30\x01\x00\x9D\x01\x2A", 6) + Le16(300) + Le16(200) +
                               std::string(4, '\0');
// 14 bits each of width - 1 (123) and height - 1 (45).
const std::string kWebpLossless =
    "RIFF" + Le32(100) + "WEBPVP8L" + Le32(80) + "\x2F" + Le32(123u | (45u << 14)) + "xxxx";
const std::string kWebpExtended =
    "RIFF" + Le32(100) + "WEBPVP8X" + Le32(10) + Le32(0) + Le24(4999) + Le24(2999) + "xx";
const std::string kAvif =
    Box("ftyp", "avif" + Be32(0) + "mif1") +
    Box("meta", Be32(0) + Box("hdlr", std::string(20, 'h')) +
                    Box("iprp", Box("ipco", Box("colr", "nclx") +
                                                Box("ispe", Be32(0) + Be32(1200) + Be32(800))))) +
    Box("mdat", "data");

TEST(PictureSize, ReadFromTheFirstBytesOfEveryType) {
  const struct {
    const char* type;
    const std::string& bytes;
    long width, height;
  } cases[] = {
      {"png", kPng, 640, 480},
      {"jpeg", kJpeg, 1920, 1080},
      {"gif", kGif, 32, 16},
      {"bmp top-down", kBmp, 100, 50},
      {"bmp core header", kBmpCore, 7, 9},
      {"webp lossy", kWebpLossy, 300, 200},
      {"webp lossless", kWebpLossless, 124, 46},
      {"webp extended", kWebpExtended, 5000, 3000},
      {"avif", kAvif, 1200, 800},
  };
  for (const auto& c : cases) {
    const PixelSize whole = ReadPixelSize(c.bytes);
    EXPECT_EQ(whole.state, State::Known) << c.type;
    EXPECT_EQ(whole.width, c.width) << c.type;
    EXPECT_EQ(whole.height, c.height) << c.type;
    // Every shorter start asks for more, never guesses: the size is read as
    // the bytes come, whatever pieces they come in.
    bool known = false;
    for (std::size_t n = 0; n < c.bytes.size() && !known; ++n) {
      const PixelSize part = ReadPixelSize(std::string_view(c.bytes).substr(0, n));
      ASSERT_NE(part.state, State::Unknown) << c.type << " after " << n << " bytes";
      if (part.state == State::Known) {
        EXPECT_EQ(part.width, c.width) << c.type;
        known = true;
      }
    }
  }
}

TEST(PictureSize, OtherBytesAreUnknownNotGuessed) {
  const std::string cases[] = {
      "<html><body>not a picture</body></html>",
      std::string("\xFF\xD8\xFF\xDA", 4) + Be16(8) + "scan data",  // no frame before the scan
      std::string("\xFF\xD8\x00\x00", 4) + std::string(20, 'x'),   // no marker
      std::string("\x89PNG\r\n\x1a\n", 8) + Be32(13) + "IDAT" + std::string(20, 'x'),
      "GIF89a" + Le16(0) + Le16(5) + "....",  // no width
      "RIFF" + Le32(100) + "WEBPVP8 " + Le32(80) + std::string("\x30\x01\x00", 3) + "NOPE" +
          std::string(8, 'x'),
      Box("ftyp", "mp42" + Be32(0)) + std::string(20, 'x'),  // a video
      Box("ftyp", "avif") + Be32(4) + "meta",                // a box shorter than its head
  };
  for (const std::string& bytes : cases)
    EXPECT_EQ(ReadPixelSize(bytes).state, State::Unknown) << bytes;
}

TEST(PictureSize, DigestOfKnownBytes) {
  Sha256 digest;
  digest.Add("ab", 2);
  digest.Add("c", 1);
  EXPECT_EQ(digest.HexDigest(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(digest.HexDigest(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
}  // namespace tvx
