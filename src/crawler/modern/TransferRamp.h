#pragma once
// How many transfers at once one host gets, found by watching how quickly it
// answers, as congestion control does: a host starts at two transfers, and
// each time a round of answers (as many answers as it has transfers) comes
// back with a median time within 1.5 times its best, it gets more: twice as
// many while no round has yet failed to keep up (a slow start, so that a
// host that can take 32 streams is not held to a few for hundreds of
// answers), one more after that. It loses half of them when it asks to slow
// down (429, 503), when a transfer times out or breaks, or when a round's
// median is past three times its best; a round between the two holds the
// limit and ends the doubling. The best is the lowest median of a round, not
// the quickest single answer: a site answers a small page at once and a
// picture after a while, and the pictures are not the server slowing down.
// The set "Transfers at once per host" is the ceiling. A few milliseconds
// count as the machine's own noise, so that a server that answers in a
// fraction of a millisecond is not taken for one that struggles.
//
// It holds no clock and no thread: the crawl feeds it the answer times it
// measured and asks it for the limit.
#include <chrono>
#include <optional>
#include <vector>

namespace tvx {

class TransferRamp {
 public:
  using Duration = std::chrono::microseconds;

  static constexpr int kStart = 2;
  // A round whose median is within this of the best counts as keeping up,
  // and one within twice this is never a slow-down, whatever the ratio.
  static constexpr Duration kNoise = std::chrono::milliseconds(5);

  explicit TransferRamp(int ceiling = 1);

  int Limit() const { return limit_; }
  int Ceiling() const { return ceiling_; }

  // An answer's head came `answer` after its request was sent.
  void Answered(Duration answer);
  // The host asked to slow down, or a transfer to it timed out or broke.
  void SlowedDown();
  // The ceiling becomes `ceiling` when that is higher (a host that carries
  // many transfers on one connection); the limit climbs to it as before.
  void Widen(int ceiling);

 private:
  void Halve();

  int ceiling_;
  int limit_;
  bool doubling_ = true;          // no round has yet failed to keep up
  std::optional<Duration> best_;  // the lowest median of a round
  std::vector<Duration> round_;   // the answer times since the limit last changed
};

}  // namespace tvx
