// A pane beside the windows' four that shows the picture chosen in the
// downloaded-files tree or the gallery, scaled to fit, with its name, pixel
// size and byte size. Hidden until the user asks for it.
#pragma once

#include <QDockWidget>
#include <QSize>
#include <QString>
#include <QTimer>

#include "ui/views/PictureDecode.h"

class QLabel;

namespace tvx::ui {

class CPreviewPane : public QDockWidget {
  Q_OBJECT

 public:
  explicit CPreviewPane(QWidget* parent = nullptr);

  // Shows file (an absolute path), or nothing for an empty path. The picture
  // is decoded on a thread of the pane's own; the texts show at once. A
  // decode for a file or size no longer shown is dropped or abandoned.
  void ShowFile(const QString& file);
  const QString& File() const { return file_; }

  QLabel* Picture() const { return picture_; }
  QLabel* NameText() const { return name_; }
  QLabel* SizeText() const { return size_; }
  // True while the shown file's decode is under way (tests).
  bool Decoding() const { return decoding_; }
  // Waits until no decode runs or waits (tests).
  bool WaitIdle(int milliseconds) { return runner_.WaitIdle(milliseconds); }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Decode();
  void Show(int generation, const DecodedPicture& picture);

  QLabel* picture_ = nullptr;
  QLabel* name_ = nullptr;
  QLabel* size_ = nullptr;
  QString file_;
  QTimer resized_;
  QSize decodedBox_;  // the room the last decode of file_ was made for
  int generation_ = 0;
  bool decoding_ = false;
  // Last: the thread goes before the texts its results would reach.
  LatestOnlyRunner runner_;
};

}  // namespace tvx::ui
