#pragma once
// The links a modern crawl has met, kept small: each URL's text is stored
// once, in large blocks; the set of met URLs is an open-addressed table of
// references into the blocks (URLs compared without their scheme); and the
// links waiting to be fetched are references in one stack per host, taken
// last in first out, so each host's part of the crawl goes depth first.
// A crawl of a million links holds well under 150 bytes a link. The memory
// it may take, and the links it may keep, are bounded: past the bound no
// link is added, and the frontier says it is full.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tvx {

class LinkFrontier {
 public:
  // What a crawl keeps with a link besides its text.
  using Flags = std::uint8_t;

  struct Taken {
    std::string url;
    Flags flags = 0;
    int host = 0;  // give back with Done
  };

  static constexpr std::size_t kNoBound = std::numeric_limits<std::size_t>::max();

  // maxLinks: the most links met; maxBytes: the most memory held, counted
  // before it is taken (a table that doubles counts old and new).
  explicit LinkFrontier(std::size_t maxLinks = kNoBound, std::size_t maxBytes = kNoBound);

  // Whether a URL with the same text after its scheme was met already.
  bool Contains(std::string_view url) const;
  // Remembers url as met and queues it under host. false (nothing queued)
  // when it was met already, when it is longer than kMaxUrl, or when it
  // would pass the bounds (the frontier is then full).
  bool Add(std::string_view url, std::string_view host, Flags flags);
  // Queues url again under host, met or not (a URL that moved to another
  // scheme of the same address); nothing when it would pass the bounds.
  void Requeue(std::string_view url, std::string_view host, Flags flags);
  // Counts memory the crawl holds beside the links against the same bound;
  // false (nothing counted, the frontier full) when it would pass it.
  bool Charge(std::size_t bytes);
  // A link or memory was refused for the bounds.
  bool Full() const { return full_; }

  // The next waiting link of a host that has fewer than perHost links out
  // (hosts take turns), now counted as out; nullopt when there is none. When
  // `startable` refuses a host's next link, one of the kLookBelow links
  // below it may go first; with none of them startable the host waits for a
  // later turn.
  std::optional<Taken> TakeNext(int perHost,
                                const std::function<bool(std::string_view url)>& startable = {});
  // The same with a limit of each host's own (perHost is asked with the
  // host's name).
  std::optional<Taken> TakeNext(const std::function<int(std::string_view host)>& perHost,
                                const std::function<bool(std::string_view url)>& startable = {});
  // A link taken from host is done.
  void Done(int host);

  std::size_t Waiting() const { return waiting_; }
  std::size_t Met() const { return met_; }
  // The memory held (and charged), as the bound counts it.
  std::size_t MemoryBytes() const;

  static constexpr std::size_t kMaxUrl = 0xFFFF;
  static constexpr std::size_t kLookBelow = 32;
  // The links' texts are kept in blocks of this size, taken one at a time.
  static constexpr std::size_t kBlock = 256 << 10;

 private:
  using Ref = std::uint32_t;
  static constexpr Ref kNoRef = 0xFFFFFFFF;

  struct Host {
    std::string name;
    std::vector<Ref> waiting;
    int out = 0;
  };

  std::optional<Ref> Store(std::string_view url, Flags flags);
  std::string_view TextAt(Ref ref) const;
  Flags FlagsAt(Ref ref) const;
  std::size_t Find(std::string_view key, std::uint32_t hash) const;
  void Grow();
  int HostIndex(std::string_view host);
  // Whether url can be stored and queued under host (and, when `meeting`,
  // met) within the bounds; sets full_ when not.
  bool Fits(std::string_view url, std::string_view host, bool meeting);
  void Queue(std::string_view host, Ref ref);

  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t used_ = kBlock;  // in the last block
  // Each slot: the reference + 1 in the low half (0: empty), the key's hash
  // in the high half.
  std::vector<std::uint64_t> table_;
  std::size_t met_ = 0;
  std::vector<Host> hosts_;
  std::unordered_map<std::string, int> hostIndex_;
  std::size_t waiting_ = 0;
  std::size_t turn_ = 0;

  std::size_t maxLinks_;
  std::size_t maxBytes_;
  std::size_t hostBytes_ = 0;  // the hosts, their names and waiting lists
  std::size_t charged_ = 0;
  bool full_ = false;
};

}  // namespace tvx
