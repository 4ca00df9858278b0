#pragma once
// The four pages of the web project property sheet. Each page keeps its values
// in plain members; they go into the controls when the page is first shown and
// come back from them when the sheet ends with OK, so a page the user never
// opened hands back exactly what was loaded.
#include <QString>
#include <QWidget>
#include <array>

#include "store/SiteOptions.h"
#include "ui/dialogs/RunTimeControls.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace tvx::ui {

class CPropPage : public QWidget {
  Q_OBJECT
 public:
  using QWidget::QWidget;
  bool WasShown() const { return shown_; }
  // Takes the values back from the controls; does nothing for a page never shown.
  void Collect() {
    if (shown_) FromControls();
  }

 protected:
  void showEvent(QShowEvent* event) override;
  virtual void ToControls() = 0;
  virtual void FromControls() = 0;

 private:
  bool shown_ = false;
};

class CPWGenSettings : public CPropPage {
  Q_OBJECT
 public:
  explicit CPWGenSettings(QWidget* parent = nullptr);

  QString projectName;
  QString address;

  QLineEdit* nameEdit() const { return nameEdit_; }
  QLineEdit* addressEdit() const { return addressEdit_; }
  QLabel* hint() const { return hint_; }

 protected:
  void ToControls() override;
  void FromControls() override;

 private:
  QLineEdit* nameEdit_;
  QLineEdit* addressEdit_;
  QLabel* hint_;
};

class CFileSettings : public CPropPage {
  Q_OBJECT
 public:
  // The type flags in record order: CDR, GIF, JPG, BMP, PNG, TGA, TIF.
  enum Type { kCdr, kGif, kJpg, kBmp, kPng, kTga, kTif, kTypeCount };

  explicit CFileSettings(QWidget* parent = nullptr);

  int downloadAll = 1;
  std::array<int, kTypeCount> types{};
  QString otherTypes;
  // "Modern link search" and its transfers at once per host (not part of
  // the project's record: kept in its options).
  int modernLinks = 0;
  int transfersPerHost = kDefaultTransfersPerHost;
  // What a modern crawl does besides (kept in the options too): robots.txt,
  // the wait between requests to a host, the size filters (digits; empty:
  // none) and the archive's choices.
  int obeyRobots = 1;
  int waitSeconds = 0;
  QString minWidth, minHeight;
  QString minKb, maxKb;
  int refetchDeleted = 0;
  int copiesAcrossProjects = 0;

  bool AnyTypeSet() const;

  QRadioButton* searchForTypes() const { return searchForTypes_; }
  QRadioButton* downloadAllFiles() const { return downloadAllFiles_; }
  QCheckBox* typeBox(int type) const { return typeBoxes_[static_cast<std::size_t>(type)]; }
  QCheckBox* otherTypesBox() const { return otherTypesBox_; }
  QLineEdit* otherTypesEdit() const { return otherTypesEdit_; }
  QCheckBox* modernLinksBox() const { return modernLinksBox_; }
  QSpinBox* transfersBox() const { return transfersBox_; }
  QWidget* modernOptions() const { return modernOptions_; }
  QCheckBox* robotsBox() const { return robotsBox_; }
  QSpinBox* waitBox() const { return waitBox_; }
  QLineEdit* minWidthEdit() const { return minWidthEdit_; }
  QLineEdit* minHeightEdit() const { return minHeightEdit_; }
  QLineEdit* minKbEdit() const { return minKbEdit_; }
  QLineEdit* maxKbEdit() const { return maxKbEdit_; }
  QCheckBox* refetchBox() const { return refetchBox_; }
  QCheckBox* copiesBox() const { return copiesBox_; }

 protected:
  void ToControls() override;
  void FromControls() override;

 private:
  void SetTypeControlsEnabled(bool enabled);

  QRadioButton* searchForTypes_;
  QRadioButton* downloadAllFiles_;
  std::array<QCheckBox*, kTypeCount> typeBoxes_{};
  QCheckBox* otherTypesBox_;
  QLineEdit* otherTypesEdit_;
  QCheckBox* modernLinksBox_;
  QLabel* transfersLabel_;
  QSpinBox* transfersBox_;
  QWidget* modernOptions_;  // greyed while Modern link search is not ticked
  QCheckBox* robotsBox_;
  QSpinBox* waitBox_;
  QLineEdit* minWidthEdit_;
  QLineEdit* minHeightEdit_;
  QLineEdit* minKbEdit_;
  QLineEdit* maxKbEdit_;
  QCheckBox* refetchBox_;
  QCheckBox* copiesBox_;
};

class CPRunSettings : public CPropPage {
  Q_OBJECT
 public:
  explicit CPRunSettings(QWidget* parent = nullptr);

  RunTimes times;

  RunTimeControls* controls() const { return controls_; }

 protected:
  void ToControls() override;
  void FromControls() override;

 private:
  RunTimeControls* controls_;
};

class CPAdvancedSettings : public CPropPage {
  Q_OBJECT
 public:
  explicit CPAdvancedSettings(QWidget* parent = nullptr);

  QString maxDomainCount;
  QString userName;
  QString password;
  int exitDomain = 0;
  // The cookies the crawl sends: a cookies.txt or a Firefox profile's
  // cookies.sqlite (not part of the project's record: kept in its options).
  QString cookieFile;

  QLineEdit* maxDomainEdit() const { return maxDomainEdit_; }
  QCheckBox* exitDomainBox() const { return exitDomainBox_; }
  QLineEdit* userNameEdit() const { return userNameEdit_; }
  QLineEdit* passwordEdit() const { return passwordEdit_; }
  QLineEdit* cookieFileEdit() const { return cookieFileEdit_; }
  QPushButton* cookieFileButton() const { return cookieFileButton_; }

 protected:
  void ToControls() override;
  void FromControls() override;

 private:
  void ChooseCookieFile();

  QLineEdit* maxDomainEdit_;
  QCheckBox* exitDomainBox_;
  QLineEdit* userNameEdit_;
  QLineEdit* passwordEdit_;
  QLineEdit* cookieFileEdit_;
  QPushButton* cookieFileButton_;
};

}  // namespace tvx::ui
