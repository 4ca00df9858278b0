#include "crawler/classic/UrlSet.h"

#include <cstring>
#include <stdexcept>

#include "store/Text.h"

namespace tvx {
namespace {

// FNV-1a over the case-folded bytes, then mixed so the low bits that pick a
// slot depend on every byte.
std::uint64_t FoldedHash(std::string_view text) {
  std::uint64_t h = 14695981039346656037ull;
  for (char c : text) {
    h ^= static_cast<unsigned char>(AsciiLower(c));
    h *= 1099511628211ull;
  }
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  return h;
}

constexpr std::uint64_t kRefMask(int bits) { return (std::uint64_t{1} << bits) - 1; }

}  // namespace

std::string_view UrlSet::Text(Ref ref) const {
  const char* at = blocks_[ref / kBlockBytes].get() + ref % kBlockBytes;
  std::uint16_t size;
  std::memcpy(&size, at, sizeof size);
  return std::string_view(at + sizeof size, size);
}

UrlSet::Ref UrlSet::Keep(std::string_view text) {
  text = text.substr(0, kMaxKept);
  const std::size_t need = sizeof(std::uint16_t) + text.size();
  if (kBlockBytes - usedInLast_ < need) {
    // A text never straddles two blocks; the tail of the last one stays unused.
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockBytes));
    usedInLast_ = 0;
  }
  const Ref ref = (blocks_.size() - 1) * kBlockBytes + usedInLast_;
  if (ref + 1 > kRefMask(kRefBits)) throw std::length_error("too many URLs");
  char* at = blocks_.back().get() + usedInLast_;
  const auto size = static_cast<std::uint16_t>(text.size());
  std::memcpy(at, &size, sizeof size);
  std::memcpy(at + sizeof size, text.data(), text.size());
  usedInLast_ += need;
  return ref;
}

UrlSet::Ref UrlSet::Add(std::string_view url) {
  url = url.substr(0, kMaxCrawlUrl);
  const Ref ref = Keep(url);
  // At most half full, so a probe meets an empty slot soon.
  if (2 * (static_cast<std::size_t>(count_) + 1) > slots_.size()) Grow();
  Insert(FoldedHash(url), ref);
  ++count_;
  return ref;
}

bool UrlSet::Contains(std::string_view url) const {
  if (slots_.empty() || url.size() > kMaxCrawlUrl) return false;
  const std::uint64_t hash = FoldedHash(url);
  const std::uint64_t tag = hash >> kRefBits;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const std::uint64_t slot = slots_[i];
    if (slot == 0) return false;
    if ((slot >> kRefBits) == tag && EqualsIgnoreCase(Text((slot & kRefMask(kRefBits)) - 1), url)) {
      return true;
    }
  }
}

void UrlSet::Insert(std::uint64_t hash, Ref ref) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = hash & mask;
  while (slots_[i] != 0) i = (i + 1) & mask;
  slots_[i] = ((hash >> kRefBits) << kRefBits) | (ref + 1);
}

void UrlSet::Grow() {
  std::vector<std::uint64_t> old = std::move(slots_);
  slots_.assign(old.empty() ? 64 : old.size() * 2, 0);
  for (std::uint64_t slot : old) {
    if (slot == 0) continue;
    const Ref ref = (slot & kRefMask(kRefBits)) - 1;
    Insert(FoldedHash(Text(ref)), ref);
  }
}

std::size_t UrlSet::HeldBytes() const {
  return blocks_.size() * kBlockBytes + slots_.capacity() * sizeof(std::uint64_t);
}

std::string UrlStack::Pop() {
  if (refs_.empty()) return {};
  std::string top(texts_.Text(refs_.back()));
  refs_.pop_back();
  return top;
}

}  // namespace tvx
