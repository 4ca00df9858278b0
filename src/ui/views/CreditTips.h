#pragma once
// The tooltip of a Search Results row whose picture came with a credit: its
// title, creator, licence and the page that shows it.
#include <QObject>
#include <QString>

namespace tvx::ui {

class CListPanel;

class CreditTips : public QObject {
  Q_OBJECT

 public:
  // Shows the tips over the panel's rows from now on.
  explicit CreditTips(CListPanel* panel);

  // The tip of a row of the panel; empty when it has none (another list is
  // shown, or its picture has no credit).
  QString TipOfRow(int row) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CListPanel* panel_;
};

}  // namespace tvx::ui
