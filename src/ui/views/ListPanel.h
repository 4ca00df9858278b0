// The report list of the chosen list: one row per record, newest first, in the
// columns "Project" and "Status".
#pragma once

#include <QString>
#include <QTreeWidget>
#include <cstdint>
#include <vector>

#include "store/RecordList.h"
#include "ui/views/CommandTarget.h"

class QMenu;

namespace tvx {
class EngineState;
class ShownList;
}  // namespace tvx

namespace tvx::ui {

class CStatusView;

class CListPanel : public QTreeWidget, public CommandTarget {
  Q_OBJECT

 public:
  explicit CListPanel(QWidget* parent = nullptr);

  // The engine whose lists it shows, and what the window shows of them.
  void SetModel(EngineState* engine, ShownList* shown) {
    engine_ = engine;
    shown_ = shown;
  }
  EngineState* Engine() const { return engine_; }
  // The list the panel shows (1 to 6), 0 without a model.
  int Shown() const;
  // The items of the selected rows, top row first.
  std::vector<ItemId> SelectedItems() const;
  // The item a row shows (0: none).
  ItemId ItemAtRow(int row) const;

  // Once per run, after the lists are loaded: shows the requested files.
  void OnInitialUpdate();

  // Where the selection report goes; without one nothing is reported.
  void SetStatusView(CStatusView* view) { statusView_ = view; }

  // Selected rows, ascending.
  std::vector<int> SelectedRows() const;
  bool IsRowSelected(int row) const;
  void SetRowSelected(int row, bool selected);

  // Texts of a row; empty for a row or column that does not exist.
  QString RowText(int row, int column) const;
  void SetRowText(int row, int column, const QString& text);

  // The bar behind a row's status text: done of total, none for total 0.
  void SetRowProgress(int row, std::uint64_t done, std::uint64_t total);
  // The row's progress from 0 to 1; negative when it shows none.
  double RowProgress(int row) const;

  // Inserts a row at the top (row 0). False when the row could not be made.
  bool InsertTopRow(const QString& text, const QString& status);
  void DeleteRow(int row);
  void DeleteAllRows();
  int RowCount() const;

  // Rebuilds every row from the list the panel shows, newest first. Shows
  // "Error updating list" and stops filling when a row cannot be inserted.
  void RefillRows();

  QTreeWidget* widget() { return this; }

  // Whether the two "Send To" commands are enabled; decided at every
  // right-button press.
  bool SendToEnabled() const { return sendToEnabled_; }

  // Builds the context menu with its commands wired to this panel.
  QMenu* CreateContextMenu(QWidget* parent);

  // CommandTarget: Delete, the two Send To commands and Properties.
  bool OnCommand(int id) override;
  std::optional<bool> IsCommandEnabled(int id) const override;

  // For tests: rows cannot be inserted once the panel holds this many
  // (negative: no limit).
  void SetRowLimitForTest(int rows) { rowLimitForTest_ = rows; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  // Fills the rows from list kind, newest first, on top of the existing rows.
  void FillRows(int kind);
  void ReportSelection();

  CStatusView* statusView_ = nullptr;
  EngineState* engine_ = nullptr;
  ShownList* shown_ = nullptr;
  bool sendToEnabled_ = true;
  // The left press landed on a selected row: the control changes the
  // selection only at the release, so the report waits for it.
  bool reportOnRelease_ = false;
  int rowLimitForTest_ = -1;
};

}  // namespace tvx::ui
