#include "ui/views/Thumbnails.h"

#include <sys/stat.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPointer>
#include <QTemporaryFile>
#include <QUrl>
#include <algorithm>
#include <cstdio>

#include "ui/views/PictureDecode.h"

namespace tvx::ui {
namespace {

constexpr int kLargeSide = 256;
// The folder under fail/ is named after the program that failed.
const char* const kFailFolder = "fail/tavrinox-1.0";

// Makes each missing folder of path (below root's parent) with mode 0700.
bool MakePrivateFolders(const QString& path) {
  QString sofar;
  for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    sofar += QLatin1Char('/') + part;
    const QByteArray native = QFile::encodeName(sofar);
    struct stat info {};
    if (::stat(native.constData(), &info) == 0) continue;
    if (::mkdir(native.constData(), 0700) != 0) return false;
  }
  return true;
}

// Writes image as the PNG at target through a private temporary file beside
// it, renamed into place: a reader never sees half a thumbnail.
bool WriteAtomically(const QImage& image, const QString& target) {
  const QFileInfo where(target);
  if (!MakePrivateFolders(where.absolutePath())) return false;
  QTemporaryFile temp(where.absolutePath() + QStringLiteral("/.tavrinox-XXXXXX.png"));
  temp.setAutoRemove(true);
  if (!temp.open()) return false;  // made with mode 0600
  QImageWriter writer(&temp, "png");
  if (!writer.write(image) || !temp.flush()) return false;
  if (std::rename(QFile::encodeName(temp.fileName()).constData(),
                  QFile::encodeName(target).constData()) != 0)
    return false;
  temp.setAutoRemove(false);
  return true;
}

QImage WithKeys(QImage image, const QString& uri, qint64 modified, qint64 bytes, QSize pixels) {
  image.setText(QStringLiteral("Thumb::URI"), uri);
  image.setText(QStringLiteral("Thumb::MTime"), QString::number(modified));
  image.setText(QStringLiteral("Thumb::Size"), QString::number(bytes));
  if (pixels.isValid()) {
    image.setText(QStringLiteral("Thumb::Image::Width"), QString::number(pixels.width()));
    image.setText(QStringLiteral("Thumb::Image::Height"), QString::number(pixels.height()));
  }
  image.setText(QStringLiteral("Software"), QStringLiteral("Tavrinox"));
  return image;
}

quint32 BigEndian32(const char* p) {
  return (quint32(quint8(p[0])) << 24) | (quint32(quint8(p[1])) << 16) |
         (quint32(quint8(p[2])) << 8) | quint32(quint8(p[3]));
}

}  // namespace

// Read here rather than through QImageReader, whose text keys cannot hold
// "::" as the cache's keys do. Handles tEXt, zTXt and uncompressed iTXt.
QHash<QString, QString> PngTexts(const QString& path) {
  QHash<QString, QString> texts;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return texts;
  if (file.read(8) != QByteArray("\x89PNG\r\n\x1a\n", 8)) return texts;
  for (int chunks = 0; chunks < 64; ++chunks) {
    const QByteArray head = file.read(8);
    if (head.size() != 8) break;
    const quint32 length = BigEndian32(head.constData());
    const QByteArray type = head.mid(4);
    if (type == "IDAT" || type == "IEND" || length > (1u << 16)) break;
    const QByteArray data = file.read(length);
    file.read(4);  // CRC
    if (data.size() != int(length)) break;
    const int nul = data.indexOf('\0');
    if (nul <= 0) continue;
    const QString key = QString::fromLatin1(data.left(nul));
    if (type == "tEXt") {
      texts.insert(key, QString::fromLatin1(data.mid(nul + 1)));
    } else if (type == "zTXt" && data.size() > nul + 2 && data[nul + 1] == 0) {
      // qUncompress wants the expected size first; a guess is enough.
      QByteArray packed("\x00\x00\x10\x00", 4);
      packed += data.mid(nul + 2);
      texts.insert(key, QString::fromLatin1(qUncompress(packed)));
    } else if (type == "iTXt" && data.size() > nul + 2 && data[nul + 1] == 0) {
      // Uncompressed: flag, method, language tag, translated keyword, text.
      int at = nul + 3;
      for (int skip = 0; skip < 2 && at >= 0; ++skip) {
        const int end = data.indexOf('\0', at);
        at = end < 0 ? -1 : end + 1;
      }
      if (at >= 0) texts.insert(key, QString::fromUtf8(data.mid(at)));
    }
  }
  return texts;
}

namespace {

// A cached entry stands when it names this file at this modification time,
// and at this size when it records one: a picture still being written when
// its entry was made changes size within the same second.
bool Matches(const QHash<QString, QString>& texts, const QString& uri, qint64 modified,
             qint64 bytes) {
  const auto size = texts.constFind(QStringLiteral("Thumb::Size"));
  return texts.value(QStringLiteral("Thumb::URI")) == uri &&
         texts.value(QStringLiteral("Thumb::MTime")) == QString::number(modified) &&
         (size == texts.constEnd() || *size == QString::number(bytes));
}

QSize PixelsOf(const QHash<QString, QString>& texts) {
  const QSize pixels(texts.value(QStringLiteral("Thumb::Image::Width")).toInt(),
                     texts.value(QStringLiteral("Thumb::Image::Height")).toInt());
  return pixels.width() > 0 && pixels.height() > 0 ? pixels : QSize();
}

bool OverBudget(QSize pixels) {
  return pixels.isValid() && qint64(pixels.width()) * pixels.height() > kPixelBudget;
}

QString Md5Name(const QString& absolutePath) {
  return QString::fromLatin1(
             QCryptographicHash::hash(FileUri(absolutePath).toUtf8(), QCryptographicHash::Md5)
                 .toHex()) +
         QStringLiteral(".png");
}

}  // namespace

QString ThumbnailRoot() {
  QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
  if (cache.isEmpty() || !QDir::isAbsolutePath(cache))
    cache = QDir::homePath() + QStringLiteral("/.cache");
  return cache + QStringLiteral("/thumbnails");
}

QString FileUri(const QString& absolutePath) {
  return QString::fromLatin1(QUrl::fromLocalFile(absolutePath).toEncoded());
}

QString LargeThumbnailPath(const QString& root, const QString& absolutePath) {
  return root + QStringLiteral("/large/") + Md5Name(absolutePath);
}

QString FailedThumbnailPath(const QString& root, const QString& absolutePath) {
  return root + QLatin1Char('/') + QLatin1String(kFailFolder) + QLatin1Char('/') +
         Md5Name(absolutePath);
}

ThumbInfo FindOrMakeThumbnail(const QString& root, const QString& absolutePath, QImage* image,
                              const std::atomic<bool>* abandon) {
  ThumbInfo info;
  info.failed = true;
  const QFileInfo file(absolutePath);
  if (!file.isFile()) return info;
  info.bytes = file.size();
  info.modified = file.lastModified().toSecsSinceEpoch();
  const QString uri = FileUri(absolutePath);
  const QString large = LargeThumbnailPath(root, absolutePath);
  const QString failed = FailedThumbnailPath(root, absolutePath);

  const QHash<QString, QString> cached = PngTexts(large);
  if (Matches(cached, uri, info.modified, info.bytes)) {
    QImage found;
    if (image) found = QImage(large, "png");
    if (!image || !found.isNull()) {
      info.failed = false;
      info.thumbFile = large;
      info.pixels = PixelsOf(cached);
      if (image) *image = found;
      return info;
    }
    // An entry that cannot be read back is made again.
  }
  const QHash<QString, QString> failure = PngTexts(failed);
  if (Matches(failure, uri, info.modified, info.bytes)) {
    info.pixels = PixelsOf(failure);
    info.tooLarge = OverBudget(info.pixels);
    return info;
  }

  DecodedPicture picture = DecodeToFit(absolutePath, QSize(kLargeSide, kLargeSide), abandon);
  if (picture.outcome == DecodedPicture::Outcome::Abandoned) return info;
  if (picture.outcome != DecodedPicture::Outcome::Decoded) {
    // Recorded with the pixel size when it is known, so that a picture too
    // large to decode still shows its size.
    const QSize known = picture.pixels.isValid() ? picture.pixels : QSize();
    QImage mark(1, 1, QImage::Format_ARGB32);
    mark.fill(Qt::transparent);
    WriteAtomically(WithKeys(mark, uri, info.modified, info.bytes, known), failed);
    info.pixels = known;
    info.tooLarge = picture.outcome == DecodedPicture::Outcome::TooLarge;
    return info;
  }
  info.failed = false;
  info.pixels = picture.pixels;
  info.thumbFile = large;
  if (!WriteAtomically(WithKeys(picture.image, uri, info.modified, info.bytes, picture.pixels),
                       large)) {
    // No cache to write to: the thumbnail is kept beside nothing, so it is
    // shown without a picture rather than not at all.
    info.thumbFile.clear();
  }
  if (image) *image = std::move(picture.image);
  return info;
}

QString FormatByteSize(double bytes) {
  if (bytes < 1024) return QString::number(static_cast<qint64>(bytes)) + QStringLiteral(" bytes");
  const char* units[] = {"KB", "MB", "GB", "TB"};
  int unit = -1;
  while (bytes >= 1024 && unit < 3) {
    bytes /= 1024;
    ++unit;
  }
  return QString::number(bytes, 'f', 1) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

CThumbnailer::CThumbnailer(QObject* parent) : QObject(parent), root_(ThumbnailRoot()) {
  pool_.setMaxThreadCount(2);
  ApplyDecodeLimits();
}

CThumbnailer::~CThumbnailer() {
  *alive_ = false;
  {
    std::lock_guard lock(mutex_);
    pending_.clear();
  }
  pool_.waitForDone();
}

const ThumbInfo* CThumbnailer::Known(const QString& absolutePath, qint64 modified) const {
  auto it = known_.constFind(absolutePath);
  if (it == known_.constEnd() || it->modified != modified) return nullptr;
  return &*it;
}

void CThumbnailer::Request(const QString& absolutePath) {
  {
    std::lock_guard lock(mutex_);
    pending_.removeAll(absolutePath);
    pending_.append(absolutePath);
    while (pending_.size() > kMaxPending) pending_.removeFirst();
  }
  pool_.start([this] { RunOne(); });
}

void CThumbnailer::RunOne() {
  QString path;
  {
    std::lock_guard lock(mutex_);
    if (pending_.isEmpty()) return;  // taken by an earlier run, or dropped
    path = pending_.takeLast();
  }
  LowerThreadPriority();
  const ThumbInfo info = FindOrMakeThumbnail(root_, path);
  QPointer<CThumbnailer> self(this);
  std::weak_ptr<bool> alive = alive_;
  QMetaObject::invokeMethod(
      this,
      [self, alive, path, info] {
        if (self && alive.lock() && *alive.lock()) self->Deliver(path, info);
      },
      Qt::QueuedConnection);
}

void CThumbnailer::Deliver(const QString& path, const ThumbInfo& info) {
  known_.insert(path, info);
  emit Ready(path);
}

bool CThumbnailer::WaitIdle(int milliseconds) { return pool_.waitForDone(milliseconds); }

}  // namespace tvx::ui
