#pragma once
// The worker of a search project.
#include <memory>

#include "store/Records.h"
#include "workers/EngineState.h"

namespace tvx {

// Starts the search runner for project, the search project of that id
// (registered under it).
std::shared_ptr<WorkerHandle> StartSearchWorker(EngineState& engine, ItemId id,
                                                const SearchProject& project,
                                                std::size_t stackSize = kSearchStack);

// The runner's body, run on the worker's own thread: queries the engines the
// project asks for and appends their links to the search results.
void RunSearchProject(WorkerEnv& env, const SearchProject& project);

}  // namespace tvx
