// Decoding saved pictures for the windows. A picture larger than the pixel
// budget is decoded only where its reader shrinks it while decoding (JPEG);
// others are "too large to preview". Large decodes run one at a time, and a
// decode nobody waits for any more stops at its next read of the file.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace tvx::ui {

// Pictures of more pixels than this are not decoded in full.
inline constexpr qint64 kPixelBudget = 100'000'000;
// What Qt's image readers may allocate for one picture, in MiB: the budget at
// four bytes a pixel (Qt's own default, 128 MiB, refuses pictures a third of it).
inline constexpr int kDecodeAllocationLimitMb = 400;
// Decodes of pictures above this many pixels wait for each other, so that at
// most one of them holds its memory at a time.
inline constexpr qint64 kLargeDecodePixels = 16'000'000;

// Shown in place of a picture over the budget.
QString TooLargeText();

struct DecodedPicture {
  enum class Outcome { Missing, Decoded, CannotDecode, TooLarge, Abandoned };
  Outcome outcome = Outcome::Missing;
  QImage image;
  QSize pixels;  // the picture's own size, when its header could be read
  qint64 bytes = -1;
};

// Sets Qt's allocation limit for image readers to kDecodeAllocationLimitMb.
// The limit is process-wide: called on the user-interface thread before any
// decode starts (the views that decode call it when they are made).
void ApplyDecodeLimits();

// Decodes file scaled down to fit box (never enlarged; no box: full size).
// When *abandon turns true the decode stops at its next read of the file and
// the outcome is Abandoned. Safe on any thread.
DecodedPicture DecodeToFit(const QString& file, QSize box,
                           const std::atomic<bool>* abandon = nullptr);

// Runs one job at a time on a thread of its own (never Qt's global pool,
// which Qt's painting also waits on). A job submitted while another waits
// replaces it, so a superseded job never starts; the running job's abandon
// flag is raised at the same time.
class LatestOnlyRunner {
 public:
  using Job = std::function<void(const std::atomic<bool>& abandon)>;
  LatestOnlyRunner();
  // Abandons the running job, drops the waiting one and waits for the thread.
  ~LatestOnlyRunner();
  LatestOnlyRunner(const LatestOnlyRunner&) = delete;
  LatestOnlyRunner& operator=(const LatestOnlyRunner&) = delete;

  void Submit(Job job);
  // True once no job runs or waits (tests).
  bool WaitIdle(int milliseconds);

 private:
  void Drain();

  QThreadPool pool_;
  std::mutex mutex_;
  Job waiting_;
  std::shared_ptr<std::atomic<bool>> runningAbandon_;
  bool draining_ = false;
};

// Lowers the calling thread's scheduling priority (nice 10) once: picture
// work then yields to the window's thread on a busy machine but is not
// starved by it.
void LowerThreadPriority();

}  // namespace tvx::ui
