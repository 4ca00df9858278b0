#pragma once
// The engines a search asks, as a user names them outside the dialog (the
// command line): "altavista" and "yahoo", the two a project's record has
// flags for, and "openverse", "commons" and "duckduckgo", the engines of
// today. The one place these names are given.
#include <string_view>
#include <vector>

#include "store/Records.h"
#include "store/SearchOptions.h"

namespace tvx {

struct EngineChoice {
  bool altaVista = false;
  bool yahoo = false;
  TodayEngines today;
  bool Any() const { return altaVista || yahoo || today.Any(); }
  bool operator==(const EngineChoice&) const = default;
};

// Every engine name, in the order a project asks the engines.
const std::vector<std::string_view>& EngineNames();

// Adds the engine of that name (letter case ignored) to choice; false, and
// choice unchanged, for a name no engine has.
bool ChooseEngine(std::string_view name, EngineChoice& choice);

// A search project for words that asks the chosen engines, run and stopped
// when requested, with the choice of engines of today to store beside it.
// Its texts are cut to their fields.
struct NewSearch {
  SearchProject project{};
  TodayEngines today;
};
NewSearch MakeSearchProject(std::string_view name, std::string_view words,
                            const EngineChoice& choice);

}  // namespace tvx
