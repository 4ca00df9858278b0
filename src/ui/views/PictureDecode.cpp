#include "ui/views/PictureDecode.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

namespace tvx::ui {
namespace {

// A file that stops giving bytes once its reader's work is abandoned: the
// image handlers treat that as a read error and return at once.
class AbandonableFile : public QFile {
 public:
  AbandonableFile(const QString& name, const std::atomic<bool>* abandon)
      : QFile(name), abandon_(abandon) {}
  bool Abandoned() const { return abandon_ && abandon_->load(std::memory_order_relaxed); }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    if (Abandoned()) return -1;
    return QFile::readData(data, maxSize);
  }

 private:
  const std::atomic<bool>* abandon_;
};

std::mutex& LargeDecodeGate() {
  static std::mutex gate;
  return gate;
}

// Readers that decode straight to a smaller size, touching only that much
// memory and little of the work of a full decode.
bool ReaderShrinksWhileDecoding(const QByteArray& format) { return format == "jpeg"; }

}  // namespace

QString TooLargeText() { return QStringLiteral("Too large to preview"); }

void ApplyDecodeLimits() {
  static std::once_flag once;
  std::call_once(once, [] { QImageReader::setAllocationLimit(kDecodeAllocationLimitMb); });
}

DecodedPicture DecodeToFit(const QString& file, QSize box, const std::atomic<bool>* abandon) {
  DecodedPicture out;
  const QFileInfo info(file);
  if (!info.isFile()) return out;
  out.bytes = info.size();
  out.outcome = DecodedPicture::Outcome::CannotDecode;
  AbandonableFile device(file, abandon);
  if (!device.open(QIODevice::ReadOnly)) return out;
  QImageReader reader(&device);
  reader.setAutoTransform(true);
  out.pixels = reader.size();
  if (device.Abandoned()) {
    out.outcome = DecodedPicture::Outcome::Abandoned;
    return out;
  }
  if (!out.pixels.isValid() || out.pixels.isEmpty()) return out;

  const qint64 pixels = qint64(out.pixels.width()) * out.pixels.height();
  if (pixels > kPixelBudget && !ReaderShrinksWhileDecoding(reader.format())) {
    out.outcome = DecodedPicture::Outcome::TooLarge;
    return out;
  }
  QSize target = out.pixels;
  if (box.isValid() && (target.width() > box.width() || target.height() > box.height()))
    target = target.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
  if (target != out.pixels) reader.setScaledSize(target);

  std::unique_lock<std::mutex> gate;
  if (pixels > kLargeDecodePixels) gate = std::unique_lock(LargeDecodeGate());
  if (!device.Abandoned()) out.image = reader.read();
  if (device.Abandoned()) {
    out.image = QImage();
    out.outcome = DecodedPicture::Outcome::Abandoned;
  } else if (!out.image.isNull()) {
    out.outcome = DecodedPicture::Outcome::Decoded;
  }
  return out;
}

void LowerThreadPriority() {
  thread_local bool lowered = false;
  if (lowered) return;
  lowered = true;
  // On Linux a thread's nice value is its own.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10);
}

LatestOnlyRunner::LatestOnlyRunner() { pool_.setMaxThreadCount(1); }

LatestOnlyRunner::~LatestOnlyRunner() {
  {
    std::lock_guard lock(mutex_);
    waiting_ = nullptr;
    if (runningAbandon_) *runningAbandon_ = true;
  }
  pool_.waitForDone();
}

void LatestOnlyRunner::Submit(Job job) {
  std::lock_guard lock(mutex_);
  if (runningAbandon_) *runningAbandon_ = true;
  waiting_ = std::move(job);
  if (draining_) return;
  draining_ = true;
  pool_.start([this] { Drain(); });
}

void LatestOnlyRunner::Drain() {
  LowerThreadPriority();
  for (;;) {
    Job job;
    std::shared_ptr<std::atomic<bool>> abandon;
    {
      std::lock_guard lock(mutex_);
      runningAbandon_.reset();
      if (!waiting_) {
        draining_ = false;
        return;
      }
      job = std::move(waiting_);
      waiting_ = nullptr;
      abandon = std::make_shared<std::atomic<bool>>(false);
      runningAbandon_ = abandon;
    }
    job(*abandon);
  }
}

bool LatestOnlyRunner::WaitIdle(int milliseconds) { return pool_.waitForDone(milliseconds); }

}  // namespace tvx::ui
