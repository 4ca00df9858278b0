#pragma once
// What the window shows of the lists: which list its panel shows, which item
// its status view follows, and the row of an item. It turns the engine's
// reports, which name items, into changes of rows (row r shows record
// count - 1 - r of the shown list) and of the status view's texts. Plain C++:
// the views implement RowSink, and tests record it.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "store/Lists.h"
#include "workers/Reporting.h"

namespace tvx {

// What the window's widgets do: rows of the list panel, the status view, the
// downloaded-files tree and message boxes. Called on the user-interface thread.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void SetRowStatus(int row, const std::string& text) = 0;
  virtual void DeleteRow(int row) = 0;
  virtual void DeleteAllRows() = 0;
  // A new row on top with both columns; false when it could not be made.
  virtual bool AddTopRow(const std::string& itemText, const std::string& status) = 0;
  virtual void SetRowText(int row, const std::string& itemText) = 0;
  // The bar behind a row's status: done of total, none for total 0.
  virtual void SetRowProgress(int row, std::uint64_t done, std::uint64_t total) = 0;
  virtual void SetStatusText(StatusField field, const std::string& text) = 0;
  virtual void StartBusy() = 0;
  virtual void StopBusy() = 0;
  virtual ProjectNode FindOrAddProject(const std::string& name) = 0;
  virtual void AddFile(ProjectNode project, const std::string& path) = 0;
  virtual void ShowMessage(const std::string& text) = 0;
};

class ShownList final : public Reporter {
 public:
  ShownList(const Lists& lists, RowSink& sink) : lists_(lists), sink_(sink) {}

  // The list the panel shows (1 to 6); the caller fills the rows.
  void Show(int list) { shown_.store(list); }
  int Shown() const { return shown_.load(); }
  // The status view follows the item of that row of the shown list (the user
  // selected it); nothing when the row shows none. When the followed item
  // leaves the shown list, the view follows the item that comes to its row.
  void FollowRow(int row);
  ItemRef Followed() const { return {followedList_.load(), followedId_.load()}; }
  // The item a row of the shown list shows (0: none), and the reverse (-1:
  // not shown).
  ItemId IdAtRow(int row) const;
  int RowOf(ItemRef item) const;
  // The items of rows, in the order given; rows that show none are left out.
  std::vector<ItemId> IdsOfRows(const std::vector<int>& rows) const;

  bool ItemAdded(ItemRef item, const std::string& text, const std::string& status) override;
  void ItemRemoved(ItemRef item) override;
  void AllItemsRemoved() override;
  void ItemStatus(ItemRef item, const std::string& text) override;
  void ItemText(ItemRef item, const std::string& text) override;
  void ItemProgress(ItemRef item, std::uint64_t done, std::uint64_t total) override;
  void FollowItem(ItemRef item) override;
  bool ItemStatusText(ItemRef item, StatusField field, const std::string& text,
                      WhenFollowed when) override;
  void SetStatusText(StatusField field, const std::string& text) override;
  void StartBusy() override;
  void StopBusy() override;
  ProjectNode FindOrAddProject(const std::string& name) override;
  void AddFile(ProjectNode project, const std::string& path) override;
  void ShowMessage(const std::string& text) override;
  bool MayShowList(int list) const override { return shown_.load() == list; }
  bool MayShowStatusOf(ItemRef item) const override { return followedId_.load() == item.id; }

 private:
  // The item's index in its list, or -1.
  int IndexOf(ItemRef item) const;

  const Lists& lists_;
  RowSink& sink_;
  std::atomic<int> shown_{kListRequestedFiles};
  // Written on the user-interface thread, read by the hints from any thread.
  std::atomic<int> followedList_{0};
  std::atomic<ItemId> followedId_{0};
};

}  // namespace tvx
