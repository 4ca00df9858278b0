#include "store/SiteOptions.h"

#include <algorithm>

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

}  // namespace

SiteOptionsTable::Entry* SiteOptionsTable::Find(std::string_view name) {
  auto it = index_.find(LowerCopy(name));
  return it == index_.end() ? nullptr : &entries_[it->second];
}

void SiteOptionsTable::Put(Entry entry) {
  if (Entry* e = Find(entry.name)) {
    *e = std::move(entry);
    return;
  }
  index_.emplace(LowerCopy(entry.name), entries_.size());
  entries_.push_back(std::move(entry));
}

void SiteOptionsTable::Remove(std::string_view name) {
  auto it = index_.find(LowerCopy(name));
  if (it == index_.end()) return;
  const std::size_t at = it->second;
  index_.erase(it);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(at));
  for (std::size_t i = at; i < entries_.size(); ++i) index_[LowerCopy(entries_[i].name)] = i;
  Changed();
}

void SiteOptionsTable::Changed() {
  modified_ = true;
  ++generation_;
}

SiteOptions SiteOptionsTable::Get(std::string_view name) const {
  std::lock_guard lock(mutex_);
  auto it = index_.find(LowerCopy(name));
  return it == index_.end() ? SiteOptions{} : entries_[it->second].options;
}

void SiteOptionsTable::Set(std::string_view name, const SiteOptions& options,
                           std::string_view formerName) {
  SiteOptions clamped = options;
  clamped.transfersPerHost = Clamp(options.transfersPerHost);
  std::lock_guard lock(mutex_);
  if (!formerName.empty() && !EqualsIgnoreCase(formerName, name)) Remove(formerName);
  Entry* it = Find(name);
  if (clamped == SiteOptions{}) {
    Remove(name);
  } else if (!it) {
    Put(Entry{std::string(name), clamped});
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
  if (entries_.empty()) return;
  entries_.clear();
  index_.clear();
  Changed();
}

void SiteOptionsTable::Reset() {
  std::lock_guard lock(mutex_);
  entries_.clear();
  index_.clear();
  modified_ = false;
}

std::uint64_t SiteOptionsTable::Generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

void SiteOptionsTable::Read(std::string_view content) {
  std::lock_guard lock(mutex_);
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t end = content.find('\n', pos);
    if (end == std::string_view::npos) end = content.size();
    Entry entry;
    if (ParseLine(content.substr(pos, end - pos), entry.name, entry.options)) Put(std::move(entry));
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
  }
  return data;
}

}  // namespace tvx
