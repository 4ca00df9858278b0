#pragma once
// CProjProps: the tabbed sheet in which a web-site project is created and
// edited. It checks nothing; the command that opened it reads the values.
#include <QDialog>
#include <QString>

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

  // What the times of a project become when its radio says "when requested".
  enum class TimesRule { FromBoxes, ZeroWhenRequested };

  // Writes the sheet's values into a project: texts cut to their fields and
  // numbers converted from their boxes. Leaves `reserved` and `status` alone.
  void StoreInto(SiteProject& project, TimesRule rule) const;
  // The project's options as the sheet holds them.
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
};

}  // namespace tvx::ui
