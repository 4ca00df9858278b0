#include "cli/Progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tvx::cli {
namespace {

constexpr int kBarWidth = 20;
constexpr int kMinName = 8;

// Bytes of a UTF-8 text that make at most `columns` characters.
std::size_t PrefixOfColumns(const std::string& text, std::size_t columns) {
  std::size_t i = 0;
  for (std::size_t shown = 0; i < text.size() && shown < columns; ++shown) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  }
  return i;
}

std::size_t Columns(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string Bar(std::uint64_t done, std::uint64_t total) {
  const double part = std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
  const int filled = static_cast<int>(part * kBarWidth);
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(part * 100.0));
  return "[" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " + percent;
}

}  // namespace

std::string ByteCount(std::uint64_t bytes) {
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes) / 1024.0;
  int unit = 0;
  while (value >= 1024.0 && unit < 3) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string Duration(double seconds) {
  const long total = std::lround(std::max(0.0, seconds));
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

std::string ProgressLine(const ProgressFigures& f, int width) {
  std::string tail;
  if (f.total > 0) tail += "  " + Bar(f.done, f.total);
  if (!f.amount.empty()) tail += "  " + f.amount;
  if (f.bytesPerSecond)
    tail += "  " + ByteCount(static_cast<std::uint64_t>(*f.bytesPerSecond)) + "/s";
  if (f.secondsLeft) tail += "  " + Duration(*f.secondsLeft) + " left";
  const std::size_t room = width > 0 ? static_cast<std::size_t>(width) : 0;
  // The name gives way first, down to a few characters; then the tail is cut.
  std::size_t nameColumns = Columns(f.name);
  if (nameColumns + tail.size() > room)
    nameColumns = std::max<std::size_t>(kMinName, room > tail.size() ? room - tail.size() : 0);
  std::string line = f.name.substr(0, PrefixOfColumns(f.name, nameColumns));
  if (nameColumns < Columns(f.name) && nameColumns > 0) {
    line.resize(PrefixOfColumns(line, nameColumns - 1));
    line += "~";
  }
  line += tail;
  return line.substr(0, PrefixOfColumns(line, room));
}

void RateMeter::Sample(Clock::time_point at, std::uint64_t count) {
  samples_.emplace_back(at, count);
  while (samples_.size() > 2 && at - samples_[1].first >= kWindow) samples_.pop_front();
}

std::optional<double> RateMeter::PerSecond() const {
  if (samples_.size() < 2) return std::nullopt;
  const auto& [firstAt, first] = samples_.front();
  const auto& [lastAt, last] = samples_.back();
  const double seconds = std::chrono::duration<double>(lastAt - firstAt).count();
  if (seconds < 0.2 || last < first) return std::nullopt;
  return static_cast<double>(last - first) / seconds;
}

}  // namespace tvx::cli
