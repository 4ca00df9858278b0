#pragma once
// The download commands and the time-of-day schedule. They run on the
// user-interface thread (the main frame calls them) and act on the list that
// ListKind selects, reporting through the current Reporter.
#include <string>
#include <vector>

#include "commands/CommandIds.h"

namespace tvx {

// Rows are list-panel rows (0 = newest), in any order; they are walked from 0.
void DownloadSelected(const std::vector<int>& selectedRows);
void StopSelected(const std::vector<int>& selectedRows);
// The status of the files sent to the requested files from the search results.
inline constexpr const char* kSentFileStatus = "Ready for donwload";
// The first-column texts of the selected rows of the search results, in row
// order; nothing unless the search results are shown.
void SendToRequestedFiles(const std::vector<std::string>& selectedLinks);

// Delete All Lists empties the six lists and the panel. The window asks this
// first, with No preselected.
inline constexpr const char* kDeleteAllListsQuestion =
    "Are you sure you want to delete all the lists?";
void DeleteAllLists();

struct TimeOfDay {
  int hour = 0;
  int minute = 0;
};
// Local time of day, read once per tick.
TimeOfDay LocalTimeOfDay();
// One tick of the schedule (the frame's 60,000 ms timer).
void ScheduleTick(TimeOfDay now);

}  // namespace tvx
