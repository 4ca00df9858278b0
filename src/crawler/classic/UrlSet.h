#pragma once
// The URLs a crawl has met and the URLs still waiting, kept small: a site of
// a million links must not cost a record per link. Each text is stored once,
// in blocks that never move; the set is an open-addressing table of where
// the texts lie, and the stack holds the same places.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/Records.h"

namespace tvx {

// The longest URL a crawl queues: what a FileRecord's url holds. A longer one
// would be cut into the text of some other URL.
inline constexpr std::size_t kMaxCrawlUrl = sizeof(FileRecord{}.url) - 1;

// URLs met by a crawl, in the order met. Look-ups compare whole texts,
// ignoring ASCII case, and cost the same on a site of a million URLs as on
// one of ten.
class UrlSet {
 public:
  // Where a stored text lies.
  using Ref = std::uint64_t;

  UrlSet() = default;
  UrlSet(const UrlSet&) = delete;
  UrlSet& operator=(const UrlSet&) = delete;

  // Whole text, ignoring ASCII case.
  bool Contains(std::string_view url) const;
  // Adds url, cut to kMaxCrawlUrl as a FileRecord would hold it (the caller
  // looks first: a text added twice is held twice).
  Ref Add(std::string_view url);
  // Stores a text without making it a member (at most kMaxKept characters).
  Ref Keep(std::string_view text);
  std::string_view Text(Ref ref) const;
  int Count() const { return count_; }
  // Bytes held for texts and table.
  std::size_t HeldBytes() const;

  static constexpr std::size_t kMaxKept = 0xFFFF;

 private:
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
  static constexpr int kRefBits = 40;  // the rest of a slot is a piece of the hash

  void Insert(std::uint64_t hash, Ref ref);
  void Grow();

  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t usedInLast_ = kBlockBytes;  // bytes used in the last block
  // 0: empty; else the hash's top bits above kRefBits, and ref + 1 below.
  std::vector<std::uint64_t> slots_;
  int count_ = 0;
};

// URLs waiting to be fetched, last in first out, so the crawl goes depth
// first. It holds places in a UrlSet, which must outlive it.
class UrlStack {
 public:
  explicit UrlStack(const UrlSet& texts) : texts_(texts) {}
  void Push(UrlSet::Ref ref) { refs_.push_back(ref); }
  // The top URL, removed; an empty text when the stack is empty.
  std::string Pop();
  bool Empty() const { return refs_.empty(); }
  std::size_t Size() const { return refs_.size(); }
  void Clear() { refs_.clear(); }
  std::size_t HeldBytes() const { return refs_.capacity() * sizeof(UrlSet::Ref); }

 private:
  const UrlSet& texts_;
  std::vector<UrlSet::Ref> refs_;
};

}  // namespace tvx
