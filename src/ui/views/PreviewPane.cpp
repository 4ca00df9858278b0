#include "ui/views/PreviewPane.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QThreadPool>
#include <QVBoxLayout>

#include "ui/views/Thumbnails.h"

namespace tvx::ui {

FittedPicture DecodeToFit(const QString& file, QSize box) {
  FittedPicture out;
  const QFileInfo info(file);
  if (!info.isFile()) return out;
  out.bytes = info.size();
  QImageReader reader(file);
  reader.setAutoTransform(true);
  out.pixels = reader.size();
  if (!out.pixels.isValid()) return out;
  // Large pictures are decoded at the size they are shown, not in full.
  if (box.isValid() && (out.pixels.width() > box.width() || out.pixels.height() > box.height()))
    reader.setScaledSize(out.pixels.scaled(box, Qt::KeepAspectRatio));
  out.image = reader.read();
  return out;
}

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
  resized_.setSingleShot(true);
  resized_.setInterval(100);
  connect(&resized_, &QTimer::timeout, this, &CPreviewPane::Decode);
}

void CPreviewPane::ShowFile(const QString& file) {
  if (file == file_ && !file.isEmpty()) return;
  file_ = file;
  ++generation_;
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
  const int generation = ++generation_;
  const QString file = file_;
  const QSize box = picture_->size();
  QPointer<CPreviewPane> self(this);
  ++pending_;
  QThreadPool::globalInstance()->start([self, generation, file, box] {
    FittedPicture picture = DecodeToFit(file, box);
    QMetaObject::invokeMethod(
        qApp,
        [self, generation, picture] {
          if (self) self->Show(generation, picture);
        },
        Qt::QueuedConnection);
  });
}

void CPreviewPane::Show(int generation, const FittedPicture& picture) {
  --pending_;
  if (generation != generation_) return;  // another file, or another size, since
  if (picture.image.isNull()) {
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
