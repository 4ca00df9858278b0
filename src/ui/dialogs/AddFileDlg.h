#pragma once
// "Add File(s)": asks for one URL. It checks nothing; the command decides.
#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace tvx::ui {

class CAddFileDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAddFileDlg(QWidget* parent = nullptr);

  // The URL as typed, taken from the box when the dialog ends with "Add".
  QString Url() const { return url_; }

  QLineEdit* urlEdit() const { return urlEdit_; }
  QPushButton* addButton() const { return addButton_; }

  void accept() override;

 private:
  QString url_;
  QLineEdit* urlEdit_;
  QPushButton* addButton_;
};

}  // namespace tvx::ui
