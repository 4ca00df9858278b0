#include "crawler/modern/TransferRamp.h"

#include <algorithm>

namespace tvx {

TransferRamp::TransferRamp(int ceiling)
    : ceiling_(std::max(1, ceiling)), limit_(std::min(kStart, ceiling_)) {}

void TransferRamp::Answered(Duration answer) {
  round_.push_back(std::max(answer, Duration::zero()));
  if (round_.size() < static_cast<std::size_t>(limit_)) return;
  // The upper median: of an even round the slower half decides.
  const auto middle = round_.begin() + static_cast<std::ptrdiff_t>(round_.size() / 2);
  std::nth_element(round_.begin(), middle, round_.end());
  const Duration median = *middle;
  round_.clear();
  const Duration best = best_ ? std::min(*best_, median) : median;
  best_ = best;
  if (median > std::max(3 * best, best + 2 * kNoise)) {
    Halve();
  } else if (median > std::max(best + best / 2, best + kNoise)) {
    doubling_ = false;
  } else if (limit_ < ceiling_) {
    limit_ = doubling_ ? std::min(ceiling_, 2 * limit_) : limit_ + 1;
  }
}

void TransferRamp::SlowedDown() { Halve(); }

void TransferRamp::Widen(int ceiling) { ceiling_ = std::max(ceiling_, ceiling); }

void TransferRamp::Halve() {
  limit_ = std::max(1, limit_ / 2);
  doubling_ = false;
  round_.clear();
}

}  // namespace tvx
