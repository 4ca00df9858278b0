#include "ui/views/PreviewPane.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QVBoxLayout>

#include "ui/views/Thumbnails.h"

namespace tvx::ui {

CPreviewPane::CPreviewPane(QWidget* parent) : QDockWidget(QStringLiteral("Preview"), parent) {
  setObjectName(QStringLiteral("previewPane"));
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  picture_ = new QLabel(body);
  picture_->setAlignment(Qt::AlignCenter);
  picture_->setMinimumSize(160, 120);
  picture_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  name_ = new QLabel(body);
  name_->setWordWrap(true);
  size_ = new QLabel(body);
  layout->addWidget(picture_, 1);
  layout->addWidget(name_);
  layout->addWidget(size_);
  setWidget(body);
  ApplyDecodeLimits();
  resized_.setSingleShot(true);
  resized_.setInterval(100);
  connect(&resized_, &QTimer::timeout, this, &CPreviewPane::Decode);
}

void CPreviewPane::ShowFile(const QString& file) {
  if (file == file_ && !file.isEmpty()) return Decode();
  file_ = file;
  ++generation_;
  decoding_ = false;
  decodedBox_ = QSize();
  picture_->clear();
  if (file.isEmpty()) {
    name_->clear();
    size_->clear();
    return;
  }
  const QFileInfo info(file);
  name_->setText(info.fileName());
  size_->setText(info.isFile() ? FormatByteSize(static_cast<double>(info.size())) : QString());
  Decode();
}

void CPreviewPane::resizeEvent(QResizeEvent* event) {
  QDockWidget::resizeEvent(event);
  if (!file_.isEmpty()) resized_.start();
}

void CPreviewPane::Decode() {
  if (file_.isEmpty() || !isVisible()) return;
  const QSize box = picture_->size();
  if (box == decodedBox_) return;  // a resize that left the picture's room as it was
  decodedBox_ = box;
  const int generation = ++generation_;
  const QString file = file_;
  QPointer<CPreviewPane> self(this);
  decoding_ = true;
  runner_.Submit([self, generation, file, box](const std::atomic<bool>& abandon) {
    DecodedPicture picture = DecodeToFit(file, box, &abandon);
    if (picture.outcome == DecodedPicture::Outcome::Abandoned) return;
    QMetaObject::invokeMethod(
        qApp,
        [self, generation, picture = std::move(picture)] {
          if (self) self->Show(generation, picture);
        },
        Qt::QueuedConnection);
  });
}

void CPreviewPane::Show(int generation, const DecodedPicture& picture) {
  if (generation != generation_) return;  // another file, or another size, since
  decoding_ = false;
  if (picture.outcome == DecodedPicture::Outcome::TooLarge) {
    picture_->setText(TooLargeText());
  } else if (picture.image.isNull()) {
    picture_->setText(QStringLiteral("This picture cannot be shown"));
  } else {
    picture_->setPixmap(QPixmap::fromImage(picture.image));
  }
  QString size;
  if (picture.pixels.isValid())
    size = QStringLiteral("%1 \u00d7 %2 pixels, ")
               .arg(picture.pixels.width())
               .arg(picture.pixels.height());
  if (picture.bytes >= 0) size += FormatByteSize(static_cast<double>(picture.bytes));
  size_->setText(size);
}

}  // namespace tvx::ui
