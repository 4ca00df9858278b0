#include "store/SiteOptions.h"

#include <algorithm>
#include <optional>

#include "store/Text.h"

namespace tvx {
namespace {

int Clamp(int transfers) {
  return std::clamp(transfers, kMinTransfersPerHost, kMaxTransfersPerHost);
}

// One line: two numbers and the name (the rest of the line, as written).
bool ParseLine(std::string_view line, std::string& name, SiteOptions& options) {
  line = TrimLineEnd(line);
  int numbers[2] = {0, 0};
  for (int& number : numbers) {
    std::size_t digits = 0;
    while (digits < line.size() && digits < 6 && line[digits] >= '0' && line[digits] <= '9')
      number = number * 10 + (line[digits++] - '0');
    if (digits == 0 || digits >= line.size() || line[digits] != ' ') return false;
    line.remove_prefix(digits + 1);
  }
  if (line.empty() || numbers[0] > 1) return false;
  name = std::string(line.substr(0, 79));
  options.modernLinks = numbers[0] == 1;
  options.transfersPerHost = Clamp(numbers[1]);
  return true;
}

// A whole number from text, within [low, high]; nullopt for anything else.
std::optional<int> Number(std::string_view text, int low, int high) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return std::clamp(value, low, high);
}

// The settings of the "\t<key> <value>" lines, in the order they are written.
struct FurtherSetting {
  const char* key;
  std::string (*write)(const SiteOptions&);  // empty: the default, no line
  bool (*read)(std::string_view value, SiteOptions&);
};

std::string Flag(bool on, bool byDefault) { return on == byDefault ? "" : (on ? "1" : "0"); }
std::string Whole(int value) { return value == 0 ? "" : std::to_string(value); }

template <int SiteOptions::*Field>
bool ReadKb(std::string_view value, SiteOptions& o) {
  auto n = Number(value, 0, 100'000'000);
  if (n) o.*Field = *n;
  return n.has_value();
}

template <bool SiteOptions::*Field>
bool ReadFlag(std::string_view value, SiteOptions& o) {
  if (value != "0" && value != "1") return false;
  o.*Field = value == "1";
  return true;
}

constexpr FurtherSetting kFurther[] = {
    {"cookies", [](const SiteOptions& o) { return o.cookieFile; },
     [](std::string_view v, SiteOptions& o) {
       o.cookieFile = std::string(v);
       return true;
     }},
    {"robots", [](const SiteOptions& o) { return Flag(o.obeyRobots, true); },
     ReadFlag<&SiteOptions::obeyRobots>},
    {"wait", [](const SiteOptions& o) { return Whole(o.waitSeconds); },
     [](std::string_view v, SiteOptions& o) {
       auto n = Number(v, 0, 60);
       if (n) o.waitSeconds = *n;
       return n.has_value();
     }},
    {"min-size",
     [](const SiteOptions& o) {
       return o.minWidth == 0 && o.minHeight == 0
                  ? std::string()
                  : std::to_string(o.minWidth) + "x" + std::to_string(o.minHeight);
     },
     [](std::string_view v, SiteOptions& o) {
       const std::size_t x = v.find('x');
       if (x == std::string_view::npos) return false;
       auto w = Number(v.substr(0, x), 0, 1'000'000), h = Number(v.substr(x + 1), 0, 1'000'000);
       if (!w || !h) return false;
       o.minWidth = *w;
       o.minHeight = *h;
       return true;
     }},
    {"min-kb", [](const SiteOptions& o) { return Whole(o.minKb); }, ReadKb<&SiteOptions::minKb>},
    {"max-kb", [](const SiteOptions& o) { return Whole(o.maxKb); }, ReadKb<&SiteOptions::maxKb>},
    {"refetch-deleted", [](const SiteOptions& o) { return Flag(o.refetchDeleted, false); },
     ReadFlag<&SiteOptions::refetchDeleted>},
    {"copies-across-projects",
     [](const SiteOptions& o) { return Flag(o.copiesAcrossProjects, false); },
     ReadFlag<&SiteOptions::copiesAcrossProjects>},
};

}  // namespace

std::string FormatFurtherSettings(const SiteOptions& options) {
  std::string data;
  for (const FurtherSetting& f : kFurther) {
    const std::string value = f.write(options);
    if (value.empty()) continue;
    data += '\t';
    data += f.key;
    data += ' ';
    data += value;
    data += "\r\n";
  }
  return data;
}

bool ReadFurtherSetting(std::string_view line, SiteOptions& options) {
  line = TrimLineEnd(line);
  if (line.empty() || line[0] != '\t') return false;
  line.remove_prefix(1);
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return false;
  const std::string_view key = line.substr(0, space), value = line.substr(space + 1);
  for (const FurtherSetting& f : kFurther)
    if (key == f.key) return f.read(value, options);
  return false;
}

void SiteOptionsTable::Remove(std::string_view name) {
  if (entries_.Remove(name)) Changed();
}

void SiteOptionsTable::Changed() {
  modified_ = true;
  ++generation_;
}

SiteOptions SiteOptionsTable::Get(std::string_view name) const {
  std::lock_guard lock(mutex_);
  const Entry* entry = entries_.Find(name);
  return entry ? entry->options : SiteOptions{};
}

void SiteOptionsTable::Set(std::string_view name, const SiteOptions& options,
                           std::string_view formerName) {
  SiteOptions clamped = options;
  clamped.transfersPerHost = Clamp(options.transfersPerHost);
  // One line of the file each: a path cannot take a line break along.
  std::erase_if(clamped.cookieFile, [](char c) { return c == '\r' || c == '\n'; });
  std::lock_guard lock(mutex_);
  if (!formerName.empty() && !EqualsIgnoreCase(formerName, name)) Remove(formerName);
  Entry* it = entries_.Find(name);
  if (clamped == SiteOptions{}) {
    Remove(name);
  } else if (!it) {
    entries_.Put(Entry{std::string(name), clamped});
    Changed();
  } else if (it->options != clamped || it->name != name) {
    *it = Entry{std::string(name), clamped};
    Changed();
  }
}

void SiteOptionsTable::Forget(std::string_view name) {
  std::lock_guard lock(mutex_);
  Remove(name);
}

void SiteOptionsTable::ForgetAll() {
  std::lock_guard lock(mutex_);
  if (entries_.Empty()) return;
  entries_.Clear();
  Changed();
}

void SiteOptionsTable::Reset() {
  std::lock_guard lock(mutex_);
  entries_.Clear();
  modified_ = false;
}

std::uint64_t SiteOptionsTable::Generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

void SiteOptionsTable::Read(std::string_view content) {
  std::lock_guard lock(mutex_);
  std::size_t pos = 0;
  Entry* last = nullptr;  // the entry the settings lines below belong to
  while (pos < content.size()) {
    std::size_t end = content.find('\n', pos);
    if (end == std::string_view::npos) end = content.size();
    const std::string_view line = content.substr(pos, end - pos);
    Entry entry;
    if (ParseLine(line, entry.name, entry.options)) {
      last = &entries_.Put(std::move(entry));
    } else if (last && !line.empty() && line[0] == '\t') {
      ReadFurtherSetting(line, last->options);
    } else {
      last = nullptr;
    }
    pos = end + 1;
  }
  modified_ = false;
}

bool SiteOptionsTable::Modified() const {
  std::lock_guard lock(mutex_);
  return modified_;
}

std::string SiteOptionsTable::Format(std::uint64_t& generation) const {
  std::lock_guard lock(mutex_);
  generation = generation_;
  std::string data;
  for (const Entry& e : entries_) {
    data += e.options.modernLinks ? "1 " : "0 ";
    data += std::to_string(e.options.transfersPerHost);
    data += ' ';
    data += e.name;
    data += "\r\n";
    data += FormatFurtherSettings(e.options);
  }
  return data;
}

}  // namespace tvx
