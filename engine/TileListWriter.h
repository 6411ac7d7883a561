#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "Commonfunc.h"

class AtomicFileWriter;
class TileSelection;
struct TaskTileRange;

inline constexpr const char* kTileListHeader =
    "ImageFileName    Left_Edge_Longitude    Right_Edge_Longitude   Top_Edge_Latitude      "
    "Bottom_Edge_Latitude";

// The size of a tile list at most, from its longest possible line and the
// range's TotalTiles.
int64_t TileListBytesUpperBound(const TaskTileRange& range, int32_t mapsType, int32_t zoom);

// The lines of a task's tile list. A list can hold millions of lines, so it
// is streamed to disk, and each column's longitudes and each grid line's
// latitude are formatted once instead of once per tile (the conversions are
// pure, so the bytes are the same). A task over an area lists only the tiles
// inside, in the same order.
class TileListWriter {
 public:
  // inside: the tiles of an area, or null for every tile of the range.
  TileListWriter(const TaskTileRange& range, int32_t zoom, int32_t mapsType, const TileSelection* inside);

  // One tile's line, without its CR LF.
  std::string Line(int32_t x, int32_t y) const;
  // The header and every tile's line, atomically; throws FileWriteError.
  void Write(const std::string& path) const;
  // The same into a writer the caller commits; a set cancel, looked at
  // column by column, throws TaskSetupCancelled.
  void Write(AtomicFileWriter& out, const std::atomic<bool>* cancel) const;

 private:
  static constexpr std::size_t kMaxLine = 2048;
  static constexpr std::size_t kLatitudeSlot = 32;
  static constexpr int64_t kMaxCachedGridLines = int64_t{1} << 20;

  void WriteRows(AtomicFileWriter& out, int64_t x, int64_t firstY, int64_t lastY) const;
  std::size_t ColumnPart(char* out, int64_t x) const;
  std::size_t RowPart(char* out, int64_t y) const;
  std::size_t GridLineLatitude(char* out, int64_t k) const;

  const TaskTileRange& range_;
  const TileSelection* inside_;
  uint8_t zoom_;
  RowOrigin origin_;
  std::string namePrefix_;  // "os_"
  std::string nameSuffix_;  // "_4.png: "
  std::string cachedLatitudes_;  // kLatitudeSlot bytes per grid line from MinY on; empty when not cached
  std::vector<uint8_t> cachedLengths_;
};
