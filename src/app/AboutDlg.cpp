#include "app/AboutDlg.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/views/ShellOpen.h"

namespace tvx::ui {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Quillanto for Pictures"));

  auto* picture = new QLabel(this);
  QPixmap bitmap(QStringLiteral(":/bitmaps/about.png"));
  if (!bitmap.isNull()) picture->setPixmap(bitmap);
  picture->setMinimumWidth(bitmap.isNull() ? 64 : bitmap.width());
  picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  auto* title = new QLabel(QStringLiteral("Quillanto for pictures v1.0"), this);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  auto* motto = new QLabel(QStringLiteral("The ultimate picture download tool"), this);

  auto* others = new QGroupBox(QStringLiteral("Other products from this suite"), this);
  auto* othersLayout = new QVBoxLayout(others);
  for (const char* name : {"Quillanto for music", "Quillanto for movies", "Quillanto for documents",
                           "Quillanto site mirror"})
    othersLayout->addWidget(new QLabel(QString::fromLatin1(name), others));

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setDefault(true);
  ok_->setAutoDefault(true);
  products_ = new QPushButton(QStringLiteral("Check out other products"), this);
  products_->setAutoDefault(false);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(products_, &QPushButton::clicked, this, &CAboutDlg::OpenProductsPage);

  auto* texts = new QVBoxLayout;
  texts->addWidget(title);
  texts->addWidget(motto);
  texts->addWidget(others);
  texts->addStretch(1);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok_);
  buttons->addWidget(products_);
  buttons->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(picture);
  layout->addLayout(texts, 1);
  layout->addLayout(buttons);
}

void CAboutDlg::OpenProductsPage() {
  OpenWithShell(QUrl::fromUserInput(QString::fromLatin1(kProductsPage)));
}

void CAboutDlg::reject() { OpenProductsPage(); }

}  // namespace tvx::ui
