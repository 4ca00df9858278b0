#pragma once
// The download commands and the time-of-day schedule. They run on the
// user-interface thread and act on the items they are given, reporting
// through the engine's Reporter.
#include <string>
#include <vector>

#include "commands/CommandIds.h"
#include "workers/EngineState.h"

namespace tvx {

// Download and Stop on items of one requested list (files, web sites or
// search projects; any other list does nothing), given in the order the
// window shows them (top row first).
void DownloadItems(EngineState& engine, int list, const std::vector<ItemId>& items);
void StopItems(EngineState& engine, int list, const std::vector<ItemId>& items);

// The status of the files sent to the requested files from the search results.
inline constexpr const char* kSentFileStatus = "Ready for donwload";
// Send To > Requested Files List with the links of the chosen search results
// in the order the window shows them.
void SendToRequestedFiles(EngineState& engine, const std::vector<std::string>& selectedLinks);

// Delete All Lists empties the six lists and tells the window. The window
// asks this first, with No preselected.
inline constexpr const char* kDeleteAllListsQuestion =
    "Are you sure you want to delete all the lists?";
void DeleteAllLists(EngineState& engine);

struct TimeOfDay {
  int hour = 0;
  int minute = 0;
};
// Local time of day, read once per tick.
TimeOfDay LocalTimeOfDay();
// One tick of the schedule (the frame's 60,000 ms timer).
void ScheduleTick(EngineState& engine, TimeOfDay now);

}  // namespace tvx
