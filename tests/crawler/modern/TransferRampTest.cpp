#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crawler/modern/TransferRamp.h"

namespace tvx {
namespace {

using std::chrono::microseconds;

// An event fed to the ramp: an answer time in microseconds, a slow-down, or
// the host found to carry 32 transfers on one connection.
constexpr long kSlow = -1;
constexpr long kWiden = -2;

struct RampCase {
  const char* what;
  int ceiling;
  std::vector<long> events;
  std::vector<int> limits;  // the limit after each event
};

TEST(TransferRamp, FollowsTheAnswerTimesOfItsHost) {
  const RampCase cases[] = {
      {"keeping up from the start: twice as many a round (as many answers as transfers), "
       "up to the ceiling",
       8,
       {20000, 20000, 20000, 20000, 20000, 20000, 20000, 20000, 20000},
       {2, 4, 4, 4, 4, 8, 8, 8, 8}},
      {"the ceiling caps a doubling",
       6,
       {20000, 20000, 20000, 20000, 20000, 20000},
       {2, 4, 4, 4, 4, 6}},
      {"a round's median at 1.5 times the best still keeps up",
       16,
       {20000, 20000, 30000, 30000, 30000, 30000},
       {2, 4, 4, 4, 4, 8}},
      {"a median between 1.5 and 3 times the best holds, and after it one more a round",
       16,
       {20000, 20000, 40000, 40000, 40000, 40000, 20000, 20000, 20000, 20000, 20000, 20000, 20000,
        20000, 20000},
       {2, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 6}},
      {"the best is a round's median: a page answered at once does not make pictures slow",
       16,
       {300, 20000, 20000, 20000, 20000, 20000},
       {2, 4, 4, 4, 4, 8}},
      {"a median past 3 times the best halves, and after it one more a round",
       16,
       {20000, 20000, 70000, 70000, 70000, 70000, 20000, 20000},
       {2, 4, 4, 4, 4, 2, 2, 3}},
      {"one slow answer in a round of fast ones is not the median",
       16,
       {20000, 20000, 20000, 20000, 90000, 20000},
       {2, 4, 4, 4, 4, 8}},
      {"a slow-down halves, never below one",
       8,
       {20000, 20000, kSlow, kSlow, kSlow},
       {2, 4, 2, 1, 1}},
      {"a slow-down starts a new round: slow answers before it do not count after it",
       8,
       {20000, 20000, 90000, 90000, kSlow, 20000, 20000},
       {2, 4, 4, 4, 2, 2, 3}},
      {"a ceiling of one stays one", 1, {20000, 20000, 20000}, {1, 1, 1}},
      {"a wider ceiling is climbed to the same way",
       2,
       {20000, 20000, kWiden, 20000, 20000, kSlow, kWiden},
       {2, 2, 2, 2, 4, 2, 2}},
      {"a server answering in a fraction of a millisecond: milliseconds are the machine's noise",
       16,
       {200, 200, 3000, 4000, 5000, 5000},
       {2, 4, 4, 4, 4, 8}},
      {"... but not tens of them", 16, {200, 200, 15000, 15000, 15000, 15000}, {2, 4, 4, 4, 4, 2}},
  };
  for (const RampCase& c : cases) {
    TransferRamp ramp(c.ceiling);
    EXPECT_EQ(ramp.Limit(), std::min(c.ceiling, TransferRamp::kStart)) << c.what;
    std::vector<int> limits;
    for (long e : c.events) {
      if (e == kSlow)
        ramp.SlowedDown();
      else if (e == kWiden)
        ramp.Widen(32);
      else
        ramp.Answered(microseconds(e));
      limits.push_back(ramp.Limit());
    }
    EXPECT_EQ(limits, c.limits) << c.what;
  }
}

}  // namespace
}  // namespace tvx
