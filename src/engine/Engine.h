#pragma once
// The engine of one working folder: its lists and their files, the options of
// web-site projects, the worker threads, the limits and the folder lock. The
// window, the command line, tests and benchmarks reach the engine only through
// an Engine object (the part workers and commands see is EngineState).
#include <chrono>
#include <string>
#include <vector>

#include "engine/FolderLock.h"
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
  bool shuttingDown_ = false;
};

}  // namespace tvx
