#pragma once
// The single-file workers: HTTP (and HTTPS) and anonymous FTP.
#include <memory>

#include "store/Records.h"
#include "workers/WorkerControl.h"

namespace tvx {

// True when a file URL goes to the FTP worker: it contains "ftp://" (case-sensitive).
bool IsFtpUrl(std::string_view url);

// Starts the right file worker for record (registering it under its url).
std::shared_ptr<WorkerHandle> StartFileWorker(const FileRecord& record,
                                              std::size_t stackSize = kFileStack);

// The worker bodies, run on the worker's own thread.
void RunHttpFileWorker(WorkerEnv& env, const FileRecord& record);
void RunFtpFileWorker(WorkerEnv& env, const FileRecord& record);

}  // namespace tvx
