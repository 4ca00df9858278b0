#pragma once
// The search engines `tavrinox search --engine NAME` can name, in one table:
// what choosing one sets on the project, and which are asked when none is
// named.
#include <string>
#include <string_view>
#include <vector>

#include "store/Records.h"

namespace tvx::cli {

struct SearchEngineChoice {
  const char* name;
  // Makes the project ask this engine. Null while the search runner of this
  // version cannot ask it: naming it is then refused with a message.
  void (*choose)(SearchProject& project);
  // Asked when the command names no engine.
  bool byDefault;
};

// The engines of today come first. Their choice lives beside the lists, not
// in the project's record: once the runner asks them, their entries get a
// function that sets it, and they become the default in place of the two
// described engines.
const std::vector<SearchEngineChoice>& SearchEngineChoices();

// Every name the table holds, for the parser's check and the help texts.
std::vector<std::string> SearchEngineNames();

// The project asking the named engines (the defaults when none is named).
// False with `refused` naming the first engine this version cannot ask.
bool ChooseSearchEngines(const std::vector<std::string>& names, SearchProject& project,
                         std::string& refused);

}  // namespace tvx::cli
