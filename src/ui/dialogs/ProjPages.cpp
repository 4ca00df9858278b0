#include "ui/dialogs/ProjPages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "store/SiteOptions.h"
#include "ui/dialogs/FieldText.h"

namespace tvx::ui {

void CPropPage::showEvent(QShowEvent* event) {
  if (!shown_) {
    shown_ = true;
    ToControls();
  }
  QWidget::showEvent(event);
}

// General Settings

CPWGenSettings::CPWGenSettings(QWidget* parent) : CPropPage(parent) {
  auto* nameLabel = new QLabel(QStringLiteral("Project Name"), this);
  nameEdit_ = new QLineEdit(this);
  nameEdit_->setObjectName(QStringLiteral("projectName"));
  nameLabel->setBuddy(nameEdit_);
  auto* addressLabel = new QLabel(QStringLiteral("Get Files from"), this);
  addressEdit_ = new QLineEdit(this);
  addressEdit_->setObjectName(QStringLiteral("address"));
  addressEdit_->setMinimumWidth(300);
  addressLabel->setBuddy(addressEdit_);
  hint_ = new QLabel(QStringLiteral("ex : http://www.example.com/pictures/"), this);
  hint_->setObjectName(QStringLiteral("addressHint"));
  hint_->setEnabled(false);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(nameLabel);
  layout->addWidget(nameEdit_);
  layout->addSpacing(8);
  layout->addWidget(addressLabel);
  layout->addWidget(addressEdit_);
  layout->addWidget(hint_);
  layout->addStretch(1);
}

void CPWGenSettings::ToControls() {
  nameEdit_->setText(projectName);
  addressEdit_->setText(address);
}

void CPWGenSettings::FromControls() {
  projectName = nameEdit_->text();
  address = addressEdit_->text();
}

// File Settings

CFileSettings::CFileSettings(QWidget* parent) : CPropPage(parent) {
  searchForTypes_ = new QRadioButton(QStringLiteral("Search for files of type"), this);
  searchForTypes_->setObjectName(QStringLiteral("searchForTypes"));
  downloadAllFiles_ = new QRadioButton(QStringLiteral("Download all files"), this);
  downloadAllFiles_->setObjectName(QStringLiteral("downloadAllFiles"));
  auto* pair = new QButtonGroup(this);
  pair->addButton(searchForTypes_);
  pair->addButton(downloadAllFiles_);

  static constexpr const char* kLabels[kTypeCount] = {"CDR", "GIF", "JPG", "BMP",
                                                      "PNG", "TGA", "TIF"};
  auto* typeGrid = new QGridLayout;
  typeGrid->setContentsMargins(24, 0, 0, 0);
  for (int i = 0; i < kTypeCount; ++i) {
    auto* box = new QCheckBox(QLatin1String(kLabels[i]), this);
    box->setObjectName(QLatin1String(kLabels[i]).toString().toLower());
    typeGrid->addWidget(box, i / 4, i % 4);
    typeBoxes_[static_cast<std::size_t>(i)] = box;
  }
  otherTypesBox_ = new QCheckBox(QStringLiteral("Other types"), this);
  otherTypesBox_->setObjectName(QStringLiteral("otherTypesBox"));
  otherTypesEdit_ = new QLineEdit(this);
  otherTypesEdit_->setObjectName(QStringLiteral("otherTypes"));
  auto* otherRow = new QHBoxLayout;
  otherRow->addWidget(otherTypesBox_);
  otherRow->addWidget(otherTypesEdit_, 1);
  typeGrid->addLayout(otherRow, 2, 0, 1, 4);

  // How pages are read: below the type choices, which stay where they are.
  auto* rule = new QFrame(this);
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  modernLinksBox_ = new QCheckBox(QStringLiteral("Modern link search"), this);
  modernLinksBox_->setObjectName(QStringLiteral("modernLinks"));
  modernLinksBox_->setToolTip(
      QStringLiteral("Read every link of a page (srcset, lazy pictures, https), in the exact "
                     "letter case, with several transfers at once"));
  modernOptions_ = new QWidget(this);
  modernOptions_->setObjectName(QStringLiteral("modernOptions"));
  transfersLabel_ = new QLabel(QStringLiteral("Transfers at once per host"), modernOptions_);
  transfersBox_ = new QSpinBox(modernOptions_);
  transfersBox_->setObjectName(QStringLiteral("transfersPerHost"));
  transfersBox_->setRange(kMinTransfersPerHost, kMaxTransfersPerHost);
  transfersBox_->setValue(kDefaultTransfersPerHost);
  transfersLabel_->setBuddy(transfersBox_);

  const auto number = [this](const char* name) {
    auto* edit = new QLineEdit(modernOptions_);
    edit->setObjectName(QLatin1String(name));
    edit->setValidator(NewDigitsValidator(edit));
    edit->setMaxLength(7);
    edit->setAlignment(Qt::AlignRight);
    edit->setFixedWidth(64);
    return edit;
  };
  robotsBox_ = new QCheckBox(QStringLiteral("Obey robots.txt"), modernOptions_);
  robotsBox_->setObjectName(QStringLiteral("obeyRobots"));
  auto* waitLabel = new QLabel(QStringLiteral("Wait between requests to a host"), modernOptions_);
  waitBox_ = new QSpinBox(modernOptions_);
  waitBox_->setObjectName(QStringLiteral("waitSeconds"));
  waitBox_->setRange(0, 60);
  waitBox_->setSuffix(QStringLiteral(" s"));
  waitLabel->setBuddy(waitBox_);
  auto* smallestLabel =
      new QLabel(QStringLiteral("Smallest picture (width \u00d7 height, pixels)"), modernOptions_);
  minWidthEdit_ = number("minWidth");
  minHeightEdit_ = number("minHeight");
  smallestLabel->setBuddy(minWidthEdit_);
  auto* sizeLabel = new QLabel(QStringLiteral("File size (KB) from"), modernOptions_);
  minKbEdit_ = number("minKb");
  maxKbEdit_ = number("maxKb");
  sizeLabel->setBuddy(minKbEdit_);
  refetchBox_ = new QCheckBox(QStringLiteral("Fetch deleted pictures again"), modernOptions_);
  refetchBox_->setObjectName(QStringLiteral("refetchDeleted"));
  copiesBox_ = new QCheckBox(QStringLiteral("Skip copies across all projects"), modernOptions_);
  copiesBox_->setObjectName(QStringLiteral("copiesAcrossProjects"));

  const auto pairRow = [this](QLineEdit* first, const QString& between, QLineEdit* second) {
    auto* row = new QHBoxLayout;
    row->addWidget(first);
    row->addWidget(new QLabel(between, modernOptions_));
    row->addWidget(second);
    row->addStretch(1);
    return row;
  };
  auto* modernGrid = new QGridLayout(modernOptions_);
  modernGrid->setContentsMargins(24, 0, 0, 0);
  modernGrid->addWidget(transfersLabel_, 0, 0);
  modernGrid->addWidget(transfersBox_, 0, 1, Qt::AlignLeft);
  modernGrid->addWidget(robotsBox_, 1, 0, 1, 2);
  modernGrid->addWidget(waitLabel, 2, 0);
  modernGrid->addWidget(waitBox_, 2, 1, Qt::AlignLeft);
  modernGrid->addWidget(smallestLabel, 3, 0);
  modernGrid->addLayout(pairRow(minWidthEdit_, QStringLiteral("\u00d7"), minHeightEdit_), 3, 1);
  modernGrid->addWidget(sizeLabel, 4, 0);
  modernGrid->addLayout(pairRow(minKbEdit_, QStringLiteral("to"), maxKbEdit_), 4, 1);
  modernGrid->addWidget(refetchBox_, 5, 0, 1, 2);
  modernGrid->addWidget(copiesBox_, 6, 0, 1, 2);
  modernGrid->setColumnStretch(1, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(searchForTypes_);
  layout->addLayout(typeGrid);
  layout->addSpacing(8);
  layout->addWidget(downloadAllFiles_);
  layout->addSpacing(8);
  layout->addWidget(rule);
  layout->addWidget(modernLinksBox_);
  layout->addWidget(modernOptions_);
  layout->addStretch(1);

  // What only a modern crawl does is greyed while it is not ticked; the
  // values are kept and handed back all the same.
  connect(modernLinksBox_, &QCheckBox::toggled, modernOptions_, &QWidget::setEnabled);
  modernOptions_->setEnabled(false);

  connect(searchForTypes_, &QRadioButton::toggled, this, [this](bool on) {
    if (!on) return;
    downloadAll = 0;
    SetTypeControlsEnabled(true);
  });
  connect(downloadAllFiles_, &QRadioButton::toggled, this, [this](bool on) {
    if (!on) return;
    downloadAll = 1;
    SetTypeControlsEnabled(false);
  });
  downloadAllFiles_->setChecked(true);
}

bool CFileSettings::AnyTypeSet() const {
  for (int t : types)
    if (t) return true;
  return false;
}

void CFileSettings::SetTypeControlsEnabled(bool enabled) {
  // Greyed boxes keep their ticks; they are handed back with the rest.
  for (QCheckBox* box : typeBoxes_) box->setEnabled(enabled);
  otherTypesBox_->setEnabled(enabled);
  otherTypesEdit_->setEnabled(enabled);
}

void CFileSettings::ToControls() {
  for (std::size_t i = 0; i < typeBoxes_.size(); ++i) typeBoxes_[i]->setChecked(types[i] != 0);
  otherTypesEdit_->setText(otherTypes);
  // A project stored as "download all" stays so even when it has ticks left over.
  const bool all = downloadAll != 0 || !AnyTypeSet();
  downloadAll = all ? 1 : 0;
  (all ? downloadAllFiles_ : searchForTypes_)->setChecked(true);
  SetTypeControlsEnabled(!all);
  transfersBox_->setValue(transfersPerHost);
  robotsBox_->setChecked(obeyRobots != 0);
  waitBox_->setValue(waitSeconds);
  minWidthEdit_->setText(minWidth);
  minHeightEdit_->setText(minHeight);
  minKbEdit_->setText(minKb);
  maxKbEdit_->setText(maxKb);
  refetchBox_->setChecked(refetchDeleted != 0);
  copiesBox_->setChecked(copiesAcrossProjects != 0);
  modernLinksBox_->setChecked(modernLinks != 0);
  modernOptions_->setEnabled(modernLinks != 0);
}

void CFileSettings::FromControls() {
  downloadAll = downloadAllFiles_->isChecked() ? 1 : 0;
  for (std::size_t i = 0; i < typeBoxes_.size(); ++i) types[i] = typeBoxes_[i]->isChecked() ? 1 : 0;
  otherTypes = otherTypesEdit_->text();
  modernLinks = modernLinksBox_->isChecked() ? 1 : 0;
  transfersPerHost = transfersBox_->value();
  obeyRobots = robotsBox_->isChecked() ? 1 : 0;
  waitSeconds = waitBox_->value();
  minWidth = minWidthEdit_->text();
  minHeight = minHeightEdit_->text();
  minKb = minKbEdit_->text();
  maxKb = maxKbEdit_->text();
  refetchDeleted = refetchBox_->isChecked() ? 1 : 0;
  copiesAcrossProjects = copiesBox_->isChecked() ? 1 : 0;
}

// Run Settings

CPRunSettings::CPRunSettings(QWidget* parent) : CPropPage(parent) {
  controls_ = new RunTimeControls(this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(controls_);
  layout->addStretch(1);
}

void CPRunSettings::ToControls() { controls_->SetTimes(times); }
void CPRunSettings::FromControls() { times = controls_->Times(); }

// Advanced Settings

CPAdvancedSettings::CPAdvancedSettings(QWidget* parent) : CPropPage(parent) {
  auto* maxLabel = new QLabel(QStringLiteral("Max Domain Count"), this);
  maxDomainEdit_ = new QLineEdit(this);
  maxDomainEdit_->setObjectName(QStringLiteral("maxDomainCount"));
  maxDomainEdit_->setValidator(NewDigitsValidator(maxDomainEdit_));
  maxDomainEdit_->setAlignment(Qt::AlignRight);
  maxDomainEdit_->setFixedWidth(80);
  maxLabel->setBuddy(maxDomainEdit_);
  auto* maxRow = new QHBoxLayout;
  maxRow->addWidget(maxLabel);
  maxRow->addWidget(maxDomainEdit_);
  maxRow->addStretch(1);

  exitDomainBox_ = new QCheckBox(QStringLiteral("Exit domain"), this);
  exitDomainBox_->setObjectName(QStringLiteral("exitDomain"));

  auto* user = new QGroupBox(QStringLiteral("User Settings"), this);
  userNameEdit_ = new QLineEdit(user);
  userNameEdit_->setObjectName(QStringLiteral("userName"));
  passwordEdit_ = new QLineEdit(user);
  passwordEdit_->setObjectName(QStringLiteral("password"));
  // The password is shown as typed, like every other box of the sheet.
  passwordEdit_->setEchoMode(QLineEdit::Normal);
  auto* form = new QFormLayout(user);
  form->addRow(QStringLiteral("User Name"), userNameEdit_);
  form->addRow(QStringLiteral("Password"), passwordEdit_);

  // Cookies of a browser session, for sites that show their pictures only
  // to a user who is logged in.
  auto* cookies = new QGroupBox(QStringLiteral("Cookies"), this);
  auto* cookieLabel = new QLabel(QStringLiteral("Cookie file"), cookies);
  cookieFileEdit_ = new QLineEdit(cookies);
  cookieFileEdit_->setObjectName(QStringLiteral("cookieFile"));
  cookieFileEdit_->setPlaceholderText(QStringLiteral("cookies.txt or a Firefox cookies.sqlite"));
  cookieLabel->setBuddy(cookieFileEdit_);
  cookieFileButton_ = new QPushButton(QStringLiteral("Browse..."), cookies);
  cookieFileButton_->setObjectName(QStringLiteral("chooseCookieFile"));
  connect(cookieFileButton_, &QPushButton::clicked, this, &CPAdvancedSettings::ChooseCookieFile);
  auto* cookieRow = new QHBoxLayout(cookies);
  cookieRow->addWidget(cookieLabel);
  cookieRow->addWidget(cookieFileEdit_, 1);
  cookieRow->addWidget(cookieFileButton_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(maxRow);
  layout->addWidget(exitDomainBox_);
  layout->addSpacing(8);
  layout->addWidget(user);
  layout->addWidget(cookies);
  layout->addStretch(1);
}

void CPAdvancedSettings::ChooseCookieFile() {
  const QString start =
      cookieFileEdit_->text().isEmpty() ? QDir::homePath() : cookieFileEdit_->text();
  const QString chosen =
      QFileDialog::getOpenFileName(this, QStringLiteral("Cookie file"), start,
                                   QStringLiteral("Cookie files (*.txt *.sqlite);;All files (*)"));
  if (!chosen.isEmpty()) cookieFileEdit_->setText(chosen);
}

void CPAdvancedSettings::ToControls() {
  maxDomainEdit_->setText(maxDomainCount);
  exitDomainBox_->setChecked(exitDomain != 0);
  userNameEdit_->setText(userName);
  passwordEdit_->setText(password);
  cookieFileEdit_->setText(cookieFile);
}

void CPAdvancedSettings::FromControls() {
  maxDomainCount = maxDomainEdit_->text();
  exitDomain = exitDomainBox_->isChecked() ? 1 : 0;
  userName = userNameEdit_->text();
  password = passwordEdit_->text();
  cookieFile = cookieFileEdit_->text().trimmed();
}

}  // namespace tvx::ui
