#include "store/SiteOptions.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "store/Lists.h"
#include "store/Text.h"

namespace tvx {
namespace {

struct Entry {
  std::string name;
  SiteOptions options;
};

std::mutex g_mutex;
std::vector<Entry> g_entries;  // in the order first set
bool g_modified = false;
std::uint64_t g_generation = 0;

void Changed() {
  g_modified = true;
  ++g_generation;
}

int Clamp(int transfers) {
  return std::clamp(transfers, kMinTransfersPerHost, kMaxTransfersPerHost);
}

std::vector<Entry>::iterator FindEntry(std::string_view name) {
  return std::find_if(g_entries.begin(), g_entries.end(),
                      [&](const Entry& e) { return EqualsIgnoreCase(e.name, name); });
}

void Remove(std::string_view name) {
  auto it = FindEntry(name);
  if (it == g_entries.end()) return;
  g_entries.erase(it);
  Changed();
}

// One line: two numbers and the name (the rest of the line, as written).
bool ParseLine(std::string_view line, Entry& entry) {
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
  entry.name = std::string(line.substr(0, 79));
  entry.options.modernLinks = numbers[0] == 1;
  entry.options.transfersPerHost = Clamp(numbers[1]);
  return true;
}

}  // namespace

SiteOptions OptionsOfSite(std::string_view name) {
  std::lock_guard lock(g_mutex);
  auto it = FindEntry(name);
  return it == g_entries.end() ? SiteOptions{} : it->options;
}

void SetOptionsOfSite(std::string_view name, const SiteOptions& options,
                      std::string_view formerName) {
  SiteOptions clamped = options;
  clamped.transfersPerHost = Clamp(options.transfersPerHost);
  std::lock_guard lock(g_mutex);
  if (!formerName.empty() && !EqualsIgnoreCase(formerName, name)) Remove(formerName);
  auto it = FindEntry(name);
  if (clamped == SiteOptions{}) {
    Remove(name);
  } else if (it == g_entries.end()) {
    g_entries.push_back(Entry{std::string(name), clamped});
    Changed();
  } else if (it->options != clamped || it->name != name) {
    *it = Entry{std::string(name), clamped};
    Changed();
  }
}

void ForgetDeletedSite(std::string_view name) {
  if (RequestedSites.Find(name) >= 0 || DownloadedSites.Find(name) >= 0) return;
  std::lock_guard lock(g_mutex);
  Remove(name);
}

void ForgetAllSiteOptions() {
  std::lock_guard lock(g_mutex);
  if (g_entries.empty()) return;
  g_entries.clear();
  Changed();
}

void ReadSiteOptions(std::string_view content) {
  std::lock_guard lock(g_mutex);
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t end = content.find('\n', pos);
    if (end == std::string_view::npos) end = content.size();
    Entry entry;
    if (ParseLine(content.substr(pos, end - pos), entry)) {
      auto it = FindEntry(entry.name);
      if (it == g_entries.end())
        g_entries.push_back(std::move(entry));
      else
        *it = std::move(entry);
    }
    pos = end + 1;
  }
  g_modified = false;
}

std::string FormatSiteOptions(std::uint64_t& generation) {
  std::lock_guard lock(g_mutex);
  generation = g_generation;
  std::string data;
  for (const Entry& e : g_entries) {
    data += e.options.modernLinks ? "1 " : "0 ";
    data += std::to_string(e.options.transfersPerHost);
    data += ' ';
    data += e.name;
    data += "\r\n";
  }
  return data;
}

bool SiteOptionsModified() {
  std::lock_guard lock(g_mutex);
  return g_modified;
}

std::uint64_t SiteOptionsGeneration() {
  std::lock_guard lock(g_mutex);
  return g_generation;
}

void ResetSiteOptionsForTest() {
  std::lock_guard lock(g_mutex);
  g_entries.clear();
  g_modified = false;
}

}  // namespace tvx
