#pragma once
// The six process-wide lists, the shown-list selector and the row-order rule.
#include <atomic>

#include "store/RecordList.h"

namespace tvx {

enum ListKindValue : int {
  kListRequestedFiles = 1,
  kListRequestedSites = 2,
  kListDownloadedFiles = 3,
  kListDownloadedSites = 4,
  kListSearchProjects = 5,
  kListSearchResults = 6,
};

extern RecordList<FileRecord> RequestedFiles;
extern RecordList<SiteProject> RequestedSites;
extern RecordList<FileRecord> DownloadedFiles;
extern RecordList<SiteProject> DownloadedSites;
extern RecordList<SearchProject> SearchProjects;
extern RecordList<FileRecord> SearchResults;

// Which list the list panel shows, 1 to 6.
extern std::atomic<int> ListKind;

// The list panel shows a list newest first: row r shows record count - 1 - r.
// The same formula turns a row back into an index.
inline int RowOfIndex(int count, int index) { return count - 1 - index; }
inline int IndexOfRow(int count, int row) { return count - 1 - row; }

}  // namespace tvx
