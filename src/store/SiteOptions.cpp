#include "store/SiteOptions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
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
bool g_unreadable = false;

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
  g_modified = true;
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

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Writes data beside the file, flushes it to the disk and renames it over
// the file: the file is always either old or new, whole.
bool ReplaceFile(const char* fileName, const std::string& data) {
  const std::string temp = std::string(fileName) + ".tmp";
  ::unlink(temp.c_str());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && std::rename(temp.c_str(), fileName) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
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
    g_modified = true;
  } else if (it->options != clamped || it->name != name) {
    *it = Entry{std::string(name), clamped};
    g_modified = true;
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
  g_modified = true;
}

std::string LoadSiteOptions() {
  std::lock_guard lock(g_mutex);
  g_unreadable = false;
  // Only a plain file is read; opening does not wait on a FIFO.
  int fd = ::open(kSiteOptionsFile, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return {};
    g_unreadable = true;
    return std::strerror(errno);
  }
  struct stat info {};
  std::string reason;
  if (::fstat(fd, &info) != 0)
    reason = std::strerror(errno);
  else if (!S_ISREG(info.st_mode))
    reason = "not a regular file";
  std::string content;
  char buffer[4096];
  while (reason.empty()) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) reason = std::strerror(errno);
    if (n <= 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (!reason.empty()) {
    g_unreadable = true;
    return reason;
  }
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t end = content.find('\n', pos);
    if (end == std::string::npos) end = content.size();
    Entry entry;
    if (ParseLine(std::string_view(content).substr(pos, end - pos), entry)) {
      auto it = FindEntry(entry.name);
      if (it == g_entries.end())
        g_entries.push_back(std::move(entry));
      else
        *it = std::move(entry);
    }
    pos = end + 1;
  }
  g_modified = false;
  return {};
}

bool SaveSiteOptions() {
  std::lock_guard lock(g_mutex);
  if (!g_modified || g_unreadable) return true;
  if (g_entries.empty()) {
    ::unlink(kSiteOptionsFile);
    g_modified = false;
    return true;
  }
  std::string data;
  for (const Entry& e : g_entries) {
    data += e.options.modernLinks ? "1 " : "0 ";
    data += std::to_string(e.options.transfersPerHost);
    data += ' ';
    data += e.name;
    data += "\r\n";
  }
  if (!ReplaceFile(kSiteOptionsFile, data)) return false;
  g_modified = false;
  return true;
}

void ResetSiteOptionsForTest() {
  std::lock_guard lock(g_mutex);
  g_entries.clear();
  g_modified = false;
  g_unreadable = false;
}

}  // namespace tvx
