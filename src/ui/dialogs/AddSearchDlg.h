#pragma once
// "Add a Search Project": creates a search project or edits a stored one,
// with its choice of the engines of today. OK checks the input and keeps the
// dialog open until it is complete.
#include <QDialog>
#include <QString>
#include <array>

#include "store/Records.h"
#include "store/SearchOptions.h"
#include "ui/dialogs/RunTimeControls.h"

class QCheckBox;
class QLineEdit;

namespace tvx::ui {

// The dialog's values, in the order of the engine boxes.
struct SearchValues {
  QString name;
  QString searchText;
  // AltaVista, HotBot, Yahoo, Northern Light, WebCrawler, MSN, Go2Net.
  std::array<int, 7> engines{};
  // Openverse, Wikimedia Commons, DuckDuckGo: all three for a new project.
  TodayEngines today = kEveryTodayEngine;
  RunTimes times;
};

class CAddSearchDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAddSearchDlg(QWidget* parent = nullptr);

  // For editing: takes every shown value from the project and the engines
  // of today it asks (none for a project that has no choice stored).
  void Load(const SearchProject& project, const TodayEngines& today = {});

  // What the dialog holds: the loaded values until OK, the user's afterwards.
  const SearchValues& Values() const { return values_; }

  // Writes the values into a project: texts cut to their fields, the four
  // times converted from their boxes whatever the radios say. Leaves status alone.
  void StoreInto(SearchProject& project) const;

  QLineEdit* nameEdit() const { return nameEdit_; }
  QLineEdit* searchEdit() const { return searchEdit_; }
  QCheckBox* engineBox(int i) const { return engineBoxes_[static_cast<std::size_t>(i)]; }
  // Openverse (0), Wikimedia Commons (1), DuckDuckGo (2).
  QCheckBox* todayBox(int i) const { return todayBoxes_[static_cast<std::size_t>(i)]; }
  RunTimeControls* runTimes() const { return runTimes_; }

  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ToControls();
  void FromControls();
  // The first failed check's message, or an empty text when all pass.
  QString FirstProblem(QWidget** offender) const;

  SearchValues values_;
  QLineEdit* nameEdit_;
  QLineEdit* searchEdit_;
  std::array<QCheckBox*, 7> engineBoxes_{};
  std::array<QCheckBox*, 3> todayBoxes_{};
  RunTimeControls* runTimes_;
  bool shown_ = false;
};

}  // namespace tvx::ui
