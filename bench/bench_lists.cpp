// Loads and saves six list files of 10,000 and of 100,000 records each.
// Linear cost gives a ratio of about 10.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/Engine.h"
#include "store/ListFiles.h"
#include "store/Lists.h"
#include "store/SiteOptions.h"

using namespace tvx;
namespace fs = std::filesystem;

template <class L>
void Empty(L& list) {
  while (list.GetCount() > 0) list.RemoveAt(list.GetCount() - 1);
}

Engine& TheEngine() {
  static Engine engine;
  return engine;
}

void EmptyAll() {
  Lists& l = TheEngine().lists;
  Empty(l.requestedFiles);
  Empty(l.requestedSites);
  Empty(l.downloadedFiles);
  Empty(l.downloadedSites);
  Empty(l.searchProjects);
  Empty(l.searchResults);
}

void Fill(int n) {
  Lists& l = TheEngine().lists;
  for (int i = 0; i < n; ++i) {
    std::string url = "http://pics.example/folder" + std::to_string(i % 97) + "/picture" +
                      std::to_string(i) + ".jpg";
    l.requestedFiles.AddUrl(url);
    l.downloadedFiles.AddUrl(url);
    l.searchResults.AddUrl(url);
    SiteProject p{};
    SetText(p.name, "Project number " + std::to_string(i));
    SetText(p.startUrl, url);
    p.typeJpg = 1;
    p.startHour = i % 24;
    l.requestedSites.Add(p);
    l.downloadedSites.Add(p);
    SearchProject s{};
    SetText(s.name, "Search " + std::to_string(i));
    SetText(s.searchText, "red cars and blue boats");
    s.useAltaVista = 1;
    l.searchProjects.Add(s);
  }
}

double Ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

struct Times {
  double save, load;
};

Times Run(int n) {
  Lists& l = TheEngine().lists;
  EmptyAll();
  Fill(n);
  auto t0 = std::chrono::steady_clock::now();
  TheEngine().Store().SaveAll();
  auto t1 = std::chrono::steady_clock::now();
  EmptyAll();
  auto t2 = std::chrono::steady_clock::now();
  TheEngine().Store().LoadAll();
  auto t3 = std::chrono::steady_clock::now();
  if (l.requestedFiles.GetCount() != n || l.searchProjects.GetCount() != n) {
    std::fprintf(stderr, "bench lists: loaded %d of %d records\n", l.requestedFiles.GetCount(), n);
    std::exit(1);
  }
  return {Ms(t1 - t0), Ms(t3 - t2)};
}

int main() {
  char tmpl[] = "/tmp/tvx-bench-lists-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  fs::current_path(tmpl);
  Run(1000);  // warm up
  Times small = Run(10000);
  Times large = Run(100000);
  double ratio = (large.save + large.load) / (small.save + small.load);
  std::printf("six lists of 10000 records: save %.1f ms, load %.1f ms\n", small.save, small.load);
  std::printf("six lists of 100000 records: save %.1f ms, load %.1f ms\n", large.save, large.load);
  std::printf(
      "bench lists: save10k_ms=%.1f load10k_ms=%.1f save100k_ms=%.1f load100k_ms=%.1f "
      "ratio=%.2f\n",
      small.save, small.load, large.save, large.load, ratio);

  // The options of 100,000 web-site projects, read as at start-up.
  std::string options;
  for (int i = 0; i < 100000; ++i)
    options += "1 " + std::to_string(1 + i % 16) + " Project number " + std::to_string(i) + "\r\n";
  SiteOptionsTable table;
  auto t0 = std::chrono::steady_clock::now();
  table.Read(options);
  const double optionsMs = Ms(std::chrono::steady_clock::now() - t0);
  if (table.Get("project number 99999").transfersPerHost != 1 + 99999 % 16) return 1;
  std::printf("bench lists: site_options=100000 load_ms=%.1f\n", optionsMs);

  fs::current_path("/");
  fs::remove_all(tmpl);
  return 0;
}
