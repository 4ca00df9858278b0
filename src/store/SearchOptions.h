#pragma once
// Which search engines of today a search project asks besides the two its
// record has flags for. The choice lives in its own file, "picsearchopts.data",
// beside the six list files (whose format it leaves alone), one line per
// project that asks any of them:
//   <Openverse 0/1> <Wikimedia Commons 0/1> <DuckDuckGo 0/1> <project name>
// A project without a line asks none of them, so a project made before they
// existed runs as it always did. The file is loaded and saved with the lists,
// by their rules (store/ListFiles.h).
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store/KeyedEntries.h"
#include "store/SideFile.h"

namespace tvx {

inline constexpr const char* kSearchOptionsFile = "picsearchopts.data";

struct TodayEngines {
  bool openverse = false;
  bool commons = false;
  bool duckDuckGo = false;
  bool Any() const { return openverse || commons || duckDuckGo; }
  bool operator==(const TodayEngines&) const = default;
};

// What a project made in the dialog asks until the user says otherwise.
inline constexpr TodayEngines kEveryTodayEngine{true, true, true};

// The choice of every project that asks any engine of today, found by project
// name (letter case ignored, as projects are found). Thread-safe.
class SearchOptionsTable final : public SideFile {
 public:
  // The engines of today the project of that name asks; none when it has no entry.
  TodayEngines Get(std::string_view name) const;
  // Sets them (none: the entry goes). When formerName is given and names
  // another project (it was renamed), that entry goes.
  void Set(std::string_view name, const TodayEngines& engines, std::string_view formerName = {});
  void Forget(std::string_view name);
  // Every entry goes (all lists were deleted).
  void ForgetAll();
  // Every entry goes and nothing counts as changed, as before loading.
  void Reset();

  const char* FileName() const override { return kSearchOptionsFile; }
  const char* Contents() const override { return "search engine choices"; }
  const char* ShortContents() const override { return "choices"; }
  const char* SaveError() const override { return "Error saving the search engine choices!"; }
  void Read(std::string_view content) override;
  bool Modified() const override;
  std::string Format(std::uint64_t& generation) const override;

 private:
  struct Entry {
    std::string name;
    TodayEngines engines;
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
