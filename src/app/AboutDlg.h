// "About Quillanto for Pictures": only "OK" closes it; every other way out
// opens the products page instead.
#pragma once

#include <QDialog>
#include <QString>

class QPushButton;

namespace tvx::ui {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  // Address of the products page, without a scheme.
  static constexpr const char* kProductsPage = "www.quillanto.example/products.htm";

  explicit CAboutDlg(QWidget* parent = nullptr);

  QPushButton* OkButton() const { return ok_; }
  QPushButton* ProductsButton() const { return products_; }

  // Esc and the close box end here too.
  void reject() override;

 private:
  void OpenProductsPage();

  QPushButton* ok_ = nullptr;
  QPushButton* products_ = nullptr;
};

}  // namespace tvx::ui
