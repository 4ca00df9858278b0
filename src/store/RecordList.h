#pragma once
// RecordList: an ordered list of records with a count, a modified flag and a
// change counter.
// Every operation is atomic with respect to other threads. Elements live on
// the heap, so a pointer from GetAt stays valid until that element is removed;
// threads other than the user-interface thread should use CopyAt/Update.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "store/Records.h"

namespace tvx {

template <class T>
class RecordList {
 public:
  RecordList() = default;
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;

  void Add(const T& record) {
    std::lock_guard lock(mutex_);
    items_.push_back(std::make_unique<T>(record));
    Changed();
  }

  void AddUrl(std::string_view url) requires std::is_same_v<T, FileRecord> {
    Add(MakeFileRecord(url));
  }

  void RemoveAt(int index) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(items_.size())) return;
    items_.erase(items_.begin() + index);
    Changed();
  }

  T* GetAt(int index) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(items_.size())) return nullptr;
    return items_[index].get();
  }

  const T* GetAt(int index) const {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(items_.size())) return nullptr;
    return items_[index].get();
  }

  std::optional<T> CopyAt(int index) const {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(items_.size())) return std::nullopt;
    return *items_[index];
  }

  // Runs edit on the element at index under the list's lock; false when absent.
  template <class F>
  bool Update(int index, F&& edit) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(items_.size())) return false;
    edit(*items_[index]);
    return true;
  }

  // Finds the first record whose key equals text, ignoring ASCII case.
  int Find(std::string_view text) const {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < items_.size(); ++i)
      if (EqualsIgnoreCase(KeyOf(*items_[i]), text)) return static_cast<int>(i);
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
    for (const auto& p : items_) out.push_back(*p);
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
  void Changed() {
    modified_ = true;
    ++generation_;
  }

  mutable std::recursive_mutex mutex_;
  std::vector<std::unique_ptr<T>> items_;
  bool modified_ = false;
  std::uint64_t generation_ = 0;
};

}  // namespace tvx
