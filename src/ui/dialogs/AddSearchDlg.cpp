#include "ui/dialogs/AddSearchDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/MessageBox.h"
#include "ui/dialogs/FieldText.h"

namespace tvx::ui {
namespace {

constexpr const char* kEngineLabels[7] = {"Altavista",  "HotBot", "Yahoo", "Northern Light",
                                          "WebCrawler", "MSN",    "Go2Net"};
constexpr const char* kEngineNames[7] = {"altaVista",  "hotBot", "yahoo", "northernLight",
                                         "webCrawler", "msn",    "go2Net"};
// Only the first three engines can be queried; the rest stay greyed.
constexpr int kUsableEngines = 3;

constexpr const char* kTodayLabels[3] = {"Openverse", "Wikimedia Commons", "DuckDuckGo"};
constexpr const char* kTodayNames[3] = {"openverse", "commons", "duckDuckGo"};
constexpr bool TodayEngines::*kTodayFlags[3] = {&TodayEngines::openverse, &TodayEngines::commons,
                                                &TodayEngines::duckDuckGo};

}  // namespace

CAddSearchDlg::CAddSearchDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Add a Search Project"));
  setModal(true);

  auto* nameLabel = new QLabel(QStringLiteral("Project name"), this);
  nameEdit_ = new QLineEdit(this);
  nameEdit_->setObjectName(QStringLiteral("name"));
  nameLabel->setBuddy(nameEdit_);
  auto* searchLabel = new QLabel(QStringLiteral("Search for"), this);
  searchEdit_ = new QLineEdit(this);
  searchEdit_->setObjectName(QStringLiteral("searchText"));
  searchEdit_->setMinimumWidth(260);
  searchLabel->setBuddy(searchEdit_);
  auto* onLabel = new QLabel(QStringLiteral("on"), this);

  auto* texts = new QGridLayout;
  texts->addWidget(nameLabel, 0, 0);
  texts->addWidget(nameEdit_, 0, 1, 1, 2);
  texts->addWidget(searchLabel, 1, 0);
  texts->addWidget(searchEdit_, 1, 1);
  texts->addWidget(onLabel, 1, 2);

  auto* engines = new QGroupBox(QStringLiteral("Search Engines"), this);
  auto* engineGrid = new QGridLayout(engines);
  for (int i = 0; i < 7; ++i) {
    auto* box = new QCheckBox(QLatin1String(kEngineLabels[i]), engines);
    box->setObjectName(QLatin1String(kEngineNames[i]));
    box->setEnabled(i < kUsableEngines);
    engineGrid->addWidget(box, i / 4, i % 4);
    engineBoxes_[static_cast<std::size_t>(i)] = box;
  }

  auto* today = new QGroupBox(QStringLiteral("Engines of today"), this);
  auto* todayRow = new QHBoxLayout(today);
  for (int i = 0; i < 3; ++i) {
    auto* box = new QCheckBox(QLatin1String(kTodayLabels[i]), today);
    box->setObjectName(QLatin1String(kTodayNames[i]));
    todayRow->addWidget(box);
    todayBoxes_[static_cast<std::size_t>(i)] = box;
  }
  todayRow->addStretch(1);

  runTimes_ = new RunTimeControls(this);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &CAddSearchDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(texts);
  layout->addWidget(engines);
  layout->addWidget(today);
  layout->addWidget(runTimes_);
  layout->addWidget(buttons);

  setTabOrder(nameEdit_, searchEdit_);
  QWidget* previous = searchEdit_;
  for (QCheckBox* box : engineBoxes_) {
    setTabOrder(previous, box);
    previous = box;
  }
  for (QCheckBox* box : todayBoxes_) {
    setTabOrder(previous, box);
    previous = box;
  }
  setTabOrder(previous, runTimes_->firstInTabOrder());
  nameEdit_->setFocus();

  values_.times = RunTimes{};
  ToControls();
}

void CAddSearchDlg::Load(const SearchProject& project, const TodayEngines& today) {
  values_.name = FieldText(project.name);
  values_.searchText = FieldText(project.searchText);
  values_.engines = {project.useAltaVista,     project.useHotBot,     project.useYahoo,
                     project.useNorthernLight, project.useWebCrawler, project.useMsn,
                     project.useGo2Net};
  values_.today = today;
  values_.times.runWhenRequested = project.runWhenRequested ? 1 : 0;
  values_.times.stopWhenRequested = project.stopWhenRequested ? 1 : 0;
  values_.times.startHour = NumberText(project.startHour);
  values_.times.startMinute = NumberText(project.startMinute);
  values_.times.stopHour = NumberText(project.stopHour);
  values_.times.stopMinute = NumberText(project.stopMinute);
  ToControls();
}

void CAddSearchDlg::StoreInto(SearchProject& project) const {
  StoreText(project.name, values_.name);
  StoreText(project.searchText, values_.searchText);
  project.useAltaVista = values_.engines[0];
  project.useHotBot = values_.engines[1];
  project.useYahoo = values_.engines[2];
  project.useNorthernLight = values_.engines[3];
  project.useWebCrawler = values_.engines[4];
  project.useMsn = values_.engines[5];
  project.useGo2Net = values_.engines[6];
  project.runWhenRequested = values_.times.runWhenRequested;
  project.stopWhenRequested = values_.times.stopWhenRequested;
  project.startHour = TextToNumber(values_.times.startHour);
  project.startMinute = TextToNumber(values_.times.startMinute);
  project.stopHour = TextToNumber(values_.times.stopHour);
  project.stopMinute = TextToNumber(values_.times.stopMinute);
}

void CAddSearchDlg::showEvent(QShowEvent* event) {
  if (!shown_) {
    shown_ = true;
    nameEdit_->setFocus();
  }
  QDialog::showEvent(event);
}

void CAddSearchDlg::ToControls() {
  nameEdit_->setText(values_.name);
  searchEdit_->setText(values_.searchText);
  for (std::size_t i = 0; i < engineBoxes_.size(); ++i)
    engineBoxes_[i]->setChecked(values_.engines[i] != 0);
  for (std::size_t i = 0; i < todayBoxes_.size(); ++i)
    todayBoxes_[i]->setChecked(values_.today.*kTodayFlags[i]);
  runTimes_->SetTimes(values_.times);
}

void CAddSearchDlg::FromControls() {
  values_.name = nameEdit_->text();
  values_.searchText = searchEdit_->text();
  for (std::size_t i = 0; i < engineBoxes_.size(); ++i)
    values_.engines[i] = engineBoxes_[i]->isChecked() ? 1 : 0;
  for (std::size_t i = 0; i < todayBoxes_.size(); ++i)
    values_.today.*kTodayFlags[i] = todayBoxes_[i]->isChecked();
  values_.times = runTimes_->Times();
}

QString CAddSearchDlg::FirstProblem(QWidget** offender) const {
  if (nameEdit_->text().isEmpty()) {
    *offender = nameEdit_;
    return QStringLiteral("Enter the project's name!");
  }
  if (searchEdit_->text().isEmpty()) {
    *offender = searchEdit_;
    return QStringLiteral("Enter the search string");
  }
  bool anyEngine = false;
  for (QCheckBox* box : engineBoxes_) anyEngine = anyEngine || box->isChecked();
  for (QCheckBox* box : todayBoxes_) anyEngine = anyEngine || box->isChecked();
  if (!anyEngine) {
    *offender = engineBoxes_[0];
    return QStringLiteral("Select at least one search engine");
  }
  if (runTimes_->StartTimed() &&
      (runTimes_->startHour()->text().isEmpty() || runTimes_->startMinute()->text().isEmpty())) {
    *offender = runTimes_->startHour()->text().isEmpty() ? runTimes_->startHour()
                                                         : runTimes_->startMinute();
    return QStringLiteral("Enter the start time");
  }
  if (runTimes_->StopTimed() &&
      (runTimes_->stopHour()->text().isEmpty() || runTimes_->stopMinute()->text().isEmpty())) {
    *offender =
        runTimes_->stopHour()->text().isEmpty() ? runTimes_->stopHour() : runTimes_->stopMinute();
    return QStringLiteral("Enter the stop time");
  }
  return QString();
}

void CAddSearchDlg::accept() {
  QWidget* offender = nullptr;
  const QString problem = FirstProblem(&offender);
  if (!problem.isEmpty()) {
    ShowMessageBox(this, problem);
    if (offender) offender->setFocus();
    return;
  }
  FromControls();
  QDialog::accept();
}

}  // namespace tvx::ui
