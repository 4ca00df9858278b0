#pragma once
// What both ways of crawling share about a run: how it ends, and the texts it
// shows on the way.
#include <cstdint>
#include <string>

#include "workers/EngineState.h"

namespace tvx {

// What a crawl ends with: the stack ran empty (with or without errors), or
// the project was asked to end.
inline constexpr int kCrawlDone = 0;
inline constexpr int kCrawlStopped = 4;

// "1.50k read": a byte count in kilobytes with two decimals.
std::string KilobytesRead(std::uint64_t bytes);

// The ends of a crawl run, on the user-interface side. Nothing of a project
// that was deleted while it ran is touched.
// Stopped: the project stays requested with "Stopped".
void ShowCrawlStopped(EngineState& engine, ItemRef project);
// Done: without errors the project moves to the downloaded web sites (with
// its id); with errors it stays requested, "Some errors occurred", and
// errorStatus shows in Status while the view follows it.
void EndCrawlRun(EngineState& engine, ItemRef project, const std::string& name, bool errors,
                 const std::string& errorStatus = "Some errors occurred");

}  // namespace tvx
