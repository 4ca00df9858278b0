#pragma once
// Gaps between two runs of a zero-interval timer, kept in a fixed histogram:
// recording a gap allocates nothing, so the meter never causes the stalls it
// measures (a growing list of every gap did, each time it had to move).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

class StallMeter {
 public:
  // Gaps are counted in steps of 10 microseconds up to kRangeMs; longer ones
  // fall into the last step. The longest is kept exactly.
  static constexpr double kStepMs = 0.01;
  static constexpr double kRangeMs = 1000;

  void Add(double gapMs) {
    const auto step = static_cast<std::size_t>(std::max(0.0, gapMs) / kStepMs);
    ++counts_[std::min(step, counts_.size() - 1)];
    ++total_;
    maxMs_ = std::max(maxMs_, gapMs);
  }
  // Counts the gaps of another meter too.
  void Merge(const StallMeter& other) {
    for (std::size_t i = 0; i < counts_.size(); ++i) counts_[i] += other.counts_[i];
    total_ += other.total_;
    maxMs_ = std::max(maxMs_, other.maxMs_);
  }
  double MaxMs() const { return maxMs_; }
  std::uint64_t Count() const { return total_; }
  // The gap that fraction of all gaps stay at or below (to the step).
  double QuantileMs(double fraction) const {
    if (total_ == 0) return 0;
    const auto wanted = static_cast<std::uint64_t>(fraction * static_cast<double>(total_));
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < counts_.size(); ++i) {
      seen += counts_[i];
      if (seen > wanted) return static_cast<double>(i) * kStepMs;
    }
    return maxMs_;
  }

 private:
  std::array<std::uint64_t, static_cast<std::size_t>(kRangeMs / kStepMs) + 1> counts_{};
  std::uint64_t total_ = 0;
  double maxMs_ = 0;
};

// The window thread's stalls frame by frame, as a 60 Hz screen meets them:
// a frame is due every 16.7 ms, and its stall is how long after it was due
// the thread came back to its event loop (0 when it was there). A gap of the
// probe over several frames stalls each of them, the first the longest. Its
// quantiles are over frames, so "p99" says: 99 % of the frames were late by
// no more. (Over the gaps themselves, the millions of microsecond gaps of a
// zero-interval probe leave the 99th percentile at zero, whatever the
// longest stall.)
class FrameStallMeter {
 public:
  static constexpr double kFrameMs = 1000.0 / 60;

  // The probe ran at atMs (since the run began), its last run before being
  // the gap's start. The first run starts the count.
  void Ran(double atMs) {
    if (!started_) {
      started_ = true;
      next_ = (std::floor(atMs / kFrameMs) + 1) * kFrameMs;
      return;
    }
    for (; next_ <= atMs; next_ += kFrameMs) frames_.Add(atMs - next_);
  }
  // The next run starts a new count (the frames so far stay).
  void Finish() { started_ = false; }
  // Counts the frames of another run too.
  void Merge(const FrameStallMeter& other) { frames_.Merge(other.frames_); }
  double MaxMs() const { return frames_.MaxMs(); }
  double QuantileMs(double fraction) const { return frames_.QuantileMs(fraction); }
  std::uint64_t Frames() const { return frames_.Count(); }

 private:
  StallMeter frames_;
  bool started_ = false;
  double next_ = 0;  // when the next frame is due
};
