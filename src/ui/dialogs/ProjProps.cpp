#include "ui/dialogs/ProjProps.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/MessageBox.h"
#include "ui/dialogs/FieldText.h"

namespace tvx::ui {
namespace {

// A count for a box that is empty when there is none.
QString CountText(int value) { return value == 0 ? QString() : QString::number(value); }

}  // namespace

CProjProps::CProjProps(const QString& title, QWidget* parent) : QDialog(parent) {
  setWindowTitle(title);
  setModal(true);

  general_ = new CPWGenSettings(this);
  run_ = new CPRunSettings(this);
  advanced_ = new CPAdvancedSettings(this);
  files_ = new CFileSettings(this);
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("pages"));
  // All four titles stay readable: the sheet grows to fit the tab row.
  tabs_->setUsesScrollButtons(false);
  tabs_->setElideMode(Qt::ElideNone);
  tabs_->addTab(general_, QStringLiteral("General Settings"));
  tabs_->addTab(files_, QStringLiteral("File Settings"));
  tabs_->addTab(run_, QStringLiteral("Run Settings"));
  tabs_->addTab(advanced_, QStringLiteral("Advanced Settings"));
  tabs_->setCurrentIndex(0);

  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  okButton()->setText(QStringLiteral("OK"));
  okButton()->setObjectName(QStringLiteral("ok"));
  okButton()->setDefault(true);
  buttons_->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
  buttons_->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
  connect(buttons_, &QDialogButtonBox::accepted, this, &CProjProps::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons_);
  general_->nameEdit()->setFocus();
}

QPushButton* CProjProps::okButton() const { return buttons_->button(QDialogButtonBox::Ok); }

void CProjProps::Load(const SiteProject& project, const SiteOptions& options) {
  general_->projectName = FieldText(project.name);
  general_->address = FieldText(project.startUrl);

  files_->types = {project.typeCdr, project.typeGif, project.typeJpg, project.typeBmp,
                   project.typePng, project.typeTga, project.typeTif};
  files_->otherTypes = FieldText(project.otherTypes);
  // A project with no type ticked downloads everything; one stored as
  // "download all" keeps that choice even with ticks left from earlier.
  files_->downloadAll = (project.downloadAllFiles || !files_->AnyTypeSet()) ? 1 : 0;
  loadedOptions_ = options;
  files_->modernLinks = options.modernLinks ? 1 : 0;
  files_->transfersPerHost = options.transfersPerHost;
  files_->obeyRobots = options.obeyRobots ? 1 : 0;
  files_->waitSeconds = options.waitSeconds;
  files_->minWidth = CountText(options.minWidth);
  files_->minHeight = CountText(options.minHeight);
  files_->minKb = CountText(options.minKb);
  files_->maxKb = CountText(options.maxKb);
  files_->refetchDeleted = options.refetchDeleted ? 1 : 0;
  files_->copiesAcrossProjects = options.copiesAcrossProjects ? 1 : 0;
  advanced_->cookieFile = QString::fromStdString(options.cookieFile);

  run_->times.runWhenRequested = project.runWhenRequested ? 1 : 0;
  run_->times.stopWhenRequested = project.stopWhenRequested ? 1 : 0;
  run_->times.startHour = NumberText(project.startHour);
  run_->times.startMinute = NumberText(project.startMinute);
  run_->times.stopHour = NumberText(project.stopHour);
  run_->times.stopMinute = NumberText(project.stopMinute);

  advanced_->maxDomainCount = NumberText(project.maxDomainCount);
  advanced_->userName = FieldText(project.userName);
  advanced_->password = FieldText(project.password);
  advanced_->exitDomain = project.exitDomain ? 1 : 0;
}

void CProjProps::StoreInto(SiteProject& project) const {
  StoreText(project.name, general_->projectName);
  StoreText(project.startUrl, general_->address);

  project.downloadAllFiles = files_->downloadAll;
  project.typeCdr = files_->types[CFileSettings::kCdr];
  project.typeGif = files_->types[CFileSettings::kGif];
  project.typeJpg = files_->types[CFileSettings::kJpg];
  project.typeBmp = files_->types[CFileSettings::kBmp];
  project.typePng = files_->types[CFileSettings::kPng];
  project.typeTga = files_->types[CFileSettings::kTga];
  project.typeTif = files_->types[CFileSettings::kTif];
  StoreText(project.otherTypes, files_->otherTypes);

  const RunTimes& t = run_->times;
  project.runWhenRequested = t.runWhenRequested;
  project.stopWhenRequested = t.stopWhenRequested;
  project.startHour = TextToNumber(t.startHour);
  project.startMinute = TextToNumber(t.startMinute);
  project.stopHour = TextToNumber(t.stopHour);
  project.stopMinute = TextToNumber(t.stopMinute);

  project.maxDomainCount = TextToNumber(advanced_->maxDomainCount);
  project.exitDomain = advanced_->exitDomain;
  StoreText(project.userName, advanced_->userName);
  StoreText(project.password, advanced_->password);
}

SiteOptions CProjProps::Options() const {
  // Settings the sheet does not show stay as they were.
  SiteOptions options = loadedOptions_;
  options.modernLinks = files_->modernLinks != 0;
  options.transfersPerHost = files_->transfersPerHost;
  options.obeyRobots = files_->obeyRobots != 0;
  options.waitSeconds = files_->waitSeconds;
  options.minWidth = TextToNumber(files_->minWidth);
  options.minHeight = TextToNumber(files_->minHeight);
  options.minKb = TextToNumber(files_->minKb);
  options.maxKb = TextToNumber(files_->maxKb);
  options.refetchDeleted = files_->refetchDeleted != 0;
  options.copiesAcrossProjects = files_->copiesAcrossProjects != 0;
  options.cookieFile = advanced_->cookieFile.toStdString();
  return options;
}

void CProjProps::accept() {
  general_->Collect();
  files_->Collect();
  run_->Collect();
  advanced_->Collect();
  if (nameCheck_) {
    const QString problem = nameCheck_(general_->projectName);
    if (!problem.isEmpty()) {
      ShowMessageBox(this, problem);
      tabs_->setCurrentWidget(general_);
      general_->nameEdit()->setFocus();
      return;
    }
  }
  QDialog::accept();
}

}  // namespace tvx::ui
