#pragma once
// What the modern crawl of each web-site project saved, so that running the
// project again fetches only what is new: for every picture URL the path its
// picture is kept at, its size, the validators the server gave (ETag,
// Last-Modified) and the SHA-256 of its bytes. It lives in its own file,
// "picarchive.data", beside the lists (never inside Pictures), and is loaded
// and saved with them by their rules (store/ListFiles.h): a crash leaves the
// old file or the new one whole. A project's lines follow it when it is
// renamed and go when it is deleted, as its options do.
//
//   <project name>
//   \t<state> <size> <sha256> <url>\t<path>\t<etag>\t<last-modified>
//
// state: "saved" (the picture is at path), "copy" (its bytes are those of
// the picture saved at path from another URL, so it was not kept a second
// time), "deleted" (the user deleted the picture: it is not fetched again
// unless the project asks for deleted pictures).
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "store/SideFile.h"

namespace tvx {

inline constexpr const char* kArchiveFile = "picarchive.data";

enum class ArchiveState { Saved, Copy, Deleted };

struct ArchiveEntry {
  std::string url;
  std::string path;  // as shown: "Pictures\proj\a\b.jpg"
  std::uint64_t size = 0;
  std::string etag;
  std::string lastModified;
  std::string sha256;  // 64 hex digits
  ArchiveState state = ArchiveState::Saved;
  bool operator==(const ArchiveEntry&) const = default;
};

// Thread-safe. Projects are found by name, letter case ignored.
class PictureArchive final : public SideFile {
 public:
  std::optional<ArchiveEntry> Find(std::string_view project, std::string_view url) const;
  // Keeps the entry of its URL (replacing one kept before).
  void Record(std::string_view project, ArchiveEntry entry);
  // A saved picture whose bytes are `sha256`, other than the project's own
  // picture of url: of the project, or of any project when anyProject;
  // nullopt when none.
  std::optional<ArchiveEntry> FindContent(std::string_view project, std::string_view url,
                                          std::string_view sha256, bool anyProject) const;
  // The user deleted the picture at shownPath (as the tree and the lists show
  // paths, "Pictures\proj\a.jpg"; a path below Pictures with '/' between its
  // parts, "proj/a.jpg", is taken too): every entry of the project kept there
  // is marked deleted, so a later run does not fetch it again. False when no
  // entry was kept there.
  bool MarkDeletedByUser(std::string_view project, std::string_view shownPath);
  // The entries of a renamed project follow it (joining those kept under
  // the new name, if any).
  void Rename(std::string_view from, std::string_view to);
  void Forget(std::string_view project);
  void ForgetAll();
  // Every entry goes and nothing counts as changed, as before loading.
  void Reset();
  std::size_t EntriesOf(std::string_view project) const;

  const char* FileName() const override { return kArchiveFile; }
  const char* Contents() const override { return "archive of saved pictures"; }
  const char* ShortContents() const override { return "archive"; }
  const char* SaveError() const override { return "Error saving the archive of saved pictures!"; }
  void Read(std::string_view content) override;
  bool Modified() const override;
  std::string Format(std::uint64_t& generation) const override;

 private:
  struct Project {
    std::string name;
    std::unordered_map<std::string, ArchiveEntry> byUrl;
    // A URL whose picture is saved with these bytes, by SHA-256.
    std::unordered_map<std::string, std::string> byContent;
  };
  // Under mutex_.
  Project* Find(std::string_view name);
  const Project* Find(std::string_view name) const;
  Project& Make(std::string_view name);
  static void Put(Project& project, ArchiveEntry entry);
  static const ArchiveEntry* Content(const Project& project, std::string_view sha256);
  void Changed();

  mutable std::mutex mutex_;
  std::unordered_map<std::string, Project> projects_;  // by lower-case name
  bool modified_ = false;
  std::uint64_t generation_ = 0;
};

}  // namespace tvx
