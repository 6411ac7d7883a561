#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

// Tile contents a writer stored lately, so that equal bytes (the sea, blank
// land, one-colour lower tiles) are stored once and pointed at again. The
// table has a fixed number of slots and a newer content takes an older one's,
// so memory stays flat whatever the tile count; a content is only taken for
// the same when the writer's own copy reads back equal.
class RecentContents {
 public:
  // Where bytes equal to these were stored (the writer's key), when remembered;
  // same(key) reads that copy back and compares.
  std::optional<uint64_t> Find(std::string_view bytes, const std::function<bool(uint64_t key)>& same) const {
    const Slot& slot = slots_[Hash(bytes) % slots_.size()];
    if (slot.length == bytes.size() && slot.hash == Hash(bytes) && same(slot.key)) return slot.key;
    return std::nullopt;
  }
  void Remember(std::string_view bytes, uint64_t key) {
    const std::size_t hash = Hash(bytes);
    slots_[hash % slots_.size()] = {hash, key, bytes.size()};
  }

 private:
  static std::size_t Hash(std::string_view bytes) { return std::hash<std::string_view>{}(bytes); }
  struct Slot {
    std::size_t hash = 0;
    uint64_t key = 0;
    std::size_t length = 0;  // 0: an empty slot (no tile is empty)
  };
  std::vector<Slot> slots_ = std::vector<Slot>(std::size_t{1} << 16);
};
