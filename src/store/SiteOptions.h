#pragma once
// Options of web-site projects beyond their record: "Modern link search" and
// how many transfers it runs at once per host. They live in their own file,
// "picwebopts.data", beside the six list files (whose format they leave
// alone), one line per project that has options other than the defaults:
//   <modern 0/1> <transfers per host> <project name>
// A project without a line has the defaults, so every project made before
// the options existed crawls line by line as it always did. The file is
// loaded and saved with the lists, by their rules (store/ListFiles.h): saved
// when changed, in the background and at exit, replaced whole or not at all,
// removed when no project has options, and never written over when it could
// not be read.
#include <cstdint>
#include <string>
#include <string_view>

namespace tvx {

inline constexpr const char* kSiteOptionsFile = "picwebopts.data";
inline constexpr int kMinTransfersPerHost = 1;
inline constexpr int kMaxTransfersPerHost = 16;
inline constexpr int kDefaultTransfersPerHost = 4;

struct SiteOptions {
  bool modernLinks = false;
  int transfersPerHost = kDefaultTransfersPerHost;
  bool operator==(const SiteOptions&) const = default;
};

// The options of the project of that name (letter case ignored, as projects
// are found); the defaults when it has none.
SiteOptions OptionsOfSite(std::string_view name);
// Sets the options of the project of that name (transfers kept within
// kMinTransfersPerHost..kMaxTransfersPerHost). When formerName is given and
// names another project (it was renamed), that entry goes.
void SetOptionsOfSite(std::string_view name, const SiteOptions& options,
                      std::string_view formerName = {});
// A project was deleted: its entry goes, unless a project of that name is
// still in the requested or downloaded web sites.
void ForgetDeletedSite(std::string_view name);
// Every entry goes (all lists were deleted).
void ForgetAllSiteOptions();

// The file's side, used by the list files' loading and saving (ListFiles):
// reads the text of the file, adding its entries and clearing the changed
// state...
void ReadSiteOptions(std::string_view content);
// ...and gives the text to write, with the change count it shows.
std::string FormatSiteOptions(std::uint64_t& generation);
// Whether the options changed since they were read, and a count that moves
// with every change.
bool SiteOptionsModified();
std::uint64_t SiteOptionsGeneration();

// For tests: forgets every entry.
void ResetSiteOptionsForTest();

}  // namespace tvx
