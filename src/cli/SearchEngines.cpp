#include "cli/SearchEngines.h"

namespace tvx::cli {

std::vector<std::string> SearchEngineNames() {
  std::vector<std::string> names;
  for (std::string_view name : EngineNames()) names.emplace_back(name);
  return names;
}

std::vector<std::string> DefaultSearchEngines() { return {"openverse", "commons", "duckduckgo"}; }

EngineChoice ChooseSearchEngines(const std::vector<std::string>& names) {
  EngineChoice choice;
  for (const std::string& name : names.empty() ? DefaultSearchEngines() : names)
    ChooseEngine(name, choice);
  return choice;
}

}  // namespace tvx::cli
