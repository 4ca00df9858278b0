// bench gallery: the real gallery (offscreen, 1280 x 800) over PICTURES saved
// pictures in FOLDERS project folders, with a cold thumbnail cache.
//
//   first_screen_ms  from the view's start (its scan of Pictures included) to
//                    the first screen drawn with every thumbnail in it
//   p99_stall_ms,    the gaps between two turns of the window's event loop
//   max_stall_ms     (a zero-interval timer) while the whole grid is scrolled
//                    a page at a time, STEPS steps a second: the longest gap
//                    of each step's interval, p99 over the steps, and the
//                    longest of all
//   p99_frame_ms     the same scroll per step: the time to scroll a page and
//                    paint it; p99_frame_cpu_ms the window thread's processor
//                    time for it (what a busy machine does not add to)
//   rss_mb           the process's peak resident memory
//
//   bench_gallery FOLDER    (FOLDER holds Pictures, made on the first run)
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "StallMeter.h"
#include "ui/views/Gallery.h"

namespace {

int EnvInt(const char* name, int fallback) {
  const int value = qEnvironmentVariableIntValue(name);
  return value > 0 ? value : fallback;
}

// Tiny PNGs (32 x 32) in a few colours, their bytes written again and again:
// the pictures are many, not large.
bool MakePictures(const QString& root, int pictures, int folders) {
  std::vector<QByteArray> kinds;
  for (int k = 0; k < 12; ++k) {
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(k * 30, 150, 220));
    QPainter(&image).fillRect(8, 8, 16, 16, QColor::fromHsv((k * 30 + 180) % 360, 200, 120));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    kinds.push_back(bytes);
  }
  for (int i = 0; i < pictures; ++i) {
    const QString folder =
        QStringLiteral("%1/site%2").arg(root).arg(i % folders, 3, 10, QChar('0'));
    if (i < folders && !QDir().mkpath(folder)) return false;
    QFile file(QStringLiteral("%1/picture%2.png").arg(folder).arg(i, 6, 10, QChar('0')));
    if (!file.open(QIODevice::WriteOnly) || file.write(kinds[i % kinds.size()]) < 0) return false;
  }
  return true;
}

// The processor time the calling thread has had: unlike the clock, it does
// not grow while other programs have the processor.
double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double PeakRssMb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir cache;
  qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_gallery FOLDER\n");
    return 2;
  }
  const int pictures = EnvInt("PICTURES", 100000);
  const int folders = EnvInt("FOLDERS", 500);
  const int steps = EnvInt("STEPS", 30);
  QDir::setCurrent(QString::fromLocal8Bit(argv[1]));
  const QString marker = QStringLiteral(".made-%1-%2").arg(pictures).arg(folders);
  if (!QFile::exists(marker)) {
    QDir("Pictures").removeRecursively();
    QElapsedTimer made;
    made.start();
    if (!MakePictures(QDir::current().absoluteFilePath("Pictures"), pictures, folders)) {
      std::fprintf(stderr, "bench gallery: cannot write the pictures\n");
      return 1;
    }
    QFile(marker).open(QIODevice::WriteOnly);
    // The view is timed on a disk at rest, not one still writing these out.
    ::sync();
    std::fprintf(stderr, "bench gallery: %d pictures made in %.1f s\n", pictures,
                 made.elapsed() / 1000.0);
  }

  QElapsedTimer clock;
  clock.start();
  tvx::ui::CGallery gallery;
  gallery.resize(1280, 800);
  gallery.show();

  // The first screen: every picture known, every thumbnail in view drawn.
  double firstScreenMs = -1;
  QTimer watch;
  watch.setInterval(0);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (gallery.Model()->PictureCount() < pictures || !gallery.ViewComplete()) {
      if (clock.elapsed() > 120000) QApplication::exit(1);
      return;
    }
    gallery.List()->viewport()->repaint();
    firstScreenMs = clock.nsecsElapsed() / 1e6;
    watch.stop();
    QApplication::exit(0);
  });
  watch.start();
  if (QApplication::exec() != 0) {
    std::fprintf(stderr, "bench gallery: the first screen never came (%d pictures known)\n",
                 gallery.Model()->PictureCount());
    return 1;
  }

  // The whole grid, a page a step.
  StallMeter gaps, stepWorst, frames, frameCpu;
  double worst = 0;  // the longest gap since the last step
  QScrollBar* bar = gallery.List()->verticalScrollBar();
  qint64 last = clock.nsecsElapsed();
  QTimer ticker;
  ticker.setInterval(0);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    const double gap = (now - last) / 1e6;
    gaps.Add(gap);
    worst = std::max(worst, gap);
    last = now;
  });
  int stepsTaken = 0;
  QTimer scroll;
  scroll.setInterval(1000 / steps);
  QObject::connect(&scroll, &QTimer::timeout, [&] {
    if (bar->value() >= bar->maximum()) {
      scroll.stop();
      ticker.stop();
      QApplication::quit();
      return;
    }
    if (stepsTaken > 0) stepWorst.Add(worst);
    worst = 0;
    const qint64 start = clock.nsecsElapsed();
    const double cpuStart = ThreadCpuMs();
    bar->setValue(bar->value() + gallery.List()->viewport()->height());
    gallery.List()->viewport()->repaint();
    frames.Add((clock.nsecsElapsed() - start) / 1e6);
    frameCpu.Add(ThreadCpuMs() - cpuStart);
    ++stepsTaken;
  });
  last = clock.nsecsElapsed();
  ticker.start();
  scroll.start();
  QApplication::exec();

  std::printf(
      "bench gallery: pictures=%d folders=%d first_screen_ms=%.0f p99_stall_ms=%.2f "
      "max_stall_ms=%.1f p99_over=scroll_steps turns=%llu p99_frame_ms=%.2f p99_frame_cpu_ms=%.2f "
      "steps=%d "
      "steps_per_s=%d thumbnails_made=%d rss_mb=%.0f\n",
      pictures, folders, firstScreenMs, stepWorst.QuantileMs(0.99), gaps.MaxMs(),
      static_cast<unsigned long long>(gaps.Count()), frames.QuantileMs(0.99),
      frameCpu.QuantileMs(0.99), stepsTaken, steps, gallery.Thumbs()->Delivered(), PeakRssMb());
  return 0;
}
