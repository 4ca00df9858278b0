#include "ui/views/GalleryThumbs.h"

#include <QPointer>
#include <QSet>

#include "ui/views/PictureDecode.h"
#include "ui/views/Thumbnails.h"

namespace tvx::ui {
namespace {

int CostOf(const QImage& image) { return 1 + static_cast<int>(image.sizeInBytes() / 1024); }

}  // namespace

CGalleryThumbs::CGalleryThumbs(QObject* parent) : QObject(parent), root_(ThumbnailRoot()) {
  ApplyDecodeLimits();
  // Two threads beside the window's: the window keeps a processor of its own
  // on a small machine.
  pool_.setMaxThreadCount(2);
  SetMemoryLimit(kMemoryBytes);
}

CGalleryThumbs::~CGalleryThumbs() {
  *alive_ = false;
  {
    std::lock_guard lock(mutex_);
    waiting_.clear();
    for (auto& [file, abandon] : running_) *abandon = true;
  }
  pool_.waitForDone();
}

void CGalleryThumbs::SetMemoryLimit(qint64 bytes) {
  cache_.setMaxCost(static_cast<qsizetype>(std::max<qint64>(1, bytes / 1024)));
}

bool CGalleryThumbs::Busy() const {
  std::lock_guard lock(mutex_);
  return !waiting_.empty() || !running_.empty();
}

bool CGalleryThumbs::Current(const Entry& entry, const Want& picture) const {
  return entry.bytes == picture.bytes && entry.modifiedMs == picture.modifiedMs;
}

CGalleryThumbs::Thumb CGalleryThumbs::Find(const Want& picture) {
  const Entry* entry = cache_.object(picture.file);
  if (!entry || !Current(*entry, picture)) return {};
  return entry->thumb;
}

void CGalleryThumbs::SetWanted(const std::vector<Want>& pictures, int side) {
  std::deque<Job> jobs;
  QSet<QString> wanted;
  for (const Want& picture : pictures) {
    wanted.insert(picture.file);
    const Entry* entry = cache_.object(picture.file);
    if (entry && Current(*entry, picture) &&
        (entry->thumb.state != State::Made || entry->thumb.side == side))
      continue;
    jobs.push_back({picture, side});
  }
  std::size_t starts = 0;
  {
    std::lock_guard lock(mutex_);
    for (auto& [file, abandon] : running_)
      if (!wanted.contains(file)) *abandon = true;
    std::deque<Job> kept;
    for (Job& job : jobs)
      if (!running_.count(job.picture.file)) kept.push_back(std::move(job));
    waiting_ = std::move(kept);
    starts = std::min<std::size_t>(waiting_.size(), 2);
  }
  for (std::size_t i = 0; i < starts; ++i) pool_.start([this] { RunOne(); });
}

void CGalleryThumbs::RunOne() {
  LowerThreadPriority();
  for (;;) {
    Job job;
    auto abandon = std::make_shared<std::atomic<bool>>(false);
    {
      std::lock_guard lock(mutex_);
      if (waiting_.empty()) return;
      job = std::move(waiting_.front());
      waiting_.pop_front();
      if (running_.count(job.picture.file)) continue;
      running_[job.picture.file] = abandon;
    }
    QImage image;
    const ThumbInfo info = FindOrMakeThumbnail(root_, job.picture.file, &image, abandon.get());
    Thumb thumb;
    thumb.pixels = info.pixels;
    thumb.side = job.side;
    if (!abandon->load()) {
      if (!info.failed && !image.isNull()) {
        thumb.state = State::Made;
        if (image.width() > job.side || image.height() > job.side)
          image = image.scaled(job.side, job.side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        thumb.image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
      } else {
        thumb.state = info.tooLarge ? State::TooLarge : State::Failed;
      }
    }
    {
      std::lock_guard lock(mutex_);
      running_.erase(job.picture.file);
    }
    if (thumb.state == State::NotMade) continue;  // abandoned
    std::weak_ptr<bool> alive = alive_;
    QPointer<CGalleryThumbs> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, alive, job, thumb = std::move(thumb)]() mutable {
          const auto living = alive.lock();
          if (self && living && *living) self->Deliver(job, std::move(thumb));
        },
        Qt::QueuedConnection);
  }
}

void CGalleryThumbs::Deliver(const Job& job, Thumb thumb) {
  ++delivered_;
  auto* entry = new Entry{std::move(thumb), job.picture.bytes, job.picture.modifiedMs};
  cache_.insert(job.picture.file, entry, CostOf(entry->thumb.image));
  emit Ready(job.picture.file);
}

}  // namespace tvx::ui
