#include "TileDiskCache.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

#include "AtomicFile.h"

namespace fs = std::filesystem;

TileDiskCache::TileDiskCache(std::string folder, int64_t maxBytes) : folder_(std::move(folder)), maxBytes_(maxBytes) {
  if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
  std::error_code error;
  fs::create_directories(folder_, error);
  // What an earlier run left, oldest first, so that it goes first.
  std::vector<std::pair<fs::file_time_type, std::pair<std::string, int64_t>>> found;
  for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
    std::error_code statError;
    if (!it->is_regular_file(statError) || it->path().extension() != ".tile") continue;
    const auto size = static_cast<int64_t>(it->file_size(statError));
    const auto time = it->last_write_time(statError);
    if (!statError) found.push_back({time, {it->path().filename().string(), size}});
  }
  std::sort(found.begin(), found.end());
  for (auto& [time, file] : found) {
    Entry& entry = entries_[file.first];
    entry.bytes = file.second;
    bytes_ += entry.bytes;
    Touch(file.first, entry);
  }
  EvictBeyond(maxBytes_);
}

std::string TileDiskCache::NameOf(const TileKey& key) {
  return std::to_string(key.zoom) + "_" + std::to_string(key.x) + "_" + std::to_string(key.y) + ".tile";
}

void TileDiskCache::Touch(const std::string& name, Entry& entry) {
  if (entry.use) byUse_.erase(entry.use);
  entry.use = ++nextUse_;
  byUse_.emplace(entry.use, name);
}

void TileDiskCache::EvictBeyond(int64_t bound) {
  while (bytes_ > bound && !byUse_.empty()) {
    const auto oldest = byUse_.begin();
    std::error_code ignored;
    fs::remove(folder_ + oldest->second, ignored);
    const auto found = entries_.find(oldest->second);
    bytes_ -= found->second.bytes;
    entries_.erase(found);
    byUse_.erase(oldest);
  }
}

bool TileDiskCache::Contains(const TileKey& key) const {
  std::lock_guard lock(mutex_);
  return entries_.contains(NameOf(key));
}

std::optional<std::string> TileDiskCache::Get(const TileKey& key) {
  const std::string name = NameOf(key);
  {
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(name);
    if (found == entries_.end()) return std::nullopt;
    Touch(name, found->second);
  }
  try {
    return ReadWholeFile(folder_ + name);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void TileDiskCache::Put(const TileKey& key, std::string_view bytes) {
  const auto size = static_cast<int64_t>(bytes.size());
  if (size > maxBytes_) return;
  const std::string name = NameOf(key);
  try {
    WriteTileFileAtomic(folder_ + name, bytes);
  } catch (const std::exception&) {
    return;  // a full or read-only disk costs only the cache
  }
  std::lock_guard lock(mutex_);
  Entry& entry = entries_[name];
  bytes_ += size - entry.bytes;
  entry.bytes = size;
  Touch(name, entry);
  EvictBeyond(maxBytes_);
}

int64_t TileDiskCache::Bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

std::string UserCacheFolder(const std::string& xdgCacheHome, const std::string& home) {
  std::string base = xdgCacheHome;
  if (base.empty() || base.front() != '/') base = home + "/.cache";
  if (base.back() != '/') base += '/';
  return base + "quarnel/";
}

std::string TileCacheFolderFor(const std::string& cacheRoot, const std::string& addressTemplate) {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a: stable across runs and builds
  for (const unsigned char c : addressTemplate) hash = (hash ^ c) * 1099511628211ull;
  char text[24];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return cacheRoot + "tiles-" + text + "/";
}
