#pragma once
// The partial files this process has open that nobody can go on from (a
// crawl's picture on its way): when the program ends before they are whole,
// they are removed, so that nothing half-written stays below Pictures.
#include <string>

namespace tvx {

// A partial file (its path in the file system) is being written / is done
// with (whole and renamed, or removed).
void PartialFileOpened(const std::string& path);
void PartialFileClosed(const std::string& path);

// Removes every partial file still open; gives how many went. Called once
// the workers have had their moment to end.
int RemoveOpenPartialFiles();

}  // namespace tvx
