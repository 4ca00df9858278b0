#pragma once
// The engine of one working folder: its lists and their files, the options of
// web-site projects, the worker threads, the limits and the folder lock. The
// window, the command line, tests and benchmarks reach the engine only through
// an Engine object (the part workers and commands see is EngineState).
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "engine/FolderLock.h"
#include "files/DeletedPictures.h"
#include "store/ListFiles.h"
#include "workers/EngineState.h"

namespace tvx {

class Engine final : public EngineState {
 public:
  Engine();
  ~Engine() override;

  // Takes the working folder's lock. Held by another copy: the caller ends
  // without reading or writing any list.
  FolderLock::Result LockFolder() { return lock_.Take(); }
  // Lets go of the folder once everything of the run is written.
  void UnlockFolder() { lock_.Release(); }

  // The list files of the working folder.
  ListStore& Store() { return store_; }

  // The user deleted a saved picture (the gallery moved it to the trash);
  // pathBelowPictures names it below Pictures, '/' between its parts. A
  // project crawled again leaves it alone: the archive of the path's project
  // marks its entries deleted at once (saved with the lists), and the run
  // keeps the path in memory (DeletedByUser). False for a path that names
  // nothing below Pictures.
  bool RecordDeletedByUser(std::string_view pathBelowPictures);
  const DeletedPictures& DeletedByUser() const { return deletedByUser_; }

  // How long the way out waits for the workers to close their files.
  static constexpr std::chrono::milliseconds kQuitGrace{2000};

  // The way out (the window's Exit, a signal, the end of the session, the end
  // of a command): the window is let go (CloseUi), every worker is asked to
  // end and given at most grace to close its files, and the partial files
  // still open are removed. The lists are then saved by the caller, and the
  // process ends without waiting for workers that did not end. Called on the
  // user-interface thread, once.
  void Shutdown(std::chrono::milliseconds grace = kQuitGrace);
  bool ShuttingDown() const { return shuttingDown_; }

 private:
  ListStore store_;
  FolderLock lock_;
  DeletedPictures deletedByUser_;
  bool shuttingDown_ = false;
};

}  // namespace tvx
