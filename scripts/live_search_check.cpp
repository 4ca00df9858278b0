// Asks each search engine of today one real question, as a search project
// would, and tells per engine: the HTTP status, how many results were read,
// and the first one. Run by scripts/live-search-check (needs the Internet;
// not part of the tests). Exit status: 0 when every engine's answer was
// read, 1 when an engine answered in a way this version cannot read (or not
// at all), 2 when no engine could be reached.
#include <cstdio>
#include <string>

#include "search/AnswerReaders.h"
#include "search/TodayEngines.h"
#include "search/TodayQuery.h"
#include "store/PictureCredits.h"

int main(int argc, char** argv) {
  std::string words;
  for (int i = 1; i < argc; ++i) words += (words.empty() ? "" : " ") + std::string(argv[i]);
  if (words.empty()) words = "lighthouse";
  int failed = 0;
  int reached = 0;
  for (tvx::TodayEngine engine : tvx::kTodayEngines) {
    const std::string url = tvx::AnswerPageUrl(engine, tvx::EngineBase(engine), words);
    const tvx::FetchedAnswer answer = tvx::FetchAnswer(engine, url);
    std::printf("%s: %s\n", tvx::EngineTitle(engine), url.c_str());
    if (answer.status != 0) ++reached;
    std::printf("  HTTP status: %ld\n", answer.status);
    tvx::AnswerPage page;
    if (!answer.failure.empty()) {
      std::printf("  failed: %s\n", answer.failure.c_str());
      ++failed;
      continue;
    }
    if (!tvx::ReadAnswer(engine, answer.body, 1, page)) {
      std::printf("  failed: %s\n", tvx::UnreadableText(engine).c_str());
      ++failed;
      continue;
    }
    std::printf("  results read: %zu%s\n", page.items.size(), page.next ? " (more pages)" : "");
    if (page.items.empty()) continue;
    const tvx::FoundItem& first = page.items.front();
    std::printf("  first result: %s\n", tvx::ResultUrl(first.url).c_str());
    if (first.credit) std::printf("  its credit: %s\n", tvx::CreditText(*first.credit).c_str());
  }
  if (reached == 0) return 2;
  return failed > 0 ? 1 : 0;
}
