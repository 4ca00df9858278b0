// Fetches one URL with the file worker (HTTP or FTP) into ./Pictures and
// prints the seconds it took: bench_download URL
#include <chrono>
#include <cstdio>
#include <thread>

#include "store/Lists.h"
#include "workers/FileWorkers.h"
#include "workers/WorkerControl.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_download URL\n");
    return 2;
  }
  using namespace tvx;
  RequestedFiles.AddUrl(argv[1]);
  auto start = std::chrono::steady_clock::now();
  if (!StartFileWorker(*RequestedFiles.GetAt(0))) return 1;
  while (LiveWorkerCount() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (DownloadedFiles.GetCount() != 1) {
    std::fprintf(stderr, "download failed: %s\n", RequestedFiles.GetAt(0)->status);
    return 1;
  }
  std::printf("%.3f\n", seconds);
  return 0;
}
