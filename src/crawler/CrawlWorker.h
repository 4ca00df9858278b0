#pragma once
// The crawl worker of a web-site project.
#include <memory>
#include <optional>
#include <string>

#include "store/Records.h"
#include "workers/WorkerControl.h"

namespace tvx {

// What a crawl ends with: the stack ran empty (with or without errors), or
// the project's stop flag was seen.
inline constexpr int kCrawlDone = 0;
inline constexpr int kCrawlStopped = 4;

// The body of a crawl worker, run on the worker's own thread: crawls the
// project's site from its start URL and returns the exit code.
int RunCrawl(WorkerEnv& env, const SiteProject& project);

// The ends of a crawl run, shared by both ways of crawling; on the
// user-interface side, with the project's row as it is now (nullopt when the
// project was deleted while it ran: nothing of it is touched then).
// Stopped: the project stays requested with "Stopped".
void ShowCrawlStopped(Reporter& ui, std::optional<int> row);
// Done: without errors the project moves to the downloaded web sites; with
// errors it stays requested, "Some errors occurred", and errorStatus shows
// in Status when current.
void EndCrawlRun(Reporter& ui, const std::string& name, std::optional<int> row, bool errors,
                 const std::string& errorStatus = "Some errors occurred");

// Starts a crawl for project (registered under its name in the web-site registry).
std::shared_ptr<WorkerHandle> StartCrawlWorker(const SiteProject& project,
                                               std::size_t stackSize = kSiteStackCommand);

}  // namespace tvx
