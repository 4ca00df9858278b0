#include "ui/toolbar/Pictures.h"

#include <mutex>

// Q_INIT_RESOURCE has to be used outside any namespace.
static void RegisterTavrinoxResources() { Q_INIT_RESOURCE(tavrinox); }

namespace tvx::ui {

void EnsurePictures() {
  static std::once_flag once;
  std::call_once(once, RegisterTavrinoxResources);
}

QPixmap LoadPicture(const QString& resource_path) {
  EnsurePictures();
  return QPixmap(resource_path);
}

}  // namespace tvx::ui
