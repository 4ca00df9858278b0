#pragma once
// The crawl worker of a web-site project.
#include <memory>

#include "store/Records.h"
#include "workers/WorkerControl.h"

namespace tvx {

// Starts a crawl for project (registered under its name in the web-site registry).
std::shared_ptr<WorkerHandle> StartCrawlWorker(const SiteProject& project,
                                               std::size_t stackSize = kSiteStackCommand);

}  // namespace tvx
