#pragma once
// The manual page tavrinox(1) and the bash completion, both made from the
// command line's own description (its commands, options and help texts), so
// that they say what --help says.
#include <string>

namespace tvx::cli {

// The page in roff (man macros).
std::string ManPage();

// A bash completion script for the program.
std::string BashCompletion();

}  // namespace tvx::cli
