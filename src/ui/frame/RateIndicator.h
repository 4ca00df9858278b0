// The status bar's overall transfer rate ("1.2 MB/s"): shown once a second
// while any worker runs, hidden while none does.
#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <cstdint>

namespace tvx {
class Workers;
}  // namespace tvx

namespace tvx::ui {

class CRateIndicator : public QLabel {
  Q_OBJECT

 public:
  explicit CRateIndicator(QWidget* parent = nullptr);
  // Whose workers it watches: while none runs, it hides.
  void SetWorkers(const Workers* workers) { workers_ = workers; }

  // One reading: the rate since the last one, from the process's byte count
  // (called by the timer every second; tests call it themselves).
  void Sample();

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  std::uint64_t lastBytes_ = 0;
  const Workers* workers_ = nullptr;
};

// "1.2 MB/s" for that many bytes per second.
QString RateText(double bytesPerSecond);

}  // namespace tvx::ui
