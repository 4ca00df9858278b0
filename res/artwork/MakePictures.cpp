// Draws every picture of the program: the nine toolbar buttons, the About
// picture, the two start dialog pictures and the application icon in the
// usual hicolor sizes. Run it (target `pictures`) after changing a drawing and
// commit the PNGs it writes; the build itself only reads them.
//
//   tavrinox_make_pictures <res folder>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const QColor kInk(0x1f, 0x2d, 0x3d);
const QColor kBlue(0x2f, 0x7f, 0xd8);
const QColor kDeepBlue(0x1b, 0x4f, 0x9c);
const QColor kSky(0x9f, 0xd8, 0xff);
const QColor kGreen(0x2e, 0x9d, 0x4a);
const QColor kDarkGreen(0x1d, 0x6b, 0x31);
const QColor kRed(0xd8, 0x3a, 0x32);
const QColor kDarkRed(0x8c, 0x1f, 0x1a);
const QColor kSun(0xff, 0xc8, 0x2e);
const QColor kPaper(0xff, 0xff, 0xff);
const QColor kPaperEdge(0x8a, 0x94, 0xa0);

using Drawing = std::function<void(QPainter&)>;

// Every drawing works on a 32 x 32 grid and is scaled to the size wanted.
QImage Render(const Drawing& draw, int width, int height, qreal grid_w = 32, qreal grid_h = 32) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(width / grid_w, height / grid_h);
  draw(p);
  p.end();
  return image.convertToFormat(QImage::Format_ARGB32);
}

QPen Outline(qreal width = 1.2) {
  return QPen(kInk, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A small landscape photo: sky, sun and a green hill in a white frame.
void Photo(QPainter& p, const QRectF& frame) {
  p.setPen(Outline());
  p.setBrush(kPaper);
  p.drawRoundedRect(frame, 1.2, 1.2);
  const QRectF inner = frame.adjusted(2, 2, -2, -2);
  p.save();
  p.setClipRect(inner);
  QLinearGradient sky(inner.topLeft(), inner.bottomLeft());
  sky.setColorAt(0, kSky.darker(115));
  sky.setColorAt(1, kSky.lighter(115));
  p.setPen(Qt::NoPen);
  p.setBrush(sky);
  p.drawRect(inner);
  p.setBrush(kSun);
  const qreal r = inner.height() * 0.16;
  p.drawEllipse(QPointF(inner.right() - inner.width() * 0.25, inner.top() + inner.height() * 0.3),
                r, r);
  QPainterPath hills;
  hills.moveTo(inner.left(), inner.bottom());
  hills.lineTo(inner.left(), inner.top() + inner.height() * 0.7);
  hills.quadTo(inner.left() + inner.width() * 0.3, inner.top() + inner.height() * 0.25,
               inner.left() + inner.width() * 0.6, inner.top() + inner.height() * 0.75);
  hills.quadTo(inner.left() + inner.width() * 0.8, inner.top() + inner.height() * 0.55,
               inner.right(), inner.top() + inner.height() * 0.7);
  hills.lineTo(inner.right(), inner.bottom());
  hills.closeSubpath();
  p.setBrush(kGreen);
  p.drawPath(hills);
  p.restore();
  p.setPen(Outline(0.8));
  p.setBrush(Qt::NoBrush);
  p.drawRect(inner);
}

// The green "add" badge in the lower right corner of the three add buttons.
void PlusBadge(QPainter& p, QPointF centre = QPointF(24.5, 24.5)) {
  p.setPen(QPen(kDarkGreen, 1.2));
  QRadialGradient fill(centre - QPointF(2, 2), 8);
  fill.setColorAt(0, kGreen.lighter(140));
  fill.setColorAt(1, kGreen);
  p.setBrush(fill);
  p.drawEllipse(centre, 6.8, 6.8);
  p.setPen(QPen(kPaper, 2.4, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(centre + QPointF(-3.8, 0), centre + QPointF(3.8, 0));
  p.drawLine(centre + QPointF(0, -3.8), centre + QPointF(0, 3.8));
}

void Globe(QPainter& p, QPointF c, qreal r) {
  QRadialGradient sea(c - QPointF(r / 3, r / 3), r * 1.3);
  sea.setColorAt(0, kSky);
  sea.setColorAt(1, kBlue);
  p.setPen(QPen(kDeepBlue, 1.2));
  p.setBrush(sea);
  p.drawEllipse(c, r, r);
  p.setPen(QPen(kPaper, 0.9));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(c, r * 0.45, r);
  p.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
  p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
  const qreal dy = r * 0.5, dx = r * 0.866;
  p.drawLine(QPointF(c.x() - dx, c.y() - dy), QPointF(c.x() + dx, c.y() - dy));
  p.drawLine(QPointF(c.x() - dx, c.y() + dy), QPointF(c.x() + dx, c.y() + dy));
}

void DownArrow(QPainter& p, qreal cx, qreal top, qreal bottom, qreal half_width) {
  const qreal shaft = half_width * 0.45;
  const qreal head_top = top + (bottom - top) * 0.5;
  QPainterPath arrow;
  arrow.moveTo(cx - shaft, top);
  arrow.lineTo(cx + shaft, top);
  arrow.lineTo(cx + shaft, head_top);
  arrow.lineTo(cx + half_width, head_top);
  arrow.lineTo(cx, bottom);
  arrow.lineTo(cx - half_width, head_top);
  arrow.lineTo(cx - shaft, head_top);
  arrow.closeSubpath();
  QLinearGradient fill(cx - half_width, 0, cx + half_width, 0);
  fill.setColorAt(0, kGreen.lighter(135));
  fill.setColorAt(1, kGreen);
  p.setPen(QPen(kDarkGreen, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(fill);
  p.drawPath(arrow);
}

void AddFiles(QPainter& p) {
  Photo(p, QRectF(4.5, 3.5, 18, 15));
  Photo(p, QRectF(2.5, 9.5, 18, 15));
  PlusBadge(p);
}

void AddWebSite(QPainter& p) {
  Globe(p, QPointF(14, 14), 11);
  PlusBadge(p);
}

void AddSearch(QPainter& p) {
  p.setPen(QPen(kInk, 4.2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(17.5, 17.5), QPointF(25, 25));
  p.setPen(QPen(QColor(0x9a, 0x6b, 0x3c), 2.4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(18.5, 18.5), QPointF(24.5, 24.5));
  QRadialGradient glass(QPointF(10, 9), 9);
  glass.setColorAt(0, kPaper);
  glass.setColorAt(1, kSky);
  p.setPen(QPen(kInk, 2.2));
  p.setBrush(glass);
  p.drawEllipse(QPointF(12.5, 12.5), 8, 8);
  PlusBadge(p, QPointF(24.5, 25));
}

void Delete(QPainter& p) {
  for (const auto& [pen, width] : {std::pair{kDarkRed, 7.4}, std::pair{kRed, 5.0}}) {
    p.setPen(QPen(pen, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 8), QPointF(24, 24));
    p.drawLine(QPointF(24, 8), QPointF(8, 24));
  }
}

void Download(QPainter& p) {
  // Tray
  QPainterPath tray;
  tray.moveTo(4, 19);
  tray.lineTo(4, 28);
  tray.lineTo(28, 28);
  tray.lineTo(28, 19);
  p.setPen(QPen(kInk, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(tray);
  p.setPen(QPen(kBlue, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(tray);
  DownArrow(p, 16, 3, 25, 9);
}

void Stop(QPainter& p) {
  QPolygonF octagon;
  const QPointF c(16, 16);
  for (int i = 0; i < 8; ++i) {
    const qreal a = (22.5 + 45.0 * i) * M_PI / 180.0;
    octagon << c + QPointF(13.5 * std::cos(a), 13.5 * std::sin(a));
  }
  QLinearGradient fill(0, 3, 0, 29);
  fill.setColorAt(0, kRed.lighter(125));
  fill.setColorAt(1, kRed.darker(110));
  p.setPen(QPen(kDarkRed, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(fill);
  p.drawPolygon(octagon);
  p.setPen(Qt::NoPen);
  p.setBrush(kPaper);
  p.drawRoundedRect(QRectF(8, 13.5, 16, 5), 1, 1);
}

void Properties(QPainter& p) {
  p.setPen(Outline());
  p.setBrush(kPaper);
  p.drawRoundedRect(QRectF(5.5, 2.5, 21, 27), 1.5, 1.5);
  for (int row = 0; row < 4; ++row) {
    const qreal y = 7 + row * 5.5;
    p.setPen(QPen(kInk, 1));
    p.setBrush(row == 1 ? kSky : kPaper);
    p.drawRect(QRectF(8.5, y, 3.5, 3.5));
    p.setPen(QPen(kPaperEdge, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14.5, y + 1.75), QPointF(row % 2 ? 20.5 : 23.5, y + 1.75));
  }
  // Tick the first and third boxes.
  p.setPen(QPen(kGreen.darker(110), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  for (qreal y : {7.0, 18.0}) {
    QPainterPath tick;
    tick.moveTo(9.2, y + 1.6);
    tick.lineTo(10.3, y + 2.8);
    tick.lineTo(12.8, y - 0.6);
    p.drawPath(tick);
  }
}

// Four small photos in a grid: the gallery of saved pictures.
void Gallery(QPainter& p) {
  Photo(p, QRectF(2.5, 3.5, 13, 11));
  Photo(p, QRectF(16.5, 3.5, 13, 11));
  Photo(p, QRectF(2.5, 17.5, 13, 11));
  Photo(p, QRectF(16.5, 17.5, 13, 11));
}

void About(QPainter& p) {
  QRadialGradient fill(QPointF(12, 10), 16);
  fill.setColorAt(0, kBlue.lighter(135));
  fill.setColorAt(1, kDeepBlue);
  p.setPen(QPen(kInk, 1.2));
  p.setBrush(fill);
  p.drawEllipse(QPointF(16, 16), 13.5, 13.5);
  p.setPen(Qt::NoPen);
  p.setBrush(kPaper);
  p.drawEllipse(QPointF(16, 9), 2.6, 2.6);
  QPainterPath stem;
  stem.moveTo(12.5, 13.5);
  stem.lineTo(18, 13.5);
  stem.lineTo(18, 22.5);
  stem.lineTo(20, 22.5);
  stem.lineTo(20, 25);
  stem.lineTo(12, 25);
  stem.lineTo(12, 22.5);
  stem.lineTo(14, 22.5);
  stem.lineTo(14, 16);
  stem.lineTo(12.5, 16);
  stem.closeSubpath();
  p.drawPath(stem);
}

// The program's emblem: a picture with a green arrow taking it home.
void Emblem(QPainter& p) {
  Photo(p, QRectF(2.5, 5.5, 22, 18));
  DownArrow(p, 23, 12, 30, 7);
}

// Background shared by the large pictures.
void Backdrop(QPainter& p, const QRectF& area, Qt::Orientation direction) {
  QLinearGradient fill(area.topLeft(),
                       direction == Qt::Vertical ? area.bottomLeft() : area.topRight());
  fill.setColorAt(0, kDeepBlue);
  fill.setColorAt(1, QColor(0x2a, 0x9d, 0xa8));
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawRect(area);
  // Faint light rays for depth.
  p.setBrush(QColor(255, 255, 255, 22));
  for (int i = 0; i < 5; ++i) {
    QPolygonF ray;
    const qreal x = area.left() + area.width() * (0.1 + 0.2 * i);
    ray << QPointF(x, area.top()) << QPointF(x + area.width() * 0.08, area.top())
        << QPointF(x - area.width() * 0.15, area.bottom())
        << QPointF(x - area.width() * 0.25, area.bottom());
    p.drawPolygon(ray);
  }
}

void Tilted(QPainter& p, QPointF centre, qreal angle, qreal scale, const Drawing& draw) {
  p.save();
  p.translate(centre);
  p.rotate(angle);
  p.scale(scale, scale);
  p.translate(-16, -16);
  draw(p);
  p.restore();
}

// About box: 128 x 160.
void AboutPicture(QPainter& p) {
  Backdrop(p, QRectF(0, 0, 128, 160), Qt::Vertical);
  Tilted(p, QPointF(46, 44), -12, 1.6, [](QPainter& q) { Photo(q, QRectF(3, 6, 26, 20)); });
  Tilted(p, QPointF(80, 62), 9, 1.6, [](QPainter& q) { Photo(q, QRectF(3, 6, 26, 20)); });
  Tilted(p, QPointF(64, 116), 0, 1.9, [](QPainter& q) { DownArrow(q, 16, 4, 28, 11); });
}

// Start dialog banner: 200 x 60.
void StartBanner(QPainter& p) {
  Backdrop(p, QRectF(0, 0, 200, 60), Qt::Horizontal);
  Tilted(p, QPointF(30, 30), -8, 1.3, AddFiles);
  Tilted(p, QPointF(80, 30), 0, 1.3, AddWebSite);
  Tilted(p, QPointF(130, 30), 8, 1.3, AddSearch);
  Tilted(p, QPointF(176, 30), 0, 1.2, [](QPainter& q) { DownArrow(q, 16, 4, 28, 10); });
}

// Start dialog side picture: 120 x 180.
void StartSide(QPainter& p) {
  Backdrop(p, QRectF(0, 0, 120, 180), Qt::Vertical);
  Tilted(p, QPointF(56, 34), -10, 2.0, [](QPainter& q) { Photo(q, QRectF(3, 6, 26, 20)); });
  Tilted(p, QPointF(66, 76), 7, 2.0, [](QPainter& q) { Photo(q, QRectF(3, 6, 26, 20)); });
  Tilted(p, QPointF(60, 138), 0, 2.2, [](QPainter& q) { DownArrow(q, 16, 4, 28, 11); });
}

bool Save(const QImage& image, const QString& path) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <res folder>\n", argv[0]);
    return 2;
  }
  const QString res = QString::fromLocal8Bit(argv[1]);
  bool ok = true;

  const std::pair<const char*, Drawing> buttons[] = {
      {"addfiles", AddFiles},     {"addwebsite", AddWebSite}, {"addsearch", AddSearch},
      {"delete", Delete},         {"download", Download},     {"stop", Stop},
      {"properties", Properties}, {"gallery", Gallery},       {"about", About},
  };
  for (const auto& [name, draw] : buttons)
    ok &= Save(Render(draw, 32, 32), res + "/toolbar/" + name + ".png");

  ok &= Save(Render(AboutPicture, 128, 160, 128, 160), res + "/bitmaps/about.png");
  ok &= Save(Render(StartBanner, 200, 60, 200, 60), res + "/bitmaps/startbanner.png");
  ok &= Save(Render(StartSide, 120, 180, 120, 180), res + "/bitmaps/startside.png");

  ok &= Save(Render(Emblem, 256, 256), res + "/icons/tavrinox.png");
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    ok &= Save(Render(Emblem, size, size),
               QString("%1/icons/hicolor/%2x%2/apps/tavrinox.png").arg(res).arg(size));
  }
  return ok ? 0 : 1;
}
