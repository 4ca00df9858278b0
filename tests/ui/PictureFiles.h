#pragma once
// Picture files of huge pixel sizes that cost little to make, for the tests
// of what the windows decode.
#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QString>

namespace tvx::test {

// Writes a valid grey PNG of width x height, every pixel black. Rows of zeros
// compress about a thousandfold, so 60000 x 60000 is a 3.5 MB file made in a
// second, whose decode still inflates 3.6 GB. Made by Debian's Python, whose
// zlib repeats one flushed block of zeros instead of compressing them all.
inline bool WriteBlackPng(const QString& path, int width, int height) {
  static const char* const kScript = R"(
import struct, sys, zlib
path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
total = (width + 1) * height
block = 1 << 20
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
if total <= block:
    stream = zlib.compress(b"\0" * total, 9)
else:
    c = zlib.compressobj(9)
    head = c.compress(b"\0" * block) + c.flush(zlib.Z_FULL_FLUSH)
    again = c.compress(b"\0" * block) + c.flush(zlib.Z_FULL_FLUSH)
    count, rest = divmod(total, block)
    end = c.compress(b"\0" * rest) + c.flush()
    adler = struct.pack(">I", ((total % 65521) << 16) | 1)
    stream = head + again * (count - 1) + end[:-4] + adler
with open(path, "wb") as out:
    out.write(b"\x89PNG\r\n\x1a\n")
    out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)))
    for at in range(0, len(stream), 1 << 20):
        out.write(chunk(b"IDAT", stream[at:at + (1 << 20)]))
    out.write(chunk(b"IEND", b""))
)";
  QProcess python;
  python.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral("-c"), QString::fromLatin1(kScript), path, QString::number(width),
                QString::number(height)});
  return python.waitForFinished(60000) && python.exitStatus() == QProcess::NormalExit &&
         python.exitCode() == 0;
}

// Writes a JPEG whose header declares width x height but whose scan ends at
// once: a reader decodes it (grey) as if it were that large.
inline bool WriteHollowJpeg(const QString& path, int width, int height) {
  QImage seed(16, 16, QImage::Format_Grayscale8);
  seed.fill(128);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!seed.save(&buffer, "JPEG")) return false;
  for (int at = 2; at + 4 <= bytes.size();) {
    const auto marker = static_cast<unsigned char>(bytes[at + 1]);
    const int length = (static_cast<unsigned char>(bytes[at + 2]) << 8) |
                       static_cast<unsigned char>(bytes[at + 3]);
    if (marker == 0xC0 && at + 9 <= bytes.size()) {  // baseline frame: height, then width
      bytes[at + 5] = static_cast<char>(height >> 8);
      bytes[at + 6] = static_cast<char>(height & 0xff);
      bytes[at + 7] = static_cast<char>(width >> 8);
      bytes[at + 8] = static_cast<char>(width & 0xff);
    } else if (marker == 0xDA) {  // the scan's header, then no data at all
      bytes.truncate(at + 2 + length);
      bytes.append("\xff\xd9", 2);
      QFile out(path);
      return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
    }
    at += 2 + length;
  }
  return false;
}

}  // namespace tvx::test
