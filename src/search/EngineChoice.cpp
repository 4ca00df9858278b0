#include "search/EngineChoice.h"

#include "store/Text.h"

namespace tvx {
namespace {

struct NamedEngine {
  std::string_view name;
  bool EngineChoice::*flagged;  // an engine the record has a flag for; null for one of today
  bool TodayEngines::*today;
};

constexpr NamedEngine kNamed[] = {
    {"altavista", &EngineChoice::altaVista, nullptr},
    {"yahoo", &EngineChoice::yahoo, nullptr},
    {"openverse", nullptr, &TodayEngines::openverse},
    {"commons", nullptr, &TodayEngines::commons},
    {"duckduckgo", nullptr, &TodayEngines::duckDuckGo},
};

}  // namespace

const std::vector<std::string_view>& EngineNames() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> all;
    for (const NamedEngine& e : kNamed) all.push_back(e.name);
    return all;
  }();
  return names;
}

bool ChooseEngine(std::string_view name, EngineChoice& choice) {
  for (const NamedEngine& e : kNamed) {
    if (!EqualsIgnoreCase(name, e.name)) continue;
    if (e.flagged)
      choice.*e.flagged = true;
    else
      choice.today.*e.today = true;
    return true;
  }
  return false;
}

NewSearch MakeSearchProject(std::string_view name, std::string_view words,
                            const EngineChoice& choice) {
  NewSearch made;
  SetText(made.project.name, name);
  SetText(made.project.searchText, words);
  made.project.useAltaVista = choice.altaVista ? 1 : 0;
  made.project.useYahoo = choice.yahoo ? 1 : 0;
  made.project.runWhenRequested = 1;
  made.project.stopWhenRequested = 1;
  made.today = choice.today;
  return made;
}

}  // namespace tvx
