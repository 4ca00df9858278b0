#pragma once
// Who made each picture a search found, and under which licence it may be
// used. The credits live in their own file, "piccredits.data", beside the six
// list files (whose format they leave alone), one line per picture:
//   <picture URL> TAB <title> TAB <creator> TAB <licence> TAB <landing page>
// A field never holds a tab or a line break (they are stored as blanks). The
// file keeps the credits of the pictures that are still in the search results
// or the requested files; once a picture is saved its credit is in
// Pictures/CREDITS.txt. It is loaded and saved with the lists, by their rules
// (store/ListFiles.h).
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store/KeyedEntries.h"
#include "store/Lists.h"
#include "store/SideFile.h"

namespace tvx {

inline constexpr const char* kPictureCreditsFile = "piccredits.data";
// A longer field is cut (at a character's start) to this many bytes.
inline constexpr std::size_t kMaxCreditField = 1024;

struct PictureCredit {
  std::string title;
  std::string creator;
  std::string licence;      // "CC BY-SA 4.0"
  std::string landingPage;  // the page that shows the picture
  bool operator==(const PictureCredit&) const = default;
};

// A field as it is kept: white space and control characters become single
// blanks, none at either end, and no more than kMaxCreditField bytes.
std::string CreditField(std::string_view text);

// "<title> by <creator>, <licence>, <landing page>", leaving out what is not
// known.
std::string CreditText(const PictureCredit& credit);
// The line Pictures/CREDITS.txt gets for the picture saved as fileName:
// "<file> — <title> by <creator>, <licence>, <landing page>".
std::string CreditLine(std::string_view fileName, const PictureCredit& credit);

// The credits by picture URL (compared exactly). Thread-safe.
class PictureCredits final : public SideFile {
 public:
  // lists: the file keeps the credits of the pictures still in their search
  // results or requested files.
  explicit PictureCredits(const Lists& lists) : lists_(lists) {}

  std::optional<PictureCredit> Get(std::string_view url) const;
  // Keeps the credit of the picture at url, its fields as CreditField makes them.
  void Set(std::string_view url, const PictureCredit& credit);
  // Every credit goes (all lists were deleted).
  void ForgetAll();
  // Every credit goes and nothing counts as changed, as before loading.
  void Reset();

  const char* FileName() const override { return kPictureCreditsFile; }
  const char* Contents() const override { return "picture credits"; }
  const char* ShortContents() const override { return "credits"; }
  const char* SaveError() const override { return "Error saving the picture credits!"; }
  void Read(std::string_view content) override;
  bool Modified() const override;
  std::string Format(std::uint64_t& generation) const override;

 private:
  struct Entry {
    std::string url;
    PictureCredit credit;
  };
  const Lists& lists_;
  mutable std::mutex mutex_;
  KeyedEntries<Entry, &Entry::url, false> entries_;
  bool modified_ = false;
  std::uint64_t generation_ = 0;
};

}  // namespace tvx
