#include "search/TodayEngines.h"

#include <cstdlib>

#include "store/Text.h"

namespace tvx {
namespace {

struct EngineTraits {
  const char* title;
  const char* defaultBase;
  const char* baseVariable;
};

const EngineTraits& Traits(TodayEngine engine) {
  static const EngineTraits openverse{"Openverse", "https://api.openverse.org",
                                      kOpenverseUrlVariable};
  static const EngineTraits commons{"Wikimedia Commons", "https://commons.wikimedia.org",
                                    kCommonsUrlVariable};
  static const EngineTraits duckDuckGo{"DuckDuckGo", "https://html.duckduckgo.com",
                                       kDuckDuckGoUrlVariable};
  switch (engine) {
    case TodayEngine::Openverse:
      return openverse;
    case TodayEngine::Commons:
      return commons;
    case TodayEngine::DuckDuckGo:
      break;
  }
  return duckDuckGo;
}

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

}  // namespace

const char* EngineTitle(TodayEngine engine) { return Traits(engine).title; }

bool Asks(const TodayEngines& choice, TodayEngine engine) {
  switch (engine) {
    case TodayEngine::Openverse:
      return choice.openverse;
    case TodayEngine::Commons:
      return choice.commons;
    case TodayEngine::DuckDuckGo:
      return choice.duckDuckGo;
  }
  return false;
}

bool FindsPictures(TodayEngine engine) { return engine != TodayEngine::DuckDuckGo; }

std::string EngineBase(TodayEngine engine) {
  const EngineTraits& traits = Traits(engine);
  const char* configured = std::getenv(traits.baseVariable);
  std::string base = configured != nullptr && *configured != '\0' ? configured : traits.defaultBase;
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base;
}

std::string QueryEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsUnreserved(byte))
      out += c;
    else
      AppendPercentEscape(out, byte);
  }
  return out;
}

std::string AnswerPageUrl(TodayEngine engine, std::string_view base, std::string_view words,
                          const std::optional<NextPage>& next) {
  std::string url(base);
  switch (engine) {
    case TodayEngine::Openverse:
      url += "/v1/images/?q=" + QueryEscape(words);
      url += "&page=" + std::to_string(next ? next->number : 1);
      url += "&page_size=20";
      break;
    case TodayEngine::Commons:
      url +=
          "/w/api.php?action=query&format=json&formatversion=2&generator=search&gsrnamespace=6"
          "&gsrsearch=" +
          QueryEscape(words) + "&gsrlimit=50&prop=imageinfo&iiprop=url%7Csize%7Cmime%7Cextmetadata";
      if (next && !next->fields.empty()) url += "&" + next->fields;
      break;
    case TodayEngine::DuckDuckGo:
      // The next-page form carries the words itself.
      url += "/html/?";
      url += next ? next->fields : "q=" + QueryEscape(words);
      break;
  }
  return url;
}

}  // namespace tvx
