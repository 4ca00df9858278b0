#include "cli/SearchEngines.h"

#include <algorithm>

namespace tvx::cli {
namespace {

void ChooseAltaVista(SearchProject& project) { project.useAltaVista = 1; }
void ChooseYahoo(SearchProject& project) { project.useYahoo = 1; }

}  // namespace

const std::vector<SearchEngineChoice>& SearchEngineChoices() {
  static const std::vector<SearchEngineChoice> table = {
      {"openverse", nullptr, false},  {"commons", nullptr, false},
      {"duckduckgo", nullptr, false}, {"altavista", ChooseAltaVista, true},
      {"yahoo", ChooseYahoo, true},
  };
  return table;
}

std::vector<std::string> SearchEngineNames() {
  std::vector<std::string> names;
  for (const SearchEngineChoice& c : SearchEngineChoices()) names.emplace_back(c.name);
  return names;
}

bool ChooseSearchEngines(const std::vector<std::string>& names, SearchProject& project,
                         std::string& refused) {
  for (const SearchEngineChoice& c : SearchEngineChoices()) {
    const bool named =
        names.empty() ? c.byDefault : std::find(names.begin(), names.end(), c.name) != names.end();
    if (!named) continue;
    if (!c.choose) {
      refused = c.name;
      return false;
    }
    c.choose(project);
  }
  return true;
}

}  // namespace tvx::cli
