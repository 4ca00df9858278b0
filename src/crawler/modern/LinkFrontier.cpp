#include "crawler/modern/LinkFrontier.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "crawler/modern/ModernUrl.h"

namespace tvx {
namespace {

constexpr std::size_t kEntryHead = 3;  // length (2 bytes), flags (1 byte)
constexpr std::size_t kFirstTable = 1024;
// A host's entry in the index beside its name (node, bucket), roughly.
constexpr std::size_t kHostIndexEntry = 64;

std::uint32_t HashOf(std::string_view key) {
  const std::uint64_t h = std::hash<std::string_view>{}(key);
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

}  // namespace

LinkFrontier::LinkFrontier(std::size_t maxLinks, std::size_t maxBytes)
    : maxLinks_(maxLinks), maxBytes_(maxBytes) {}

std::string_view LinkFrontier::TextAt(Ref ref) const {
  const char* entry = blocks_[ref / kBlock].get() + ref % kBlock;
  const std::size_t length = static_cast<unsigned char>(entry[0]) |
                             (static_cast<std::size_t>(static_cast<unsigned char>(entry[1])) << 8);
  return {entry + kEntryHead, length};
}

LinkFrontier::Flags LinkFrontier::FlagsAt(Ref ref) const {
  return static_cast<Flags>(blocks_[ref / kBlock].get()[ref % kBlock + 2]);
}

std::optional<LinkFrontier::Ref> LinkFrontier::Store(std::string_view url, Flags flags) {
  const std::size_t size = kEntryHead + url.size();
  if (used_ + size > kBlock) {
    if ((blocks_.size() + 1) * kBlock >= kNoRef) return std::nullopt;
    blocks_.push_back(std::make_unique<char[]>(kBlock));
    used_ = 0;
  }
  const Ref ref = static_cast<Ref>((blocks_.size() - 1) * kBlock + used_);
  char* entry = blocks_.back().get() + used_;
  entry[0] = static_cast<char>(url.size() & 0xFF);
  entry[1] = static_cast<char>(url.size() >> 8);
  entry[2] = static_cast<char>(flags);
  std::memcpy(entry + kEntryHead, url.data(), url.size());
  used_ += size;
  return ref;
}

std::size_t LinkFrontier::Find(std::string_view key, std::uint32_t hash) const {
  const std::size_t mask = table_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const std::uint64_t slot = table_[i];
    if (slot == 0) return i;
    if (static_cast<std::uint32_t>(slot >> 32) == hash &&
        VisitKey(TextAt(static_cast<Ref>((slot & 0xFFFFFFFF) - 1))) == key)
      return i;
  }
}

void LinkFrontier::Grow() {
  std::vector<std::uint64_t> old = std::move(table_);
  table_.assign(old.empty() ? kFirstTable : old.size() * 2, 0);
  const std::size_t mask = table_.size() - 1;
  for (std::uint64_t slot : old) {
    if (slot == 0) continue;
    std::size_t i = static_cast<std::uint32_t>(slot >> 32) & mask;
    while (table_[i] != 0) i = (i + 1) & mask;
    table_[i] = slot;
  }
}

bool LinkFrontier::Contains(std::string_view url) const {
  if (table_.empty()) return false;
  const std::string_view key = VisitKey(url);
  return table_[Find(key, HashOf(key))] != 0;
}

int LinkFrontier::HostIndex(std::string_view host) {
  auto [it, added] = hostIndex_.try_emplace(std::string(host), static_cast<int>(hosts_.size()));
  if (added) {
    hosts_.push_back(Host{std::string(host), {}, 0});
    hostBytes_ += hosts_.back().name.capacity() + kHostIndexEntry + host.size();
  }
  return it->second;
}

bool LinkFrontier::Fits(std::string_view url, std::string_view host, bool meeting) {
  if (full_) return false;
  if (meeting && met_ >= maxLinks_) {
    full_ = true;
    return false;
  }
  // What adding it takes beyond what is held, at the peak: a table that
  // doubles is held twice while it moves, a list that grows likewise.
  std::size_t more = 0;
  if (meeting && (met_ + 1) * 10 > table_.size() * 7)
    more += (table_.empty() ? kFirstTable : table_.size() * 2) * sizeof(std::uint64_t);
  if (used_ + kEntryHead + url.size() > kBlock) more += kBlock;
  auto known = hostIndex_.find(std::string(host));
  if (known == hostIndex_.end()) {
    more += kHostIndexEntry + 2 * host.size() + sizeof(Ref);
    if (hosts_.size() == hosts_.capacity())
      more += std::max<std::size_t>(1, 2 * hosts_.capacity()) * sizeof(Host);
  } else {
    const std::vector<Ref>& waiting = hosts_[static_cast<std::size_t>(known->second)].waiting;
    if (waiting.size() == waiting.capacity())
      more += std::max<std::size_t>(1, 2 * waiting.capacity()) * sizeof(Ref);
  }
  if (MemoryBytes() + more > maxBytes_) {
    full_ = true;
    return false;
  }
  return true;
}

void LinkFrontier::Queue(std::string_view host, Ref ref) {
  std::vector<Ref>& waiting = hosts_[static_cast<std::size_t>(HostIndex(host))].waiting;
  const std::size_t before = waiting.capacity();
  waiting.push_back(ref);
  hostBytes_ += (waiting.capacity() - before) * sizeof(Ref);
  ++waiting_;
}

bool LinkFrontier::Add(std::string_view url, std::string_view host, Flags flags) {
  if (url.size() > kMaxUrl) return false;
  const std::string_view key = VisitKey(url);
  const std::uint32_t hash = HashOf(key);
  std::size_t slot = table_.empty() ? 0 : Find(key, hash);
  if (!table_.empty() && table_[slot] != 0) return false;
  if (!Fits(url, host, /*meeting=*/true)) return false;
  // Grown at seven tenths full, so probes stay short.
  if ((met_ + 1) * 10 > table_.size() * 7) {
    Grow();
    slot = Find(key, hash);
  }
  const std::optional<Ref> ref = Store(url, flags);
  if (!ref) return false;
  table_[slot] = (static_cast<std::uint64_t>(hash) << 32) | (static_cast<std::uint64_t>(*ref) + 1);
  ++met_;
  Queue(host, *ref);
  return true;
}

void LinkFrontier::Requeue(std::string_view url, std::string_view host, Flags flags) {
  if (url.size() > kMaxUrl || !Fits(url, host, /*meeting=*/false)) return;
  const std::optional<Ref> ref = Store(url, flags);
  if (!ref) return;
  Queue(host, *ref);
}

bool LinkFrontier::Charge(std::size_t bytes) {
  if (full_ || MemoryBytes() + bytes > maxBytes_) {
    full_ = true;
    return false;
  }
  charged_ += bytes;
  return true;
}

std::optional<LinkFrontier::Taken> LinkFrontier::TakeNext(
    int perHost, const std::function<bool(std::string_view url)>& startable) {
  return TakeNext([perHost](std::string_view) { return perHost; }, startable);
}

std::optional<LinkFrontier::Taken> LinkFrontier::TakeNext(
    const std::function<int(std::string_view host)>& perHost,
    const std::function<bool(std::string_view url)>& startable) {
  if (waiting_ == 0) return std::nullopt;
  for (std::size_t n = 0; n < hosts_.size(); ++n) {
    const std::size_t index = (turn_ + n) % hosts_.size();
    Host& host = hosts_[index];
    if (host.waiting.empty() || host.out >= perHost(host.name)) continue;
    // The last link in, or one of the few below it when startable refuses
    // that one (a picture while pages wait for memory to read them).
    const std::size_t count = host.waiting.size();
    std::size_t tried = 0;
    if (startable) {
      const std::size_t tries = std::min(count, kLookBelow + 1);
      while (tried < tries && !startable(TextAt(host.waiting[count - 1 - tried]))) ++tried;
      if (tried == tries) continue;
    }
    const std::size_t pick = count - 1 - tried;
    const Ref ref = host.waiting[pick];
    host.waiting.erase(host.waiting.begin() + static_cast<std::ptrdiff_t>(pick));
    if (host.waiting.empty()) {
      hostBytes_ -= host.waiting.capacity() * sizeof(Ref);
      host.waiting.shrink_to_fit();
    }
    ++host.out;
    --waiting_;
    turn_ = index + 1;
    return Taken{std::string(TextAt(ref)), FlagsAt(ref), static_cast<int>(index)};
  }
  return std::nullopt;
}

void LinkFrontier::Done(int host) {
  if (host >= 0 && static_cast<std::size_t>(host) < hosts_.size() &&
      hosts_[static_cast<std::size_t>(host)].out > 0)
    --hosts_[static_cast<std::size_t>(host)].out;
}

std::size_t LinkFrontier::MemoryBytes() const {
  return blocks_.size() * kBlock + table_.capacity() * sizeof(std::uint64_t) +
         hosts_.capacity() * sizeof(Host) + hostBytes_ + charged_;
}

}  // namespace tvx
