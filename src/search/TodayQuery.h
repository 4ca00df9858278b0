#pragma once
// Asking one search engine of today for a project's words: page after page,
// one request at a time, until it has given kMaxResultLinks results or has no
// more. Answers are bounded in size and time, and every failure becomes a
// text that says what happened.
#include <atomic>
#include <cstddef>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "search/AnswerReaders.h"
#include "search/TodayEngines.h"

namespace tvx {

struct TodayLimits {
  // A longer answer is no answer this version can read.
  static constexpr std::size_t kMaxAnswerBytes = 8 * 1024 * 1024;
  // No more pages than this are asked of one engine in one run.
  static constexpr int kMaxPages = 10;
  // An answer that has not arrived whole after this long fails. Tests
  // shorten it.
  static std::atomic<long> answerTimeoutMs;  // default 60000
};

// When Retry-After does not say how long to wait.
inline constexpr long kDefaultWaitSeconds = 60;

struct QueryHooks {
  // Runs between two pages (the worker's pause point).
  std::function<void()> betweenPages;
  // Asked while an answer is read: true ends the query at once.
  std::function<bool()> stopRequested;
};

// One answer page as it arrived.
struct FetchedAnswer {
  long status = 0;
  std::string body;     // at most TodayLimits::kMaxAnswerBytes
  std::string failure;  // why there is no answer to read; empty when there is
  bool stopped = false;
};

// Fetches one answer page of engine from url: a status of 400 or above, a
// transfer that fails, an answer longer than kMaxAnswerBytes or one that
// takes longer than answerTimeoutMs is a failure with its text.
FetchedAnswer FetchAnswer(TodayEngine engine, const std::string& url, const QueryHooks& hooks = {});

// What asking one engine gave.
struct TodayOutcome {
  // The results in the engine's order: each URL once (letter case ignored,
  // as items are found), as ResultUrl makes it, pictures only when a file
  // download would take them; at most kMaxResultLinks.
  std::vector<FoundItem> items;
  // The text to show when a page failed (the results of the pages before it
  // are kept); empty when the engine answered every page asked.
  std::string failure;
  bool stopped = false;
};

// Asks engine for words. Empty words ask nothing and find nothing.
TodayOutcome QueryTodayEngine(TodayEngine engine, std::string_view words,
                              const QueryHooks& hooks = {});

// A result's link as a list record can hold it: an absolute http or https
// URL ("//" taken as https, the scheme in lower case), the bytes no URL may
// hold percent-encoded, the fragment dropped; empty when it is none, or
// longer than a record holds.
std::string ResultUrl(std::string_view link);

// The failure texts.
std::string RetrieveErrorText(TodayEngine engine);  // "Error retrieving links from <engine>"
std::string UnreadableText(TodayEngine engine);
// For a 429 or 503: "<engine> asks to wait: try again in N s", N from
// Retry-After (seconds, or a date against now), else kDefaultWaitSeconds.
std::string WaitText(TodayEngine engine, std::string_view retryAfter, std::time_t now);

}  // namespace tvx
