#pragma once
// One fuzz body for the readers of every engine of today's answers: arbitrary
// bytes (the first byte picks the page it answers) are read as the engine's
// answer. An answer not understood gives nothing; every result the program
// keeps is a URL a list record holds, and every credit survives its file.
// Seeds: the test fakes' answers (tests/search/TodayFakes.h).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "search/AnswerReaders.h"
#include "search/TodayQuery.h"
#include "store/Lists.h"
#include "store/PictureCredits.h"

inline int FuzzAnswerReader(tvx::TodayEngine engine, const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int page = 1 + data[0] % 8;
  const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
  tvx::AnswerPage answer;
  if (!tvx::ReadAnswer(engine, body, page, answer)) {
    if (!answer.items.empty() || answer.next) std::abort();
    return 0;
  }
  tvx::Lists lists;
  tvx::PictureCredits credits(lists);
  for (const tvx::FoundItem& item : answer.items) {
    const std::string url = tvx::ResultUrl(item.url);
    if (url.empty()) continue;
    if (url.size() >= sizeof(tvx::FileRecord::url)) std::abort();
    if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) std::abort();
    for (char c : url)
      if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7f || c == '#')
        std::abort();
    if (!item.credit) continue;
    lists.searchResults.Add(tvx::MakeFileRecord(url));
    credits.Set(url, *item.credit);
  }
  // What is kept reads back the same.
  std::uint64_t generation = 0;
  const std::string file = credits.Format(generation);
  tvx::PictureCredits again(lists);
  again.Read(file);
  for (const tvx::FoundItem& item : answer.items) {
    const std::string url = tvx::ResultUrl(item.url);
    if (url.empty() || !item.credit) continue;
    if (credits.Get(url) != again.Get(url)) std::abort();
  }
  return 0;
}
