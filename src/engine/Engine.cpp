#include "engine/Engine.h"

#include "files/PartialFile.h"

namespace tvx {

Engine::Engine() : store_(lists, {&siteOptions, &archive}) {}

Engine::~Engine() = default;

void Engine::Shutdown(std::chrono::milliseconds grace) {
  if (shuttingDown_) return;
  shuttingDown_ = true;
  CloseUi();
  workers.RequestStopAll();
  workers.WaitUntilIdle(grace);
  RemoveOpenPartialFiles();
}

}  // namespace tvx
