#pragma once
// Asking a web search engine for pages about a search project's words and
// keeping the absolute links of its result page.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tvx {

enum class SearchEngine { AltaVista, Yahoo };

// What QueryEngine gives besides a count of links.
inline constexpr int kQueryFailed = -1;     // the page could not be fetched or read
inline constexpr int kQueryEmptyText = -2;  // nothing to search for; no request made

// A query keeps at most this many links; later ones are dropped.
inline constexpr std::size_t kMaxResultLinks = 100;
// Only this many lines of a result page are read; the rest is not fetched.
inline constexpr std::size_t kMaxPageLines = 10000;
// The search text is used up to this many characters.
inline constexpr std::size_t kMaxSearchText = 255;

// Environment variables naming an engine's host ("host" or "host:port") in
// place of its public search host. Read at each query.
inline constexpr const char* kAltaVistaHostVariable = "TAVRINOX_ALTAVISTA_HOST";
inline constexpr const char* kYahooHostVariable = "TAVRINOX_YAHOO_HOST";

// The host queries of engine go to now.
std::string SearchHost(SearchEngine engine);

// Spaces become '+'; everything else stays as it is, letter case included.
std::string EncodeSearchText(std::string_view text);

// "http://" + host + the engine's query path + encoded text + "+picture+image"
// + the engine's suffix.
std::string BuildQueryUrl(SearchEngine engine, std::string_view host, std::string_view searchText);

// The link a result-page line contributes, if any: the line's first href
// (lower case), unless it names the engine itself or holds '#', and only when
// "http://" or "https://" stands in it.
bool ResultLinkOfLine(SearchEngine engine, std::string_view line, std::string& link);

// Fetches engine's result page for searchText and fills results (cleared
// first) with the page's links in page order. Returns how many were kept,
// kQueryFailed on any Internet failure (results left empty), kQueryEmptyText
// for an empty text, or 0 when stopRequested answers true after a line
// while the page is being read. betweenLines, when given, runs after every
// line read (the worker's pause point).
int QueryEngine(SearchEngine engine, std::string_view searchText, std::vector<std::string>& results,
                const std::function<void()>& betweenLines = {},
                const std::function<bool()>& stopRequested = {});

}  // namespace tvx
