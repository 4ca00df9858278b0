#pragma once
// The six list files in the working directory, and the side files beside
// them: loading at start-up, saving the changed lists in the background while
// the program runs and at exit.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "store/Lists.h"
#include "store/SideFile.h"

namespace tvx {

// Which lists a save writes.
enum class SaveScope {
  // Every list whose modified flag is set (the exit step).
  Modified,
  // Only lists changed since this run last wrote them (the background save).
  // A list that keeps failing is reported once, until it is written again.
  ChangedSinceSave,
};

// The files of one working folder (the current directory) for one set of
// lists and side files. One load or save runs at a time.
class ListStore {
 public:
  ListStore(Lists& lists, std::vector<SideFile*> sideFiles);
  ListStore(const ListStore&) = delete;
  ListStore& operator=(const ListStore&) = delete;

  // Reads the six list files in load order, appending to the lists, then the
  // side files. A missing file is not an error. A file that exists but cannot
  // be read (no permission, a folder, a FIFO or device, a read error) is
  // reported through the message hook, in one text naming every such file,
  // its reason and where this run keeps its records instead; it is never
  // written or deleted in this run, while its list stays usable in memory.
  // Records an earlier run kept aside for it ("<file>.unsaved") are loaded
  // into the list, so that the file kept aside holds every run's records;
  // when that file cannot be read either, this run writes a numbered one.
  // Only regular files (or links to them) are read, so a FIFO or /dev/zero
  // cannot hold up the start.
  void LoadAll();

  // Writes the lists of the scope. Every file is replaced whole or not at
  // all, keeping its mode and owner; a symbolic link stays a link and its
  // target is replaced. The files are written in an order in which a record
  // that moves from one list to another (a finished download, a finished
  // crawl, results of a search, Send To) is always written to its new list
  // before its old one, so an end at any point can duplicate it but never
  // lose it. The side files are written after the lists, by the same rules.
  // Returns the error texts of the files that could not be written, without
  // showing them.
  std::vector<std::string> Write(SaveScope scope);

  // The exit step: writes the lists whose modified flag is set, then shows
  // the error text of every list that could not be written through the hook.
  void SaveAll();

  // Where the error texts of loading and saving go: the windows connect a
  // message box captioned "Tavrinox"; by default they go to standard error.
  void SetMessageHook(std::function<void(const std::string&)> hook);

  // For tests: makes writing the named file fail (empty name: none).
  void SetWriteFaultForTest(std::string fileName);
  // For tests: called on the saving thread just before a file is replaced or
  // deleted, with its name (empty function: none).
  void SetFileHookForTest(std::function<void(const std::string& fileName)> hook);
  // For tests: forgets what loading and saving learnt about the files, as at
  // the start of a run.
  void ResetForTest();

  // What this run knows about one file. Guarded by saveMutex_.
  struct FileState {
    bool unreadable = false;  // exists but could not be read: never touched
    std::string target;       // where its content goes when unreadable
    bool written = false;     // written (or deleted) by this run
    std::uint64_t writtenGeneration = 0;
    bool lastWriteFailed = false;  // the last attempt to write it failed
  };

 private:
  void ShowMessage(const std::string& text);
  void CallFileHook(const std::string& fileName);
  bool Replace(const std::string& fileName, const std::string& data);
  bool WriteOne(FileState& state, const std::string& name, bool remove, const std::string& data,
                std::uint64_t generation, SaveScope scope);

  Lists& lists_;
  std::vector<SideFile*> sideFiles_;
  std::mutex saveMutex_;
  std::array<FileState, 6> files_;
  std::vector<FileState> sideStates_;
  std::mutex hookMutex_;
  std::function<void(const std::string&)> messageHook_;
  std::string writeFault_;
  std::function<void(const std::string&)> fileHook_;
};

// Saves the changed lists on a thread of its own, so that the window goes on
// while the files are written.
class ListAutoSaver {
 public:
  explicit ListAutoSaver(ListStore& store) : store_(store) {}
  ListAutoSaver(const ListAutoSaver&) = delete;
  ListAutoSaver& operator=(const ListAutoSaver&) = delete;
  // Waits for a save under way.
  ~ListAutoSaver();

  // Starts Write(SaveScope::ChangedSinceSave) and hands its error texts to
  // done on the saving thread. False, starting nothing, while the save
  // started before still runs.
  bool Start(std::function<void(std::vector<std::string> errors)> done = {});
  // Waits until the save started here has ended.
  void Wait();
  bool Running() const { return running_.load(); }

 private:
  ListStore& store_;
  std::thread thread_;
  std::atomic<bool> running_{false};
};

}  // namespace tvx
