#pragma once
// The line a running item has on a terminal: its name, a bar, how much has
// come, the rate and the time left, fitted to the terminal's width.
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace tvx::cli {

struct ProgressFigures {
  std::string name;
  // The bar: done of total (none when total is 0).
  std::uint64_t done = 0;
  std::uint64_t total = 0;
  // What has come, in words: "1.5 MB of 4.0 MB", "3 of 12 pictures, 1.5 MB".
  std::string amount;
  std::optional<double> bytesPerSecond;
  std::optional<double> secondsLeft;
};

// The line, at most width characters (never less than the name's first few).
std::string ProgressLine(const ProgressFigures& figures, int width);

// "512 B", "1.5 KB", "12.0 MB", "3.2 GB" (units of 1024).
std::string ByteCount(std::uint64_t bytes);
// "0:07", "12:34", "1:02:03".
std::string Duration(double seconds);

// The rate of a count that grows, over the last few seconds of samples.
class RateMeter {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kWindow{5};

  void Sample(Clock::time_point at, std::uint64_t count);
  // Per second; nullopt until two samples lie apart.
  std::optional<double> PerSecond() const;

 private:
  std::deque<std::pair<Clock::time_point, std::uint64_t>> samples_;
};

}  // namespace tvx::cli
