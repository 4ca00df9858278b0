#pragma once
// CProjProps: the tabbed sheet in which a web-site project is created and
// edited. The command that opened it reads the values; the one check made
// here, when the command asks for it, is of the project name.
#include <QDialog>
#include <QString>
#include <functional>

#include "store/Records.h"
#include "store/SiteOptions.h"
#include "ui/dialogs/ProjPages.h"

class QDialogButtonBox;
class QPushButton;
class QTabWidget;

namespace tvx::ui {

inline constexpr const char* kAddWebProjectTitle = "Add New Web Project";
inline constexpr const char* kWebProjectPropertiesTitle = "Web Project Properties";
inline constexpr const char* kNewWebProjectTitle = "New Web Project ";

class CProjProps : public QDialog {
  Q_OBJECT
 public:
  explicit CProjProps(const QString& title, QWidget* parent = nullptr);

  // Fills every page from the project and its options. Called once, before
  // showing.
  void Load(const SiteProject& project, const SiteOptions& options = {});

  // Writes the sheet's values into a project: texts cut to their fields and
  // numbers converted from their boxes (the times whatever the radios say).
  // Leaves `reserved` and `status` alone.
  void StoreInto(SiteProject& project) const;

  // Checks the project name on OK: a non-empty answer is shown in a message
  // box and the sheet stays open with the user's input.
  void SetNameCheck(std::function<QString(const QString& name)> check) {
    nameCheck_ = std::move(check);
  }
  // The project's options as the sheet holds them; those it shows no box
  // for are handed back as they were loaded.
  SiteOptions Options() const;

  CPWGenSettings& general() const { return *general_; }
  CFileSettings& files() const { return *files_; }
  CPRunSettings& run() const { return *run_; }
  CPAdvancedSettings& advanced() const { return *advanced_; }
  QTabWidget* tabs() const { return tabs_; }
  QPushButton* okButton() const;

  void accept() override;

 private:
  // The pages are children of the sheet and live as long as it does.
  CPWGenSettings* general_;
  CPRunSettings* run_;
  CPAdvancedSettings* advanced_;
  CFileSettings* files_;
  QTabWidget* tabs_;
  QDialogButtonBox* buttons_;
  std::function<QString(const QString&)> nameCheck_;
  SiteOptions loadedOptions_;
};

}  // namespace tvx::ui
