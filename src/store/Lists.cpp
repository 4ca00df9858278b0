#include "store/Lists.h"

namespace tvx {

RecordList<FileRecord> RequestedFiles;
RecordList<SiteProject> RequestedSites;
RecordList<FileRecord> DownloadedFiles;
RecordList<SiteProject> DownloadedSites;
RecordList<SearchProject> SearchProjects;
RecordList<FileRecord> SearchResults;

std::atomic<int> ListKind{kListRequestedFiles};

}  // namespace tvx
