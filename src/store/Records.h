#pragma once
// The three fixed-size record types. Text fields hold NUL-terminated texts
// cut to their capacity less one; use SetText() to store into them.
#include <string_view>

#include "store/Text.h"

namespace tvx {

inline constexpr const char* kReadyForDownload = "Ready for download";

struct FileRecord {
  char url[255];
  char status[257];
};

struct SiteProject {
  char name[80];
  char startUrl[256];
  int downloadAllFiles;
  int typeCdr;
  int typeGif;
  int typeJpg;
  int typeBmp;
  int typePng;
  int typeTga;
  int typeTif;
  char otherTypes[100];
  int runWhenRequested;
  int stopWhenRequested;
  int startMinute;
  int startHour;
  int stopMinute;
  int stopHour;
  int maxDomainCount;
  int reserved;
  int exitDomain;
  char userName[20];
  char password[20];
  char status[32];
};

struct SearchProject {
  char name[80];
  char searchText[256];
  int useAltaVista;
  int useHotBot;
  int useYahoo;
  int useNorthernLight;
  int useWebCrawler;
  int useMsn;
  int useGo2Net;
  int runWhenRequested;
  int stopWhenRequested;
  int startMinute;
  int startHour;
  int stopMinute;
  int stopHour;
  char status[32];
};

// The text that identifies a record: a file's url, a project's name.
inline std::string_view KeyOf(const FileRecord& r) { return TextOf(r.url); }
inline std::string_view KeyOf(const SiteProject& r) { return TextOf(r.name); }
inline std::string_view KeyOf(const SearchProject& r) { return TextOf(r.name); }

inline FileRecord MakeFileRecord(std::string_view url,
                                 std::string_view status = kReadyForDownload) {
  FileRecord r{};
  SetText(r.url, url);
  SetText(r.status, status);
  return r;
}

}  // namespace tvx
