#include "ui/frame/RateIndicator.h"

#include "files/TransferCopy.h"
#include "ui/views/Thumbnails.h"
#include "workers/WorkerControl.h"

namespace tvx::ui {

QString RateText(double bytesPerSecond) {
  return FormatByteSize(bytesPerSecond) + QStringLiteral("/s");
}

CRateIndicator::CRateIndicator(QWidget* parent) : QLabel(parent) {
  setObjectName(QStringLiteral("ratePane"));
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setAlignment(Qt::AlignCenter);
  setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("1023.9 KB/s")) + 12);
  hide();
  lastBytes_ = BytesTransferred();
  clock_.start();
  timer_.setInterval(1000);
  connect(&timer_, &QTimer::timeout, this, &CRateIndicator::Sample);
  timer_.start();
}

void CRateIndicator::Sample() {
  const std::uint64_t bytes = BytesTransferred();
  const double seconds = std::max<qint64>(clock_.restart(), 1) / 1000.0;
  const double rate = static_cast<double>(bytes - lastBytes_) / seconds;
  lastBytes_ = bytes;
  if (!workers_ || workers_->Live() == 0) {
    hide();
    clear();
    return;
  }
  setText(RateText(rate));
  show();
}

}  // namespace tvx::ui
