#include "files/PartialFiles.h"

#include <unistd.h>

#include <mutex>
#include <set>

namespace tvx {
namespace {

std::mutex g_mutex;
std::multiset<std::string> g_open;

}  // namespace

void PartialFileOpened(const std::string& path) {
  std::lock_guard lock(g_mutex);
  g_open.insert(path);
}

void PartialFileClosed(const std::string& path) {
  std::lock_guard lock(g_mutex);
  if (auto it = g_open.find(path); it != g_open.end()) g_open.erase(it);
}

int RemoveOpenPartialFiles() {
  std::lock_guard lock(g_mutex);
  int removed = 0;
  for (const std::string& path : g_open)
    if (::unlink(path.c_str()) == 0) ++removed;
  g_open.clear();
  return removed;
}

}  // namespace tvx
