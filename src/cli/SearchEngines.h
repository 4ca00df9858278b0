#pragma once
// The search engines `tavrinox search --engine NAME` can name: the names of
// search/EngineChoice.h, and which are asked when none is named.
#include <string>
#include <vector>

#include "search/EngineChoice.h"

namespace tvx::cli {

// Every engine's name, for the parser's check and the help texts.
std::vector<std::string> SearchEngineNames();

// The engines asked when the command names none: the three of today.
std::vector<std::string> DefaultSearchEngines();

// The engines of the names given (each checked by the parser), or the
// default ones when none is given.
EngineChoice ChooseSearchEngines(const std::vector<std::string>& names);

}  // namespace tvx::cli
