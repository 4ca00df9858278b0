#pragma once
// Gaps between two runs of a zero-interval timer, kept in a fixed histogram:
// recording a gap allocates nothing, so the meter never causes the stalls it
// measures (a growing list of every gap did, each time it had to move).
#include <algorithm>
#include <array>
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
