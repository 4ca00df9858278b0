#pragma once
// Carries out one command of the command line on the engine of the working
// folder, as the window's commands would, and tells what happens.
#include "cli/CommandLine.h"

namespace tvx::cli {

// Exit statuses beyond 0 (every item ended well).
inline constexpr int kSomeFailed = 1;
inline constexpr int kWrongUse = 2;
inline constexpr int kFolderInUse = 3;

// main() of the command line: parses argv, then takes the folder, loads the
// lists, does the work, waits for every item it started, saves the lists,
// lets the folder go and ends the process with the exit status.
[[noreturn]] void CommandLineMain(int argc, char** argv);

}  // namespace tvx::cli
