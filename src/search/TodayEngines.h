#pragma once
// The search engines of today: Openverse and Wikimedia Commons find pictures
// with their licences, DuckDuckGo finds pages. Who they are, where they are
// asked, and the URL of each answer page. Nothing here touches the network.
#include <optional>
#include <string>
#include <string_view>

#include "store/SearchOptions.h"

namespace tvx {

enum class TodayEngine { Openverse, Commons, DuckDuckGo };

// In the order a project asks them, after AltaVista and Yahoo.
inline constexpr TodayEngine kTodayEngines[] = {TodayEngine::Openverse, TodayEngine::Commons,
                                                TodayEngine::DuckDuckGo};

// The engine's name as texts show it: "Openverse", "Wikimedia Commons", "DuckDuckGo".
const char* EngineTitle(TodayEngine engine);
// Whether the choice asks engine.
bool Asks(const TodayEngines& choice, TodayEngine engine);
// Whether the engine's results are pictures (with credits) rather than pages.
bool FindsPictures(TodayEngine engine);

// Environment variables naming an engine's base ("http://127.0.0.1:8080") in
// place of its public one. Read at each query.
inline constexpr const char* kOpenverseUrlVariable = "TAVRINOX_OPENVERSE_URL";
inline constexpr const char* kCommonsUrlVariable = "TAVRINOX_COMMONS_URL";
inline constexpr const char* kDuckDuckGoUrlVariable = "TAVRINOX_DUCKDUCKGO_URL";

// The base queries of engine go to now, without a '/' at its end.
std::string EngineBase(TodayEngine engine);

// What every request to an engine of today says it comes from.
inline constexpr const char* kSearchAgent =
    "Tavrinox/1.0 (desktop picture downloader; asks one page at a time)";

// The search words for a query string: UTF-8 bytes percent-encoded, letters,
// digits and "-._~" kept, a space as "%20".
std::string QueryEscape(std::string_view text);

// Where an engine's next answer page is: Openverse's page number; the query
// fields Commons sent as its continuation; or the fields of DuckDuckGo's
// next-page form, encoded, with the offset of its first result as number.
struct NextPage {
  int number = 0;
  std::string fields;
  bool operator==(const NextPage&) const = default;
};

// The URL of an answer page for words: the first when next is empty.
std::string AnswerPageUrl(TodayEngine engine, std::string_view base, std::string_view words,
                          const std::optional<NextPage>& next = std::nullopt);

}  // namespace tvx
