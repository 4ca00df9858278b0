#pragma once
// The worker of a search project.
#include <memory>

#include "store/Records.h"
#include "workers/WorkerControl.h"

namespace tvx {

// Starts the search runner for project (registered under its name).
std::shared_ptr<WorkerHandle> StartSearchWorker(const SearchProject& project,
                                                std::size_t stackSize = kSearchStack);

// The runner's body, run on the worker's own thread: queries the engines the
// project asks for and appends their links to SearchResults.
void RunSearchProject(WorkerEnv& env, const SearchProject& project);

}  // namespace tvx
