#include "ui/dialogs/StartDlg.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tvx::ui {
namespace {

constexpr QSize kSideSize(120, 180);
constexpr QSize kBannerSize(200, 60);

// The picture from the resources, or a plain drawn stand-in when the
// resource is missing, so the dialog keeps its shape either way.
QPixmap LoadPicture(const QString& resource, QSize size, const QString& fallbackText) {
  QPixmap picture(resource);
  if (!picture.isNull()) {
    if (picture.size() != size)
      picture = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return picture;
  }
  QPixmap drawn(size);
  QPainter painter(&drawn);
  QLinearGradient gradient(0, 0, size.width(), size.height());
  gradient.setColorAt(0.0, QColor(0x1f, 0x3a, 0x6e));
  gradient.setColorAt(1.0, QColor(0x4f, 0x8a, 0xc9));
  painter.fillRect(drawn.rect(), gradient);
  painter.setPen(Qt::white);
  QFont font = painter.font();
  font.setBold(true);
  font.setPointSize(size.height() < 100 ? 14 : 12);
  painter.setFont(font);
  painter.drawText(drawn.rect(), Qt::AlignCenter | Qt::TextWordWrap, fallbackText);
  return drawn;
}

}  // namespace

CStartDlg::CStartDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Start a New Project"));
  setModal(true);

  side_ = new QLabel(this);
  side_->setObjectName(QStringLiteral("sidePicture"));
  side_->setPixmap(LoadPicture(QStringLiteral(":/bitmaps/startside.png"), kSideSize,
                               QStringLiteral("Tavrinox")));
  side_->setFixedSize(kSideSize);
  banner_ = new QLabel(this);
  banner_->setObjectName(QStringLiteral("bannerPicture"));
  banner_->setPixmap(LoadPicture(QStringLiteral(":/bitmaps/startbanner.png"), kBannerSize,
                                 QStringLiteral("Tavrinox")));
  banner_->setFixedSize(kBannerSize);

  webSite_ = new QRadioButton(QStringLiteral("Start a Web Site Project"), this);
  webSite_->setObjectName(QStringLiteral("webSiteProject"));
  search_ = new QRadioButton(QStringLiteral("Start a New Search Project"), this);
  search_->setObjectName(QStringLiteral("searchProject"));
  program_ = new QRadioButton(QStringLiteral("Start the Quillanto"), this);
  program_->setObjectName(QStringLiteral("startProgram"));
  auto* group = new QButtonGroup(this);
  group->addButton(webSite_, kWebSiteProject);
  group->addButton(search_, kSearchProject);
  group->addButton(program_, kStartProgram);
  program_->setChecked(true);
  connect(group, &QButtonGroup::idClicked, this, [this](int id) { choice_ = id; });
  // Arrow keys move the check without a click; follow the check itself too.
  connect(group, &QButtonGroup::idToggled, this, [this](int id, bool on) {
    if (on && shown_) choice_ = id;
  });

  proceed_ = new QPushButton(QStringLiteral("Proceed"), this);
  proceed_->setObjectName(QStringLiteral("proceed"));
  proceed_->setDefault(true);
  proceed_->setAutoDefault(true);
  connect(proceed_, &QPushButton::clicked, this, &QDialog::accept);

  auto* choices = new QVBoxLayout;
  choices->addWidget(banner_, 0, Qt::AlignRight);
  choices->addSpacing(10);
  choices->addWidget(webSite_);
  choices->addWidget(search_);
  choices->addWidget(program_);
  choices->addStretch(1);
  choices->addWidget(proceed_, 0, Qt::AlignRight);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(side_, 0, Qt::AlignTop);
  layout->addSpacing(8);
  layout->addLayout(choices, 1);
}

QRadioButton* CStartDlg::choiceButton(int choice) const {
  switch (choice) {
    case kWebSiteProject:
      return webSite_;
    case kSearchProject:
      return search_;
    case kStartProgram:
      return program_;
    default:
      return nullptr;
  }
}

void CStartDlg::showEvent(QShowEvent* event) {
  if (!shown_) {
    shown_ = true;
    program_->setChecked(true);
    choice_ = kStartProgram;
    program_->setFocus();
  }
  QDialog::showEvent(event);
}

}  // namespace tvx::ui
