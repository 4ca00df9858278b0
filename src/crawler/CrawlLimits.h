#pragma once
// How much a crawl may hold in memory. The modern crawl keeps every link it
// met, so that none is fetched twice, and reads several pages at once: past
// its budget it queues no new link, goes on with the links it has and ends
// saying so.
#include <cstddef>

namespace tvx {

struct CrawlLimits {
  // The links kept and the pages being read, in all.
  std::size_t memoryBytes = std::size_t{256} << 20;
  // The most links kept, however little memory they take.
  std::size_t maxLinks = 2'000'000;
};

}  // namespace tvx
