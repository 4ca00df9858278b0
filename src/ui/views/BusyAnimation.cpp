#include "ui/views/BusyAnimation.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace tvx::ui {

CBusyAnimation::CBusyAnimation(QWidget* parent) : QWidget(parent) {
  setFixedSize(kWidth, kHeight);
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(kFrameMicroseconds / 1000);
  connect(&timer_, &QTimer::timeout, this, &CBusyAnimation::Advance);
}

void CBusyAnimation::Play() {
  playing_ = true;
  frame_ = 0;
  clock_.start();
  timer_.start();
  update();
}

void CBusyAnimation::Stop() {
  timer_.stop();
  playing_ = false;
}

void CBusyAnimation::Advance() {
  // Frames follow the clock, not the tick count, so a busy event loop does not
  // slow the clip down.
  const qint64 elapsed = clock_.nsecsElapsed() / 1000;
  const int frame = static_cast<int>((elapsed / kFrameMicroseconds) % kFrames);
  if (frame != frame_) {
    frame_ = frame;
    update();
  }
}

void CBusyAnimation::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // The clip is centred in the control's rectangle.
  painter.translate((width() - kWidth) / 2, (height() - kHeight) / 2);
  DrawFrame(painter, frame_);
}

namespace {

void DrawPicture(QPainter& p, const QRectF& r) {
  p.setPen(QPen(QColor(60, 60, 60), 2));
  p.setBrush(QColor(200, 228, 255));
  p.drawRect(r);
  QPainterPath hills;
  hills.moveTo(r.left() + 2, r.bottom() - 2);
  hills.lineTo(r.left() + r.width() * 0.35, r.top() + r.height() * 0.45);
  hills.lineTo(r.left() + r.width() * 0.55, r.top() + r.height() * 0.7);
  hills.lineTo(r.left() + r.width() * 0.75, r.top() + r.height() * 0.35);
  hills.lineTo(r.right() - 2, r.bottom() - 2);
  hills.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(70, 150, 70));
  p.drawPath(hills);
  p.setBrush(QColor(250, 200, 40));
  p.drawEllipse(QPointF(r.left() + r.width() * 0.25, r.top() + r.height() * 0.28), 6, 6);
}

void DrawFolder(QPainter& p, const QRectF& r) {
  p.setPen(QPen(QColor(120, 90, 20), 2));
  p.setBrush(QColor(240, 200, 90));
  QPainterPath folder;
  folder.moveTo(r.left(), r.top() + 8);
  folder.lineTo(r.left() + r.width() * 0.4, r.top() + 8);
  folder.lineTo(r.left() + r.width() * 0.48, r.top());
  folder.lineTo(r.right(), r.top());
  folder.lineTo(r.right(), r.bottom());
  folder.lineTo(r.left(), r.bottom());
  folder.closeSubpath();
  p.drawPath(folder);
}

}  // namespace

void CBusyAnimation::DrawFrame(QPainter& p, int frame) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(QRect(0, 0, kWidth, kHeight), Qt::white);

  const QRectF source(30, 25, 70, 50);
  const QRectF target(400, 28, 70, 47);
  DrawPicture(p, source);
  DrawFolder(p, target);

  // A train of small pictures travels from the source to the folder; one
  // full trip takes the 32 frames of the clip, so it loops seamlessly.
  const double startX = source.right() + 12;
  const double endX = target.left() - 26;
  const int kDots = 4;
  for (int i = 0; i < kDots; ++i) {
    const double phase = std::fmod(frame / double(kFrames) + i / double(kDots), 1.0);
    const double x = startX + (endX - startX) * phase;
    const double y = 50 - 12 * std::sin(phase * 3.14159265358979);
    QRectF chip(x, y - 7, 18, 14);
    const int fade = static_cast<int>(80 + 150 * std::sin(phase * 3.14159265358979));
    p.setPen(QPen(QColor(40, 70, 140, fade), 1));
    p.setBrush(QColor(90, 140, 230, fade));
    p.drawRoundedRect(chip, 2, 2);
  }

  // A progress strip below, one lit cell per frame.
  const int cells = kFrames;
  const double cellW = (kWidth - 60) / double(cells);
  for (int i = 0; i < cells; ++i) {
    QRectF cell(30 + i * cellW + 1, 86, cellW - 2, 8);
    const int distance = (frame - i + cells) % cells;
    QColor c = distance < 6 ? QColor(40, 110, 220, 255 - distance * 35) : QColor(225, 230, 240);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRect(cell);
  }
  p.restore();
}

}  // namespace tvx::ui
