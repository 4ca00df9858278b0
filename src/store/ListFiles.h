#pragma once
// The six list files in the working directory: loading at start-up, saving
// the changed lists in the background while the program runs and at exit.
#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tvx {

// Reads the six list files in load order, appending to the lists. A missing
// file is not an error. A file that exists but cannot be read (no
// permission, a folder, a FIFO or device, a read error) is reported through
// the message hook, in one text naming every such file and its reason; it is
// never written or deleted in this run, while its list stays usable in
// memory. Only regular files (or links to them) are read, so a FIFO or
// /dev/zero cannot hold up the start. The options of web-site projects
// (store/SiteOptions.h) are read from their own file here too.
void LoadAllLists();

// Which lists a save writes.
enum class SaveScope {
  // Every list whose modified flag is set (the exit step).
  Modified,
  // Only lists changed since this run last wrote them (the background save).
  // A list that keeps failing is reported once, until it is written again.
  ChangedSinceSave,
};

// Writes the lists of the scope. Every file is replaced whole or not at all,
// keeping its mode and owner; a symbolic link stays a link and its target is
// replaced. The files are written in an order in which a record that moves
// from one list to another (a finished download, a finished crawl, results
// of a search, Send To) is always written to its new list before its old
// one, so an end at any point can duplicate it but never lose it. One save
// runs at a time: a second one waits for the first. The options of web-site
// projects are written after the lists, by the same rules. Returns the error
// texts of the files that could not be written, without showing them.
std::vector<std::string> WriteLists(SaveScope scope);

// The exit step: writes the lists whose modified flag is set, then shows the
// error text of every list that could not be written through the hook.
void SaveAllLists();

// Saves the changed lists on a thread of its own, so that the window goes on
// while the files are written.
class ListAutoSaver {
 public:
  ListAutoSaver() = default;
  ListAutoSaver(const ListAutoSaver&) = delete;
  ListAutoSaver& operator=(const ListAutoSaver&) = delete;
  // Waits for a save under way.
  ~ListAutoSaver();

  // Starts WriteLists(SaveScope::ChangedSinceSave) and hands its error texts
  // to done on the saving thread. False, starting nothing, while the save
  // started before still runs.
  bool Start(std::function<void(std::vector<std::string> errors)> done = {});
  // Waits until the save started here has ended.
  void Wait();
  bool Running() const { return running_.load(); }

 private:
  std::thread thread_;
  std::atomic<bool> running_{false};
};

// Where the error texts of loading and saving go: the windows connect a
// message box captioned "Tavrinox"; by default they go to standard error.
void SetListMessageHook(std::function<void(const std::string&)> hook);

// For tests: makes writing the named list file fail (empty name: none).
void SetListWriteFaultForTest(std::string fileName);
// For tests: called on the saving thread just before a list file is
// replaced or deleted, with its name (empty function: none).
void SetListFileHookForTest(std::function<void(const std::string& fileName)> hook);
// For tests: forgets what loading and saving learnt about the files, as at
// the start of a run.
void ResetListFilesForTest();

}  // namespace tvx
