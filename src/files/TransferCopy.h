#pragma once
// Copying a transfer into a local file: the loop the file workers share.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "files/LocalPath.h"
#include "net/Internet.h"

namespace tvx {

enum class CopyOutcome { Done, Stopped };

struct CopySteps {
  // Called before every read: a worker waits here while it is paused.
  std::function<void()> beforeRead;
  // Asked after every chunk that came, before it is written: true ends the
  // copy at once, leaving the file unfinished.
  std::function<bool()> stopRequested;
  // Told the byte total after every chunk written. Answers false when it
  // held its report back because the worker is paused; it is then told the
  // total again as soon as the worker goes on.
  std::function<bool(std::uint64_t total)> progress;
};

// The most one read asks of the transfer. All per-chunk work (stop check,
// progress text, clock) is done per read, so reads are large.
inline constexpr std::size_t kCopyChunk = 256 * 1024;

// Reads `in` to its end and appends it to `out`, which it finishes (Done).
// The totals it reports count what `out` held when opened (a resumed file).
// What is written reaches the disk whenever the reader has caught up with the
// network, so a process killed while waiting loses nothing that arrived.
// beforeRead runs before every read. Internet and local file failures arrive
// as exceptions (net::InternetError, LocalFileError).
CopyOutcome CopyTransfer(net::Transfer& in, LocalFileWriter& out, const CopySteps& steps);

// Bytes taken in by every copy loop of the process since it started; the
// window reads it once a second for the overall rate.
std::uint64_t BytesTransferred();

}  // namespace tvx
