// The one way the program shows a message box, so tests can answer them.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace tvx::ui {

// Shows a modal box with the caption "Tavrinox" and returns the button pressed
// (a QMessageBox::StandardButton value). Enter presses preselected, or by
// default OK or Yes. With a hook installed the hook answers instead and no
// window appears.
int ShowMessageBox(QWidget* parent, const QString& text,
                   QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                   QMessageBox::StandardButton preselected = QMessageBox::NoButton);

// Installs (or, with an empty function, removes) the hook that answers boxes.
void SetMessageBoxHook(std::function<int(const QString& text, QMessageBox::StandardButtons)> hook);

}  // namespace tvx::ui
