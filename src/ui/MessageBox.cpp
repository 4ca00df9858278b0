#include "ui/MessageBox.h"

#include <QApplication>
#include <QMutex>
#include <QMutexLocker>

namespace tvx::ui {
namespace {

QMutex& HookMutex() {
  static QMutex m;
  return m;
}

std::function<int(const QString&, QMessageBox::StandardButtons)>& Hook() {
  static std::function<int(const QString&, QMessageBox::StandardButtons)> h;
  return h;
}

// The button Enter presses unless the caller chooses another.
QMessageBox::StandardButton DefaultButton(QMessageBox::StandardButtons buttons) {
  if (buttons & QMessageBox::Ok) return QMessageBox::Ok;
  if (buttons & QMessageBox::Yes) return QMessageBox::Yes;
  return QMessageBox::NoButton;
}

}  // namespace

int ShowMessageBox(QWidget* parent, const QString& text, QMessageBox::StandardButtons buttons,
                   QMessageBox::StandardButton preselected) {
  std::function<int(const QString&, QMessageBox::StandardButtons)> hook;
  {
    QMutexLocker lock(&HookMutex());
    hook = Hook();
  }
  if (hook) return hook(text, buttons);

  if (buttons == QMessageBox::NoButton) buttons = QMessageBox::Ok;
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tavrinox"), text, buttons,
                  parent ? parent : QApplication::activeWindow());
  if (buttons & QMessageBox::Yes || buttons & QMessageBox::No)
    box.setIcon(QMessageBox::Question);
  else if (buttons & QMessageBox::Ok)
    box.setIcon(QMessageBox::Information);
  box.setDefaultButton(preselected != QMessageBox::NoButton ? preselected : DefaultButton(buttons));
  const int result = box.exec();
  return result;
}

void SetMessageBoxHook(std::function<int(const QString&, QMessageBox::StandardButtons)> hook) {
  QMutexLocker lock(&HookMutex());
  Hook() = std::move(hook);
}

}  // namespace tvx::ui
