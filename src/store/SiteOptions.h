#pragma once
// Options of web-site projects beyond their record: "Modern link search",
// how many transfers it runs at once per host, and the settings of a modern
// crawl. They live in their own file, "picwebopts.data", beside the six list
// files (whose format they leave alone), one line per project that has
// options other than the defaults:
//   <modern 0/1> <transfers per host> <project name>
// followed by a line for each further setting that differs from its default,
// a tab in front:
//   \t<key> <value>
// (a reader that knows no such lines passes over them, since they do not
// start with a number). A project without a line has the defaults, so every
// project made before the options existed crawls line by line as it always
// did. The file is
// loaded and saved with the lists, by their rules (store/ListFiles.h): saved
// when changed, in the background and at exit, replaced whole or not at all,
// removed when no project has options, and never written over when it could
// not be read.
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store/KeyedEntries.h"
#include "store/SideFile.h"

namespace tvx {

inline constexpr const char* kSiteOptionsFile = "picwebopts.data";
inline constexpr int kMinTransfersPerHost = 1;
inline constexpr int kMaxTransfersPerHost = 16;
// The most transfers at once per host of a new project; each host starts
// with fewer and gets more while it keeps up (crawler/modern/TransferRamp.h).
inline constexpr int kDefaultTransfersPerHost = 8;
// The most of a project without a line in the file: the number such a
// project had when it was saved, which it keeps.
inline constexpr int kUnlistedTransfersPerHost = 4;

struct SiteOptions {
  SiteOptions() = default;
  SiteOptions(bool modern, int transfers) : modernLinks(modern), transfersPerHost(transfers) {}

  bool modernLinks = false;
  int transfersPerHost = kUnlistedTransfersPerHost;
  // The further settings, with their keys in the file.
  std::string cookieFile;             // cookies: a cookies.txt or cookies.sqlite to send from
  bool obeyRobots = true;             // robots: 0 when robots.txt is not obeyed
  int waitSeconds = 0;                // wait: seconds between two requests to a host
  int minWidth = 0;                   // min-size: the smallest picture, <width>x<height>
  int minHeight = 0;                  //   (0x0: any)
  int minKb = 0;                      // min-kb: the smallest file in KB (0: any)
  int maxKb = 0;                      // max-kb: the largest file in KB (0: any)
  bool refetchDeleted = false;        // refetch-deleted: 1 fetches deleted pictures again
  bool copiesAcrossProjects = false;  // copies-across-projects: 1 checks every project
  bool operator==(const SiteOptions&) const = default;
};

// The options a project made by Add Web Site or Send To starts with: a site
// of today is crawled the modern way unless the user unticks it. (A project
// without an entry in the file keeps the defaults above.)
inline SiteOptions NewSiteOptions() { return SiteOptions{true, kDefaultTransfersPerHost}; }

// The further settings as the file keeps them ("\t<key> <value>" lines), and
// one such line read back into options (false: not one of ours).
std::string FormatFurtherSettings(const SiteOptions& options);
bool ReadFurtherSetting(std::string_view line, SiteOptions& options);

// The options of every project that has any, found by project name (letter
// case ignored, as projects are found). Thread-safe.
class SiteOptionsTable final : public SideFile {
 public:
  // The options of the project of that name; the defaults when it has none.
  SiteOptions Get(std::string_view name) const;
  // Sets the options of the project of that name (transfers kept within
  // kMinTransfersPerHost..kMaxTransfersPerHost). When formerName is given and
  // names another project (it was renamed), that entry goes.
  void Set(std::string_view name, const SiteOptions& options, std::string_view formerName = {});
  // The entry of that name goes.
  void Forget(std::string_view name);
  // Every entry goes (all lists were deleted).
  void ForgetAll();
  // Every entry goes and nothing counts as changed, as before loading.
  void Reset();
  std::uint64_t Generation() const;

  const char* FileName() const override { return kSiteOptionsFile; }
  const char* Contents() const override { return "web site options"; }
  const char* ShortContents() const override { return "options"; }
  const char* SaveError() const override { return "Error saving the web site options!"; }
  void Read(std::string_view content) override;
  bool Modified() const override;
  std::string Format(std::uint64_t& generation) const override;

 private:
  struct Entry {
    std::string name;
    SiteOptions options;
  };
  // Under mutex_.
  void Remove(std::string_view name);
  void Changed();

  mutable std::mutex mutex_;
  KeyedEntries<Entry, &Entry::name, true> entries_;
  bool modified_ = false;
  std::uint64_t generation_ = 0;
};

}  // namespace tvx
