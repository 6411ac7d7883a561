#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <unordered_map>
#include <utility>

#include "Commonfunc.h"

// A cache holding at most `capacity` values; putting one more drops the one
// used longest ago. The decoded tiles live here, so panning across a large
// task never holds more than this many images.
template <typename Key, typename Value, typename Hash = std::hash<Key>>
class LruCache {
 public:
  explicit LruCache(std::size_t capacity) : capacity_(capacity ? capacity : 1) {}

  // nullptr when absent; a hit becomes the most recently used.
  Value* Find(const Key& key) {
    const auto found = index_.find(key);
    if (found == index_.end()) return nullptr;
    order_.splice(order_.begin(), order_, found->second);
    return &found->second->second;
  }

  void Put(const Key& key, Value value) {
    if (Value* existing = Find(key)) {
      *existing = std::move(value);
      return;
    }
    order_.emplace_front(key, std::move(value));
    index_.emplace(key, order_.begin());
    while (order_.size() > capacity_) {
      index_.erase(order_.back().first);
      order_.pop_back();
    }
  }

  void Erase(const Key& key) {
    const auto found = index_.find(key);
    if (found == index_.end()) return;
    order_.erase(found->second);
    index_.erase(found);
  }

  void Clear() {
    order_.clear();
    index_.clear();
  }

  std::size_t Size() const { return order_.size(); }
  std::size_t Capacity() const { return capacity_; }

 private:
  std::size_t capacity_;
  std::list<std::pair<Key, Value>> order_;
  std::unordered_map<Key, typename std::list<std::pair<Key, Value>>::iterator, Hash> index_;
};

struct TileKeyHash {
  std::size_t operator()(const TileKey& key) const {
    return std::hash<uint64_t>()((uint64_t(uint32_t(key.x)) << 32 | uint32_t(key.y)) * 31 + uint32_t(key.zoom));
  }
};
