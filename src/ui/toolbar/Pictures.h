#pragma once
// The program's pictures are compiled into the UI library (res/tavrinox.qrc).
// A static library only brings them along when something refers to them, so
// code that loads a picture before any toolbar exists calls EnsurePictures()
// first. A missing picture loads as a null QPixmap, never a crash.
#include <QPixmap>
#include <QString>

namespace tvx::ui {

void EnsurePictures();

// Loads ":/..." after EnsurePictures(); null when there is no such picture.
QPixmap LoadPicture(const QString& resource_path);

}  // namespace tvx::ui
