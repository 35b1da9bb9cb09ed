// A cache of fixed capacity that forgets the entry used least recently.
//
// The renderer keeps shaped titles and glyph outlines in caches like this,
// so that the memory they take levels off however many distinct titles are
// drawn. Not thread-safe: a caller shared by threads holds a lock around it.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <optional>
#include <unordered_map>
#include <utility>

namespace quillmark::service {

template <typename Key, typename Value, typename Hash = std::hash<Key>>
class BoundedCache {
 public:
  // A capacity of 0 keeps nothing.
  explicit BoundedCache(std::size_t capacity) : capacity_(capacity) {}

  std::size_t size() const { return index_.size(); }
  std::size_t capacity() const { return capacity_; }

  // A copy of the value stored for `key`, which becomes the most recently
  // used entry; nothing when the key is not held.
  std::optional<Value> find(const Key& key) {
    const auto found = index_.find(key);
    if (found == index_.end()) return std::nullopt;
    entries_.splice(entries_.begin(), entries_, found->second);
    return found->second->second;
  }

  // Stores `value` for `key` (replacing what was there) as the most recently
  // used entry; when that makes more than capacity() entries, the least
  // recently used one is dropped. Never holds more than capacity() entries.
  void insert(const Key& key, Value value) {
    if (capacity_ == 0) return;
    const auto found = index_.find(key);
    if (found != index_.end()) {
      found->second->second = std::move(value);
      entries_.splice(entries_.begin(), entries_, found->second);
      return;
    }
    entries_.emplace_front(key, std::move(value));
    index_.emplace(key, entries_.begin());
    if (index_.size() > capacity_) {
      index_.erase(entries_.back().first);
      entries_.pop_back();
    }
  }

 private:
  using Entries = std::list<std::pair<Key, Value>>;
  std::size_t capacity_;
  Entries entries_;  // most recently used first
  std::unordered_map<Key, typename Entries::iterator, Hash> index_;
};

}  // namespace quillmark::service
