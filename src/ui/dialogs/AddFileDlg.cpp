#include "ui/dialogs/AddFileDlg.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tvx::ui {

CAddFileDlg::CAddFileDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Add File(s)"));
  setModal(true);

  auto* frame = new QGroupBox(this);
  auto* label = new QLabel(QStringLiteral("URL"), frame);
  // A one-line box scrolls sideways by itself when the URL outgrows it.
  urlEdit_ = new QLineEdit(frame);
  urlEdit_->setObjectName(QStringLiteral("url"));
  urlEdit_->setMinimumWidth(320);
  label->setBuddy(urlEdit_);
  auto* row = new QHBoxLayout(frame);
  row->addWidget(label);
  row->addWidget(urlEdit_, 1);

  auto* buttons = new QDialogButtonBox(this);
  addButton_ = buttons->addButton(QStringLiteral("Add"), QDialogButtonBox::AcceptRole);
  addButton_->setObjectName(QStringLiteral("add"));
  addButton_->setDefault(true);
  QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  cancel->setObjectName(QStringLiteral("cancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addWidget(buttons);
  urlEdit_->setFocus();
}

void CAddFileDlg::accept() {
  url_ = urlEdit_->text();
  QDialog::accept();
}

}  // namespace tvx::ui
