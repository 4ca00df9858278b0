#include "workers/TransferCopy.h"

#include <memory>

namespace tvx {

CopyOutcome CopyTransfer(net::Transfer& in, LocalFileWriter& out, PauseGate& gate,
                         const CopySteps& steps) {
  auto chunk = std::make_unique<char[]>(kCopyChunk);
  std::uint64_t total = 0;
  bool reportOwed = false;
  for (;;) {
    gate.Pass();
    if (reportOwed) reportOwed = !steps.progress(total);
    std::size_t n = in.Read(chunk.get(), kCopyChunk);
    if (n == 0) break;
    if (steps.stopRequested()) return CopyOutcome::Stopped;
    out.Write(chunk.get(), n);
    total += n;
    reportOwed = !steps.progress(total);
  }
  out.Finish();
  return CopyOutcome::Done;
}

}  // namespace tvx
