#pragma once
// The six list files in the working directory: loading at start-up and
// saving the changed lists at exit.
#include <functional>
#include <string>
#include <string_view>

namespace tvx {

// Reads the six list files in load order, appending to the lists.
void LoadAllLists();
// Writes the lists whose modified flag is set, in save order. A file is
// replaced whole or not at all.
void SaveAllLists();

// Where the error texts of saving go: the windows connect a message box
// captioned "Tavrinox"; by default they go to standard error.
void SetListMessageHook(std::function<void(const std::string&)> hook);

// For tests: makes writing the named list file fail (empty name: none).
void SetListWriteFaultForTest(std::string fileName);

}  // namespace tvx
