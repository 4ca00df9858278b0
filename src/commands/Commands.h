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
// The first-column texts of the selected rows of the search results, in row order.
void SendToRequestedFiles(const std::vector<std::string>& selectedLinks);
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
