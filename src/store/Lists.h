#pragma once
// The six lists, the numbers that name them (1 to 6), and the row-order rule
// by which a window shows a list newest first.
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

struct Lists {
  RecordList<FileRecord> requestedFiles;
  RecordList<SiteProject> requestedSites;
  RecordList<FileRecord> downloadedFiles;
  RecordList<SiteProject> downloadedSites;
  RecordList<SearchProject> searchProjects;
  RecordList<FileRecord> searchResults;
};

// Runs f on the list of lists that kind (1 to 6) names and returns what f
// returns, which must be one type for all six; for any other kind f is not
// called and a value-initialised result comes back.
template <class L, class F>
requires std::is_same_v<std::remove_const_t<L>, Lists>
auto WithList(L& lists, int kind, F&& f) {
  using Result = decltype(f(lists.requestedFiles));
  switch (kind) {
    case kListRequestedFiles:
      return f(lists.requestedFiles);
    case kListRequestedSites:
      return f(lists.requestedSites);
    case kListDownloadedFiles:
      return f(lists.downloadedFiles);
    case kListDownloadedSites:
      return f(lists.downloadedSites);
    case kListSearchProjects:
      return f(lists.searchProjects);
    case kListSearchResults:
      return f(lists.searchResults);
  }
  if constexpr (!std::is_void_v<Result>) return Result{};
}

// A window shows a list newest first: row r shows record count - 1 - r.
// The same formula turns a row back into an index.
inline int RowOfIndex(int count, int index) { return count - 1 - index; }
inline int IndexOfRow(int count, int row) { return count - 1 - row; }

}  // namespace tvx
