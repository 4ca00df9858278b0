#pragma once
// The six process-wide lists, the shown-list selector and the row-order rule.
#include <atomic>
#include <type_traits>

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

// Runs f on the list that kind (1 to 6) names and returns what f returns,
// which must be one type for all six; for any other kind f is not called and
// a value-initialised result comes back.
template <class F>
auto WithList(int kind, F&& f) {
  using Result = decltype(f(RequestedFiles));
  switch (kind) {
    case kListRequestedFiles:
      return f(RequestedFiles);
    case kListRequestedSites:
      return f(RequestedSites);
    case kListDownloadedFiles:
      return f(DownloadedFiles);
    case kListDownloadedSites:
      return f(DownloadedSites);
    case kListSearchProjects:
      return f(SearchProjects);
    case kListSearchResults:
      return f(SearchResults);
  }
  if constexpr (!std::is_void_v<Result>) return Result{};
}

// The list panel shows a list newest first: row r shows record count - 1 - r.
// The same formula turns a row back into an index.
inline int RowOfIndex(int count, int index) { return count - 1 - index; }
inline int IndexOfRow(int count, int row) { return count - 1 - row; }

}  // namespace tvx
