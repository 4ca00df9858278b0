#pragma once
// The entries of a file beside the lists: kept in the order they were first
// set (the order they are written in) and found by their key (a project's
// name with letter case ignored, or a URL as it is). Not thread-safe: the
// table that holds it locks.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store/Text.h"

namespace tvx {

template <class Entry, std::string Entry::*kKey, bool kIgnoreCase>
class KeyedEntries {
 public:
  Entry* Find(std::string_view key) {
    auto it = index_.find(Key(key));
    return it == index_.end() ? nullptr : &entries_[it->second];
  }
  const Entry* Find(std::string_view key) const {
    auto it = index_.find(Key(key));
    return it == index_.end() ? nullptr : &entries_[it->second];
  }
  // Takes the place of the entry with the same key, or comes last. The
  // reference holds until the next Put or Remove.
  Entry& Put(Entry entry) {
    if (Entry* e = Find(entry.*kKey)) return *e = std::move(entry);
    index_.emplace(Key(entry.*kKey), entries_.size());
    return entries_.emplace_back(std::move(entry));
  }
  // False when no entry has that key.
  bool Remove(std::string_view key) {
    auto it = index_.find(Key(key));
    if (it == index_.end()) return false;
    const std::size_t at = it->second;
    index_.erase(it);
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(at));
    for (std::size_t i = at; i < entries_.size(); ++i) index_[Key(entries_[i].*kKey)] = i;
    return true;
  }
  bool Empty() const { return entries_.empty(); }
  void Clear() {
    entries_.clear();
    index_.clear();
  }
  typename std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
  typename std::vector<Entry>::const_iterator end() const { return entries_.end(); }

 private:
  static std::string Key(std::string_view key) {
    if constexpr (kIgnoreCase)
      return LowerCopy(key);
    else
      return std::string(key);
  }

  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> index_;  // key -> entry
};

}  // namespace tvx
