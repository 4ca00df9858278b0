#include "search/TodayQuery.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <unordered_set>

#include "files/LocalPath.h"
#include "files/PictureFile.h"
#include "net/Internet.h"
#include "search/EngineQuery.h"
#include "store/Records.h"
#include "store/Text.h"

namespace tvx {
namespace {

constexpr std::size_t kReadPiece = 64 * 1024;
// The longest URL a list record holds.
constexpr std::size_t kMaxRecordUrl = sizeof(FileRecord::url) - 1;

bool StartsWithIgnoringCase(std::string_view text, std::string_view start) {
  return text.size() >= start.size() && EqualsIgnoreCase(text.substr(0, start.size()), start);
}

// Bytes a URL cannot hold as they are: controls, blanks, non-ASCII and the
// marks that are never part of one.
bool NeedsEscape(unsigned char c) {
  return c <= ' ' || c >= 0x7f || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
         c == '`' || c == '{' || c == '|' || c == '}';
}

std::string TimedOutText(TodayEngine engine, long ms) {
  return RetrieveErrorText(engine) + ": Operation timed out after " + std::to_string(ms) +
         " milliseconds";
}

// Reads the answer's body into answer, within the size and time bounds.
void ReadBody(TodayEngine engine, net::Transfer& transfer, const QueryHooks& hooks,
              std::chrono::steady_clock::time_point started, FetchedAnswer& answer) {
  const long timeoutMs = TodayLimits::answerTimeoutMs.load();
  auto buffer = std::make_unique<char[]>(kReadPiece);
  for (;;) {
    const std::size_t n = transfer.Read(buffer.get(), kReadPiece);
    if (n == 0) return;
    if (hooks.stopRequested && hooks.stopRequested()) {
      answer.stopped = true;
      return;
    }
    if (answer.body.size() + n > TodayLimits::kMaxAnswerBytes) {
      answer.failure = UnreadableText(engine);
      return;
    }
    answer.body.append(buffer.get(), n);
    if (std::chrono::steady_clock::now() - started > std::chrono::milliseconds(timeoutMs)) {
      answer.failure = TimedOutText(engine, timeoutMs);
      return;
    }
  }
}

FetchedAnswer Fetch(net::Session& session, TodayEngine engine, const std::string& url,
                    const QueryHooks& hooks) {
  FetchedAnswer answer;
  const auto started = std::chrono::steady_clock::now();
  try {
    auto transfer = session.OpenUrl(url, /*failOnHttpError=*/false);
    answer.status = transfer->StatusCode();
    if (answer.status == 429 || answer.status == 503) {
      answer.failure = WaitText(engine, transfer->Facts().retryAfter, std::time(nullptr));
    } else if (answer.status >= 400) {
      // In the words the client uses for the same refusal.
      answer.failure = RetrieveErrorText(engine) +
                       ": The requested URL returned error: " + std::to_string(answer.status);
    } else {
      ReadBody(engine, *transfer, hooks, started, answer);
    }
    transfer->Close();
  } catch (const net::InternetError& e) {
    answer.failure = RetrieveErrorText(engine) + ": " + net::FailureText(e.what());
  }
  if (!answer.failure.empty() || answer.stopped) answer.body.clear();
  return answer;
}

// Whether a picture result can become a requested file: the file download
// takes only what names a picture.
bool DownloadableAsPicture(const std::string& url) {
  return IsPictureFile(LocalPath::ForSingleFile(url).Shown());
}

}  // namespace

std::atomic<long> TodayLimits::answerTimeoutMs{60000};

std::string RetrieveErrorText(TodayEngine engine) {
  return std::string("Error retrieving links from ") + EngineTitle(engine);
}

std::string UnreadableText(TodayEngine engine) {
  return std::string(EngineTitle(engine)) + " answered in a form this version cannot read";
}

std::string WaitText(TodayEngine engine, std::string_view retryAfter, std::time_t now) {
  long seconds = kDefaultWaitSeconds;
  retryAfter = TrimBlanks(retryAfter);
  if (!retryAfter.empty() && retryAfter.size() <= 9 &&
      std::all_of(retryAfter.begin(), retryAfter.end(),
                  [](char c) { return c >= '0' && c <= '9'; })) {
    seconds = std::stol(std::string(retryAfter));
  } else if (!retryAfter.empty()) {
    const std::time_t when = curl_getdate(std::string(retryAfter).c_str(), nullptr);
    if (when != -1) seconds = static_cast<long>(std::max<std::time_t>(0, when - now));
  }
  return std::string(EngineTitle(engine)) + " asks to wait: try again in " +
         std::to_string(seconds) + " s";
}

std::string ResultUrl(std::string_view link) {
  link = TrimBlanks(link);
  // The scheme in lower case, as every URL the program makes has it.
  std::string url;
  if (StartsWithIgnoringCase(link, "//")) {
    url = "https:";
  } else if (StartsWithIgnoringCase(link, "http://")) {
    url = "http";
    link.remove_prefix(4);
  } else if (StartsWithIgnoringCase(link, "https://")) {
    url = "https";
    link.remove_prefix(5);
  } else {
    return {};
  }
  link = link.substr(0, link.find('#'));
  for (char c : link) {
    const auto byte = static_cast<unsigned char>(c);
    if (NeedsEscape(byte))
      AppendPercentEscape(url, byte);
    else
      url += c;
  }
  // A host is needed; a URL cut to fit a record would name something else.
  const std::size_t hostStart = url.find("://") + 3;
  if (hostStart >= url.size() || url[hostStart] == '/' || url.size() > kMaxRecordUrl) return {};
  return url;
}

FetchedAnswer FetchAnswer(TodayEngine engine, const std::string& url, const QueryHooks& hooks) {
  net::Session session(kSearchAgent);
  return Fetch(session, engine, url, hooks);
}

TodayOutcome QueryTodayEngine(TodayEngine engine, std::string_view words, const QueryHooks& hooks) {
  TodayOutcome outcome;
  const std::string text(TrimBlanks(words.substr(0, kMaxSearchText)));
  if (text.empty()) return outcome;
  const std::string base = EngineBase(engine);
  net::Session session(kSearchAgent);
  std::unordered_set<std::string> kept;   // lower-case URLs
  std::unordered_set<std::string> asked;  // page URLs
  std::optional<NextPage> next;
  for (int pages = 0; pages < TodayLimits::kMaxPages && outcome.items.size() < kMaxResultLinks;
       ++pages) {
    if (pages > 0 && hooks.betweenPages) hooks.betweenPages();
    if (hooks.stopRequested && hooks.stopRequested()) {
      outcome.stopped = true;
      return outcome;
    }
    const std::string url = AnswerPageUrl(engine, base, text, next);
    if (!asked.insert(url).second) break;
    FetchedAnswer answer = Fetch(session, engine, url, hooks);
    if (answer.stopped) {
      outcome.stopped = true;
      return outcome;
    }
    if (!answer.failure.empty()) {
      outcome.failure = std::move(answer.failure);
      break;
    }
    AnswerPage page;
    if (!ReadAnswer(engine, answer.body, next ? next->number : 1, page)) {
      outcome.failure = UnreadableText(engine);
      break;
    }
    for (FoundItem& item : page.items) {
      if (outcome.items.size() >= kMaxResultLinks) break;
      item.url = ResultUrl(item.url);
      if (item.url.empty() || (FindsPictures(engine) && !DownloadableAsPicture(item.url)) ||
          !kept.insert(LowerCopy(item.url)).second)
        continue;
      outcome.items.push_back(std::move(item));
    }
    // Pages are numbered upwards (Openverse's pages, DuckDuckGo's offsets):
    // one that leads back ends the paging.
    if (!page.next || (next && page.next->number > 0 && page.next->number <= next->number)) break;
    next = std::move(page.next);
  }
  return outcome;
}

}  // namespace tvx
