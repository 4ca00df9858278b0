#pragma once
// How much a crawl may hold in memory. The modern crawl keeps every link it
// met, so that none is fetched twice, and reads several pages at once: past
// its budget it queues no new link, goes on with the links it has and ends
// saying so.
#include <chrono>
#include <cstddef>

namespace tvx {

struct CrawlLimits {
  // The links kept and the pages being read, in all.
  std::size_t memoryBytes = std::size_t{256} << 20;
  // The most links kept, however little memory they take.
  std::size_t maxLinks = 2'000'000;
  // How long a host that asked to slow down is left alone (its Retry-After
  // within the cap, else the default), and the first wait before a URL that
  // failed for a time-out or a broken connection is asked again.
  std::chrono::milliseconds slowDownDefault{30'000};
  std::chrono::milliseconds slowDownCap{600'000};
  std::chrono::milliseconds retryBase{1000};
};

}  // namespace tvx
