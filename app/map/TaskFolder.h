#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Area.h"
#include "AreaMask.h"
#include "Commonfunc.h"
#include "MapGeometry.h"
#include "TaskTiles.h"
#include "TileSource.h"
#include "Unitclasstask.h"

// One task as the map viewer sees it: its extent, read from the project
// file, its area when it has one, and the state of every tile it fetches,
// found on disk. A task with an area fetches only the tiles inside it; the
// rest of its rectangle is no part of the task: never missing, never shown.

enum class TileState : uint8_t { Missing, Saved, Blank, Failed };
inline constexpr std::size_t kTileStateCount = 4;
const char* TileStateName(TileState state);

class TaskFolderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// State tables hold one byte per tile of the task; beyond this a task is
// refused rather than exhausting memory.
inline constexpr int64_t kMaxViewableTiles = int64_t{1} << 26;

// The task's area as its file holds it, and the tiles of its range inside it.
struct ViewedArea {
  std::string path;
  Area area;
  AreaMask mask;
};

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
  std::shared_ptr<const ViewedArea> area;  // shared read-only; null for a task of the whole rectangle
  std::optional<TileSource> source;        // the task's own tile source; null: the configuration's [Hosts]
  // Vector tiles: files end .pbf, an empty one is a placeholder, and none is drawn.
  bool vector = false;
  std::shared_ptr<const TaskLayout> layout;  // the task as the engine lays it out
  bool inOneFile = false;                    // its tiles lie in its store, not in tileFolder
  // The rectangle's tiles.
  int64_t TileCount() const { return (int64_t{maxX} - minX + 1) * (int64_t{maxY} - minY + 1); }
  bool Contains(int32_t x, int32_t y) const { return x >= minX && x <= maxX && y >= minY && y <= maxY; }
  // The task's own tiles: the rectangle's, or those inside its area.
  int64_t InsideCount() const { return area ? area->mask.TileCount() : TileCount(); }
  bool Inside(int32_t x, int32_t y) const { return Contains(x, y) && (!area || area->mask.Contains(x, y)); }
  // The task's own name; the tile may lie under another ending (SavedTileFile).
  std::string FileName(int32_t x, int32_t y) const;
  // The file the tile lies under, else its own name.
  std::string FilePath(int32_t x, int32_t y) const { return SavedTileFile(tileFolder + FileName(x, y)); }
};

// The task's range with rows counted from the top, as the map draws it.
TileRange TopCountedRange(const TaskExtent& extent);

// The outline a task is drawn with: its area, or its rectangle.
Area OutlineOfTask(const TaskExtent& extent);

// Throws TaskFolderError with a line for the window: the file cannot be
// read, its rectangle or zoom give no range, its area file is missing or
// damaged or holds no tile of the range, or the task is too large to show.
TaskExtent ReadTaskExtent(const std::string& projectPath);

class TaskTileStates {
 public:
  explicit TaskTileStates(const TaskExtent& extent);
  const TaskExtent& Extent() const { return extent_; }
  // Missing outside the task (its range, or its area); Set ignores such tiles.
  TileState At(int32_t x, int32_t y) const;
  void Set(int32_t x, int32_t y, TileState state);
  // Every tile of the task with its state, in the order they are held.
  void ForEach(const std::function<void(int32_t x, int32_t y, TileState state)>& visit) const;
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

// Lists the tile folder once (no per-tile lookups of absent files), or the
// store's rows. A listed failed tile stays failed while its file is absent
// or the blank placeholder (an empty file for vector tiles, a placeholder row
// in a store); a tile re-fetched since is saved.
TaskScan ScanTaskFolder(const TaskExtent& extent, const std::string& blankImage);

// The task's tiles to read (a store's rows, or the folder's files); throws
// for a store that cannot be opened.
std::unique_ptr<TaskTiles> OpenViewedTiles(const TaskExtent& extent, const std::string& blankImage);
// The state of one tile as it lies in its folder or store now (after a re-fetch).
TileState ProbeTile(const TaskTiles& tiles, int32_t x, int32_t y, bool listedFailed);
