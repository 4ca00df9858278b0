#pragma once
// What a worker shows of its item's row, by the one rule every worker keeps:
// the row's cells change only while the list panel shows the worker's list,
// and the status view's texts only while, besides, the row is the one the
// view follows (the current row). Made and used on the user-interface side,
// inside one step of the dispatcher.
#include <cstdint>
#include <optional>
#include <string>

#include "store/Lists.h"
#include "workers/Reporting.h"
#include "workers/WorkerControl.h"

namespace tvx {

class RowReport {
 public:
  // row: the item's row now, or nullopt once it has left its list.
  RowReport(Reporter& ui, int listKind, std::optional<int> row)
      : ui_(ui), row_(row), shown_(row && ListKind.load() == listKind) {
    TVX_ASSERT_UI_THREAD();
  }

  // The item is still in its list.
  bool Found() const { return row_.has_value(); }
  // The panel shows the item's row.
  bool Shown() const { return shown_; }
  // The panel shows it and the status view follows it.
  bool Current() const { return shown_ && *row_ == CurrentRow.load(); }

  void Cell(const std::string& text) const {
    if (shown_) ui_.SetRowStatus(*row_, text);
  }
  void Progress(std::uint64_t done, std::uint64_t total) const {
    if (shown_) ui_.SetRowProgress(*row_, done, total);
  }
  void Delete() const {
    if (shown_) ui_.DeleteRow(*row_);
  }
  // A status-view text, while the row is current.
  void Text(StatusField field, const std::string& text) const {
    if (Current()) ui_.SetStatusText(field, text);
  }

 private:
  Reporter& ui_;
  std::optional<int> row_;
  bool shown_;
};

}  // namespace tvx
