// A pane beside the windows' four that shows the picture chosen in the
// downloaded-files tree, scaled to fit, with its name, pixel size and byte
// size. Hidden until the user asks for it.
#pragma once

#include <QDockWidget>
#include <QImage>
#include <QSize>
#include <QString>
#include <QTimer>

class QLabel;

namespace tvx::ui {

// A picture decoded to fit a box, never enlarged; a null image when Qt
// cannot decode the file. Safe on any thread.
struct FittedPicture {
  QImage image;
  QSize pixels;  // the picture's own size
  qint64 bytes = -1;
};
FittedPicture DecodeToFit(const QString& file, QSize box);

class CPreviewPane : public QDockWidget {
  Q_OBJECT

 public:
  explicit CPreviewPane(QWidget* parent = nullptr);

  // Shows file (an absolute path), or nothing for an empty path. The picture
  // is decoded on another thread; the texts show at once.
  void ShowFile(const QString& file);
  const QString& File() const { return file_; }

  QLabel* Picture() const { return picture_; }
  QLabel* NameText() const { return name_; }
  QLabel* SizeText() const { return size_; }
  // True while a decode is under way (tests).
  bool Decoding() const { return pending_ > 0; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Decode();
  void Show(int generation, const FittedPicture& picture);

  QLabel* picture_ = nullptr;
  QLabel* name_ = nullptr;
  QLabel* size_ = nullptr;
  QString file_;
  QTimer resized_;
  int generation_ = 0;
  int pending_ = 0;
};

}  // namespace tvx::ui
