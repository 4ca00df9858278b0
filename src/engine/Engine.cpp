#include "engine/Engine.h"

#include "files/PartialFile.h"

namespace tvx {

Engine::Engine() : store_(lists, {&siteOptions, &searchOptions, &credits, &archive}) {}

Engine::~Engine() = default;

bool Engine::RecordDeletedByUser(std::string_view pathBelowPictures) {
  const std::optional<std::string> path = DeletedPictures::Normalised(pathBelowPictures);
  if (!path || !deletedByUser_.Record(*path)) return false;
  // A single file saved straight in Pictures belongs to no project.
  if (const std::string project = DeletedPictures::ProjectOf(*path); !project.empty())
    archive.MarkDeletedByUser(project, *path);
  return true;
}

void Engine::Shutdown(std::chrono::milliseconds grace) {
  if (shuttingDown_) return;
  shuttingDown_ = true;
  CloseUi();
  workers.RequestStopAll();
  workers.WaitUntilIdle(grace);
  RemoveOpenPartialFiles();
}

}  // namespace tvx
