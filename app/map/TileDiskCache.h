#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "Commonfunc.h"

// The live map's tiles kept on disk, one file per tile, at most maxBytes in
// all: putting a tile beyond the bound removes the tiles used longest ago.
// Safe to use from several threads; files appear whole or not at all.
class TileDiskCache {
 public:
  // The folder is created when missing; a folder that cannot be made leaves
  // a cache that keeps nothing.
  TileDiskCache(std::string folder, int64_t maxBytes);

  bool Contains(const TileKey& key) const;
  std::optional<std::string> Get(const TileKey& key);
  void Put(const TileKey& key, std::string_view bytes);

  int64_t Bytes() const;
  const std::string& Folder() const { return folder_; }

 private:
  struct Entry {
    uint64_t use = 0;
    int64_t bytes = 0;
  };
  static std::string NameOf(const TileKey& key);
  void Touch(const std::string& name, Entry& entry);
  void EvictBeyond(int64_t bound);

  std::string folder_;
  int64_t maxBytes_;
  mutable std::mutex mutex_;
  uint64_t nextUse_ = 0;
  int64_t bytes_ = 0;
  std::unordered_map<std::string, Entry> entries_;
  std::map<uint64_t, std::string> byUse_;
};

// $XDG_CACHE_HOME/quarnel/, or home/.cache/quarnel/ when it is unset or
// relative; with a trailing separator.
std::string UserCacheFolder(const std::string& xdgCacheHome, const std::string& home);
// The cache folder for one tile address template, so that tiles of another
// server never show.
std::string TileCacheFolderFor(const std::string& cacheRoot, const std::string& addressTemplate);
