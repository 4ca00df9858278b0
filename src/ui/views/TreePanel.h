// The upper-left tree of the six lists; picking a list shows it in the list
// panel and sums it up in the status view.
#pragma once

#include <QString>
#include <QTreeWidget>

namespace tvx {
class EngineState;
class ShownList;
}  // namespace tvx

namespace tvx::ui {

class CListPanel;
class CStatusView;

class CTreePanel : public QTreeWidget {
  Q_OBJECT

 public:
  explicit CTreePanel(QWidget* parent = nullptr);

  void SetPanels(CListPanel* list, CStatusView* status) {
    listPanel_ = list;
    statusView_ = status;
  }
  // The engine whose lists it names, and what the window shows of them.
  void SetModel(EngineState* engine, ShownList* shown) {
    engine_ = engine;
    shown_ = shown;
  }

  // Inserts the eight items and selects "Files" without switching lists.
  void OnInitialUpdate();

  // Shows the list the item text names; nothing for the shown list or a root.
  void SwitchTo(const QString& itemText);

  // The item with this text, or null.
  QTreeWidgetItem* FindItem(const QString& text) const;

  // The list an item text picks (1 to 6), or 0 for the roots and unknown texts.
  static int KindOfItem(const QString& text);

 protected:
  // Connecting lines, also at the root, and boxed "+" and "-" buttons.
  void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  void SwitchToSelected();

  CListPanel* listPanel_ = nullptr;
  CStatusView* statusView_ = nullptr;
  EngineState* engine_ = nullptr;
  ShownList* shown_ = nullptr;
};

}  // namespace tvx::ui
