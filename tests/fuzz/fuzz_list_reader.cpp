// Loads arbitrary bytes as each kind of list file and checks that every
// record's texts end within their fields.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/Engine.h"
#include "store/ListFiles.h"
#include "store/Lists.h"

namespace {

template <class L>
void Empty(L& list) {
  while (list.GetCount() > 0) list.RemoveAt(list.GetCount() - 1);
}

template <std::size_t N>
void CheckField(const char (&field)[N]) {
  if (strnlen(field, N) >= N) std::abort();
}

void Write(const char* name, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(name, "wb");
  if (!f) std::abort();
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char dir[] = "/tmp/tvx-fuzz-lists-XXXXXX";
  if (!mkdtemp(dir) || chdir(dir) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tvx;
  static Engine* engine = new Engine;  // lives for the whole run
  Lists& lists = engine->lists;
  for (const char* name : {"reqpics.data", "reqpicwebs.data", "reqpicsearch.data"})
    Write(name, data, size);
  engine->Store().LoadAll();
  for (const auto& r : lists.requestedFiles.Snapshot()) {
    CheckField(r.url);
    CheckField(r.status);
    if (std::strchr(r.url, ' ') || std::strchr(r.url, '\n')) std::abort();
  }
  for (const auto& p : lists.requestedSites.Snapshot()) {
    CheckField(p.name);
    CheckField(p.startUrl);
    CheckField(p.status);
  }
  for (const auto& p : lists.searchProjects.Snapshot()) {
    CheckField(p.name);
    CheckField(p.searchText);
  }
  if (lists.requestedFiles.IsModified() || lists.requestedSites.IsModified() ||
      lists.searchProjects.IsModified())
    std::abort();
  Empty(lists.requestedFiles);
  Empty(lists.requestedSites);
  Empty(lists.searchProjects);
  return 0;
}
