#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Commonfunc.h"
#include "MapGeometry.h"

// One task as the map viewer sees it: its extent, read from the project
// file, and the state of every tile of its range, found on disk.

enum class TileState : uint8_t { Missing, Saved, Blank, Failed };
inline constexpr std::size_t kTileStateCount = 4;
const char* TileStateName(TileState state);

class TaskFolderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Dense state tables hold one byte per tile; beyond this a task is refused
// rather than exhausting memory.
inline constexpr int64_t kMaxViewableTiles = int64_t{1} << 26;

struct TaskExtent {
  std::string projectPath;
  int32_t mapsType = 8;
  int32_t zoom = 0;
  double left = 0, right = 0, top = 0, bottom = 0;  // as entered
  // The tile range, rows in the service's count, in rising order.
  int32_t minX = 0, minY = 0, maxX = -1, maxY = -1;
  std::string tileFolder;  // with a trailing separator
  std::string failedListPath;
  RowOrigin origin = RowOrigin::FromTop;
  int64_t TileCount() const { return (int64_t{maxX} - minX + 1) * (int64_t{maxY} - minY + 1); }
  bool Contains(int32_t x, int32_t y) const { return x >= minX && x <= maxX && y >= minY && y <= maxY; }
  std::string FileName(int32_t x, int32_t y) const;
  std::string FilePath(int32_t x, int32_t y) const { return tileFolder + FileName(x, y); }
};

// The task's range with rows counted from the top, as the map draws it.
TileRange TopCountedRange(const TaskExtent& extent);

// Throws TaskFolderError with a line for the window: the file cannot be
// read, its area or zoom give no range, or the range is too large to show.
TaskExtent ReadTaskExtent(const std::string& projectPath);

// The column and row of a file name of this map type and zoom; nullopt for
// any other name.
std::optional<TileKey> ParseTileFileName(const std::string& fileName, int32_t mapsType, int32_t zoom);

class TaskTileStates {
 public:
  explicit TaskTileStates(const TaskExtent& extent);
  const TaskExtent& Extent() const { return extent_; }
  // Missing outside the range.
  TileState At(int32_t x, int32_t y) const;
  void Set(int32_t x, int32_t y, TileState state);
  int64_t Count(TileState state) const { return counts_[static_cast<std::size_t>(state)]; }

 private:
  std::size_t Index(int32_t x, int32_t y) const;
  TaskExtent extent_;
  std::vector<uint8_t> states_;
  std::array<int64_t, kTileStateCount> counts_{};
};

struct TaskScan {
  TaskTileStates states;
  std::vector<std::string> problems;  // short lines for the window
};

// Lists the tile folder once (no per-tile lookups of absent files). A listed
// failed tile stays failed while its file is absent or the blank
// placeholder; a tile re-fetched since is saved.
TaskScan ScanTaskFolder(const TaskExtent& extent, const std::string& blankImage);

// The state of one tile file as it lies on disk now (after a re-fetch).
TileState ProbeTileFile(const std::string& path, const std::string& blankImage, bool listedFailed);
