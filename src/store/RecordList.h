#pragma once
// RecordList: an ordered list of records with a count, a modified flag and a
// change counter. Every record carries an id that names it for the whole run:
// it stays the same when records before it come and go, and when the record
// moves to another list with its id (Add with an id).
// Every operation is atomic with respect to other threads. Elements live on
// the heap, so a pointer from GetAt stays valid until that element is removed;
// threads other than the user-interface thread should use CopyAt/Update.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store/Records.h"

namespace tvx {

// Names one record for the run; 0 names none.
using ItemId = std::uint64_t;

// A new id, never given before in this process.
inline ItemId NewItemId() {
  static std::atomic<ItemId> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

template <class T>
class RecordList {
 public:
  RecordList() = default;
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;

  // Appends a copy of record under id (a new one when 0); gives the id.
  ItemId Add(const T& record, ItemId id = 0) {
    if (id == 0) id = NewItemId();
    std::lock_guard lock(mutex_);
    index_[id] = items_.size();
    items_.push_back(std::make_unique<Element>(Element{id, record}));
    Changed();
    return id;
  }

  ItemId AddUrl(std::string_view url) requires std::is_same_v<T, FileRecord> {
    return Add(MakeFileRecord(url));
  }

  void RemoveAt(int index) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(items_.size())) return;
    index_.erase(items_[index]->id);
    items_.erase(items_.begin() + index);
    for (std::size_t i = static_cast<std::size_t>(index); i < items_.size(); ++i)
      index_[items_[i]->id] = i;
    Changed();
  }

  // Removes the record of that id; false when it is not in the list.
  bool Remove(ItemId id) {
    std::lock_guard lock(mutex_);
    const int index = IndexOfLocked(id);
    if (index < 0) return false;
    RemoveAt(index);
    return true;
  }

  T* GetAt(int index) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(items_.size())) return nullptr;
    return &items_[index]->record;
  }

  const T* GetAt(int index) const {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(items_.size())) return nullptr;
    return &items_[index]->record;
  }

  std::optional<T> CopyAt(int index) const {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(items_.size())) return std::nullopt;
    return items_[index]->record;
  }

  // The record of that id, or nullopt when it is not in the list.
  std::optional<T> CopyOf(ItemId id) const {
    std::lock_guard lock(mutex_);
    const int index = IndexOfLocked(id);
    if (index < 0) return std::nullopt;
    return items_[index]->record;
  }

  // Where the record of that id stands now, or -1.
  int IndexOf(ItemId id) const {
    std::lock_guard lock(mutex_);
    return IndexOfLocked(id);
  }

  // The id of the record at index, or 0.
  ItemId IdAt(int index) const {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(items_.size())) return 0;
    return items_[index]->id;
  }

  // Runs edit on the element at index under the list's lock; false when absent.
  template <class F>
  bool Update(int index, F&& edit) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(items_.size())) return false;
    edit(items_[index]->record);
    return true;
  }

  // Runs edit on the record of that id under the list's lock; false when absent.
  template <class F>
  bool UpdateOf(ItemId id, F&& edit) {
    std::lock_guard lock(mutex_);
    const int index = IndexOfLocked(id);
    if (index < 0) return false;
    edit(items_[index]->record);
    return true;
  }

  // Finds the first record whose key equals text, ignoring ASCII case.
  int Find(std::string_view text) const {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < items_.size(); ++i)
      if (EqualsIgnoreCase(KeyOf(items_[i]->record), text)) return static_cast<int>(i);
    return -1;
  }

  int GetCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(items_.size());
  }

  bool IsModified() const {
    std::lock_guard lock(mutex_);
    return modified_;
  }

  // Setting the flag counts as a change (an edit in place ends with it);
  // clearing it does not.
  void SetModified(bool modified) {
    std::lock_guard lock(mutex_);
    if (modified)
      Changed();
    else
      modified_ = false;
  }

  // Grows with every change (Add, RemoveAt, SetModified(true)) and never
  // goes back, so a saver can tell whether the list changed since it last
  // wrote it; the modified flag keeps its own meaning.
  std::uint64_t Generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
  }

  std::vector<T> Snapshot() const {
    std::lock_guard lock(mutex_);
    std::vector<T> out;
    out.reserve(items_.size());
    for (const auto& p : items_) out.push_back(p->record);
    return out;
  }

  // Runs f with the list locked, for a sequence that must not interleave
  // with other threads' use of this list (f may call the list's operations).
  template <class F>
  auto Locked(F&& f) const {
    std::lock_guard lock(mutex_);
    return f();
  }

 private:
  struct Element {
    ItemId id;
    T record;
  };

  int IndexOfLocked(ItemId id) const {
    auto it = index_.find(id);
    return it == index_.end() ? -1 : static_cast<int>(it->second);
  }

  void Changed() {
    modified_ = true;
    ++generation_;
  }

  mutable std::recursive_mutex mutex_;
  std::vector<std::unique_ptr<Element>> items_;
  std::unordered_map<ItemId, std::size_t> index_;  // id -> place in items_
  bool modified_ = false;
  std::uint64_t generation_ = 0;
};

}  // namespace tvx
