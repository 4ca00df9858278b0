// The busy clip under the status texts: 500 x 100 pixels, 32 frames at 15
// frames a second, drawn by code.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

namespace tvx::ui {

class CBusyAnimation : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 500;
  static constexpr int kHeight = 100;
  static constexpr int kFrames = 32;
  static constexpr int kFrameMicroseconds = 66667;

  explicit CBusyAnimation(QWidget* parent = nullptr);

  // Plays the whole clip from its first frame, repeating without end.
  void Play();
  // Stops on the frame then showing.
  void Stop();

  bool IsPlaying() const { return playing_; }
  int CurrentFrame() const { return frame_; }

  // Draws one frame of the clip into a 500 x 100 area at the painter's origin.
  static void DrawFrame(QPainter& painter, int frame);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Advance();

  QTimer timer_;
  QElapsedTimer clock_;
  bool playing_ = false;
  int frame_ = 0;
};

}  // namespace tvx::ui
