#pragma once
// What both ways of crawling share about a run: how it ends, and the texts it
// shows on the way.
#include <cstdint>
#include <optional>
#include <string>

#include "workers/Reporting.h"

namespace tvx {

// What a crawl ends with: the stack ran empty (with or without errors), or
// the project's stop flag was seen.
inline constexpr int kCrawlDone = 0;
inline constexpr int kCrawlStopped = 4;

// "1.50k read": a byte count in kilobytes with two decimals.
std::string KilobytesRead(std::uint64_t bytes);

// The note for a file that is not saved because its name is a program's
// (IsProgramName): shownPath as the user sees it.
std::string ProgramNameText(const std::string& shownPath);

// The ends of a crawl run; on the user-interface side, with the project's row
// as it is now (nullopt when the project was deleted while it ran: nothing
// of it is touched then).
// Stopped: the project stays requested with "Stopped".
void ShowCrawlStopped(Reporter& ui, std::optional<int> row);
// Done: without errors the project moves to the downloaded web sites; with
// errors it stays requested, "Some errors occurred", and errorStatus shows
// in Status when current.
void EndCrawlRun(Reporter& ui, const std::string& name, std::optional<int> row, bool errors,
                 const std::string& errorStatus = "Some errors occurred");

}  // namespace tvx
