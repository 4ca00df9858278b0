#include "ui/views/ListRows.h"

#include "store/Lists.h"

namespace tvx::ui {
namespace {

template <class T>
std::vector<ListRow> RowsOf(const RecordList<T>& list) {
  std::vector<ListRow> rows;
  for (const T& r : list.Snapshot()) {
    const std::string_view key = KeyOf(r);
    const std::string_view status = TextOf(r.status);
    rows.push_back({QString::fromUtf8(key.data(), qsizetype(key.size())),
                    QString::fromUtf8(status.data(), qsizetype(status.size()))});
  }
  return rows;
}

}  // namespace

std::vector<ListRow> RecordsOfList(int kind) {
  switch (kind) {
    case kListRequestedFiles:
      return RowsOf(RequestedFiles);
    case kListRequestedSites:
      return RowsOf(RequestedSites);
    case kListDownloadedFiles:
      return RowsOf(DownloadedFiles);
    case kListDownloadedSites:
      return RowsOf(DownloadedSites);
    case kListSearchProjects:
      return RowsOf(SearchProjects);
    case kListSearchResults:
      return RowsOf(SearchResults);
  }
  return {};
}

int CountOfList(int kind) {
  switch (kind) {
    case kListRequestedFiles:
      return RequestedFiles.GetCount();
    case kListRequestedSites:
      return RequestedSites.GetCount();
    case kListDownloadedFiles:
      return DownloadedFiles.GetCount();
    case kListDownloadedSites:
      return DownloadedSites.GetCount();
    case kListSearchProjects:
      return SearchProjects.GetCount();
    case kListSearchResults:
      return SearchResults.GetCount();
  }
  return 0;
}

}  // namespace tvx::ui
