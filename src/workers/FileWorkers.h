#pragma once
// The single-file workers: HTTP (and HTTPS) and anonymous FTP.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "store/Records.h"
#include "workers/WorkerControl.h"

namespace tvx {

// True when a file URL goes to the FTP worker: it contains "ftp://" (case-sensitive).
bool IsFtpUrl(std::string_view url);

struct FtpUrlParts {
  std::string host;       // the server as written: may carry "user:password@" and ":port"
  std::string directory;  // empty when the file lies at the top
  std::string fileName;
};
// Splits an FTP URL the way the FTP worker does; nullopt when it has no "//"
// or no '/' after the host.
std::optional<FtpUrlParts> SplitFtpUrl(const std::string& url);

// bytes / 1024 as a single-precision number with two decimals, exactly as
// printf's "%.2f" shows it ("1.50" for 1536 bytes).
std::string KilobytesText(std::uint32_t bytes);

// Starts the right file worker for record, the requested file of that id
// (registered under it).
std::shared_ptr<WorkerHandle> StartFileWorker(EngineState& engine, ItemId id,
                                              const FileRecord& record,
                                              std::size_t stackSize = kFileStack);

// The worker bodies, run on the worker's own thread.
void RunHttpFileWorker(WorkerEnv& env, const FileRecord& record);
void RunFtpFileWorker(WorkerEnv& env, const FileRecord& record);

}  // namespace tvx
