#include "ui/model/ShownList.h"

namespace tvx {

int ShownList::IndexOf(ItemRef item) const {
  return WithList(lists_, item.list, [&](const auto& list) { return list.IndexOf(item.id); });
}

int ShownList::RowOf(ItemRef item) const {
  if (item.list != shown_.load()) return -1;
  return WithList(lists_, item.list, [&](const auto& list) {
    return list.Locked([&] {
      const int index = list.IndexOf(item.id);
      return index < 0 ? -1 : RowOfIndex(list.GetCount(), index);
    });
  });
}

ItemId ShownList::IdAtRow(int row) const {
  return WithList(lists_, shown_.load(), [&](const auto& list) {
    return list.Locked([&] { return list.IdAt(IndexOfRow(list.GetCount(), row)); });
  });
}

std::vector<ItemId> ShownList::IdsOfRows(const std::vector<int>& rows) const {
  std::vector<ItemId> ids;
  for (int row : rows)
    if (ItemId id = IdAtRow(row)) ids.push_back(id);
  return ids;
}

void ShownList::FollowRow(int row) {
  TVX_ASSERT_UI_THREAD();
  const ItemId id = IdAtRow(row);
  if (id == 0) return;
  followedList_.store(shown_.load());
  followedId_.store(id);
}

void ShownList::FollowItem(ItemRef item) {
  TVX_ASSERT_UI_THREAD();
  followedList_.store(item.list);
  followedId_.store(item.id);
}

bool ShownList::ItemAdded(ItemRef item, const std::string& text, const std::string& status) {
  TVX_ASSERT_UI_THREAD();
  if (item.list != shown_.load()) return true;
  return sink_.AddTopRow(text, status);
}

void ShownList::ItemRemoved(ItemRef item) {
  TVX_ASSERT_UI_THREAD();
  const int row = RowOf(item);
  if (row < 0) return;
  sink_.DeleteRow(row);
  // The status view stays on the row: it follows the item that comes to it
  // (the one below, which moves up), as a selection moves on.
  if (Followed() == item) {
    const ItemId next = WithList(
        lists_, item.list, [&](const auto& list) { return list.IdAt(list.IndexOf(item.id) - 1); });
    followedId_.store(next);
  }
}

void ShownList::AllItemsRemoved() {
  TVX_ASSERT_UI_THREAD();
  sink_.DeleteAllRows();
}

void ShownList::ItemStatus(ItemRef item, const std::string& text) {
  TVX_ASSERT_UI_THREAD();
  const int row = RowOf(item);
  if (row >= 0) sink_.SetRowStatus(row, text);
}

void ShownList::ItemText(ItemRef item, const std::string& text) {
  TVX_ASSERT_UI_THREAD();
  const int row = RowOf(item);
  if (row >= 0) sink_.SetRowText(row, text);
}

void ShownList::ItemProgress(ItemRef item, std::uint64_t done, std::uint64_t total) {
  TVX_ASSERT_UI_THREAD();
  const int row = RowOf(item);
  if (row >= 0) sink_.SetRowProgress(row, done, total);
}

bool ShownList::ItemStatusText(ItemRef item, StatusField field, const std::string& text,
                               WhenFollowed when) {
  TVX_ASSERT_UI_THREAD();
  if (Followed() != item) return false;
  if (when == WhenFollowed::AndShown && item.list != shown_.load()) return false;
  // An item that has left its list is no longer followed.
  if (IndexOf(item) < 0) return false;
  sink_.SetStatusText(field, text);
  return true;
}

void ShownList::SetStatusText(StatusField field, const std::string& text) {
  TVX_ASSERT_UI_THREAD();
  sink_.SetStatusText(field, text);
}

void ShownList::StartBusy() {
  TVX_ASSERT_UI_THREAD();
  sink_.StartBusy();
}

void ShownList::StopBusy() {
  TVX_ASSERT_UI_THREAD();
  sink_.StopBusy();
}

ProjectNode ShownList::FindOrAddProject(const std::string& name) {
  TVX_ASSERT_UI_THREAD();
  return sink_.FindOrAddProject(name);
}

void ShownList::AddFile(ProjectNode project, const std::string& path) {
  TVX_ASSERT_UI_THREAD();
  sink_.AddFile(project, path);
}

void ShownList::ShowMessage(const std::string& text) {
  TVX_ASSERT_UI_THREAD();
  sink_.ShowMessage(text);
}

}  // namespace tvx
