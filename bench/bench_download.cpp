// Fetches one URL with the file worker (HTTP or FTP) into ./Pictures and
// prints the seconds it took: bench_download URL
#include <chrono>
#include <cstdio>
#include <thread>

#include "engine/Engine.h"
#include "workers/FileWorkers.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_download URL\n");
    return 2;
  }
  using namespace tvx;
  Engine engine;
  const ItemId id = engine.lists.requestedFiles.AddUrl(argv[1]);
  auto start = std::chrono::steady_clock::now();
  if (!StartFileWorker(engine, id, *engine.lists.requestedFiles.CopyOf(id))) return 1;
  engine.workers.WaitUntilIdle(std::chrono::hours(24));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (engine.lists.downloadedFiles.GetCount() != 1) {
    std::fprintf(stderr, "download failed: %s\n", engine.lists.requestedFiles.GetAt(0)->status);
    return 1;
  }
  std::printf("%.3f\n", seconds);
  return 0;
}
