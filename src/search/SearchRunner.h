#pragma once
// The worker of a search project.
#include <memory>

#include "store/Records.h"
#include "workers/WorkerControl.h"

namespace tvx {

// Starts the search runner for project (registered under its name).
std::shared_ptr<WorkerHandle> StartSearchWorker(const SearchProject& project,
                                                std::size_t stackSize = kSearchStack);

}  // namespace tvx
