#include "store/SearchOptions.h"

#include "store/Text.h"

namespace tvx {
namespace {

// One line: three flags and the name (the rest of the line, as written).
bool ParseLine(std::string_view line, std::string& name, TodayEngines& engines) {
  line = TrimLineEnd(line);
  bool* flags[] = {&engines.openverse, &engines.commons, &engines.duckDuckGo};
  for (bool* flag : flags) {
    if (line.size() < 3 || (line[0] != '0' && line[0] != '1') || line[1] != ' ') return false;
    *flag = line[0] == '1';
    line.remove_prefix(2);
  }
  name = std::string(line.substr(0, 79));
  return !name.empty() && engines.Any();
}

}  // namespace

void SearchOptionsTable::Remove(std::string_view name) {
  if (entries_.Remove(name)) Changed();
}

void SearchOptionsTable::Changed() {
  modified_ = true;
  ++generation_;
}

TodayEngines SearchOptionsTable::Get(std::string_view name) const {
  std::lock_guard lock(mutex_);
  const Entry* entry = entries_.Find(name);
  return entry ? entry->engines : TodayEngines{};
}

void SearchOptionsTable::Set(std::string_view name, const TodayEngines& engines,
                             std::string_view formerName) {
  std::lock_guard lock(mutex_);
  if (!formerName.empty() && !EqualsIgnoreCase(formerName, name)) Remove(formerName);
  if (!engines.Any()) return Remove(name);
  const Entry* kept = entries_.Find(name);
  if (kept && kept->name == name && kept->engines == engines) return;
  entries_.Put(Entry{std::string(name), engines});
  Changed();
}

void SearchOptionsTable::Forget(std::string_view name) {
  std::lock_guard lock(mutex_);
  Remove(name);
}

void SearchOptionsTable::ForgetAll() {
  std::lock_guard lock(mutex_);
  if (entries_.Empty()) return;
  entries_.Clear();
  Changed();
}

void SearchOptionsTable::Reset() {
  std::lock_guard lock(mutex_);
  entries_.Clear();
  modified_ = false;
}

void SearchOptionsTable::Read(std::string_view content) {
  std::lock_guard lock(mutex_);
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t end = content.find('\n', pos);
    if (end == std::string_view::npos) end = content.size();
    Entry entry;
    if (ParseLine(content.substr(pos, end - pos), entry.name, entry.engines))
      entries_.Put(std::move(entry));
    pos = end + 1;
  }
  modified_ = false;
}

bool SearchOptionsTable::Modified() const {
  std::lock_guard lock(mutex_);
  return modified_;
}

std::string SearchOptionsTable::Format(std::uint64_t& generation) const {
  std::lock_guard lock(mutex_);
  generation = generation_;
  std::string data;
  for (const Entry& e : entries_) {
    data += e.engines.openverse ? "1 " : "0 ";
    data += e.engines.commons ? "1 " : "0 ";
    data += e.engines.duckDuckGo ? "1 " : "0 ";
    data += e.name;
    data += "\r\n";
  }
  return data;
}

}  // namespace tvx
