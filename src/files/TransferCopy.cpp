#include "files/TransferCopy.h"

#include <atomic>
#include <memory>

namespace tvx {
namespace {

std::atomic<std::uint64_t> transferred{0};

}  // namespace

std::uint64_t BytesTransferred() { return transferred.load(std::memory_order_relaxed); }

CopyOutcome CopyTransfer(net::Transfer& in, LocalFileWriter& out, const CopySteps& steps) {
  auto chunk = std::make_unique<char[]>(kCopyChunk);
  std::uint64_t total = out.StartSize();
  bool reportOwed = false;
  for (;;) {
    if (steps.beforeRead) steps.beforeRead();
    if (reportOwed) reportOwed = !steps.progress(total);
    std::size_t n = in.Read(chunk.get(), kCopyChunk);
    if (n == 0) break;
    if (steps.stopRequested()) return CopyOutcome::Stopped;
    transferred.fetch_add(n, std::memory_order_relaxed);
    out.Write(chunk.get(), n);
    if (!in.HasBufferedData()) out.Sync();
    total += n;
    reportOwed = !steps.progress(total);
  }
  out.Finish();
  return CopyOutcome::Done;
}

}  // namespace tvx
