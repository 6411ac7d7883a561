#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Commonfunc.h"

struct TaskTileRange;

// The tiles of a task's rectangle that the task fetches, when it has an area
// and so does not fetch them all. The rectangle, its column-by-column
// numbering (seq) and the workers' shares (seq mod N) stay as they are; a
// selection only says which of those tiles are the task's, cheaply and
// without a list of them: the workers step over the rest, the tile list
// leaves them out, the counts leave them out. area/ implements it.
class TileSelection {
 public:
  virtual ~TileSelection() = default;

  // The tiles selected: the task's total.
  virtual int64_t Count() const = 0;
  virtual bool Contains(int32_t x, int32_t y) const = 0;
  // The first seq >= fromSeq that is worker `index`'s of `workers` and
  // selected; nullopt when none is left.
  virtual std::optional<int64_t> NextWorkerSeq(int64_t workers, int64_t index, int64_t fromSeq) const = 0;
  // How many of worker `index`'s selected tiles have a seq of at most `seq`.
  virtual int64_t WorkerTilesThrough(int64_t workers, int64_t index, int64_t seq) const = 0;
  // The selected tiles as runs of rows, in the walk's order: columns rising,
  // rows rising within each column. An exception thrown by visit ends the walk.
  virtual void ForEachRun(const std::function<void(int32_t x, int32_t firstY, int32_t lastY)>& visit) const = 0;
};

// A task's area as the engine needs it: the file kept beside the project
// file, and the tiles it selects in a range.
class TaskArea {
 public:
  virtual ~TaskArea() = default;
  // The area file's bytes, written at a fresh start.
  virtual const std::string& FileText() const = 0;
  // The tiles of range (at zoom, rows counted from origin) inside the area.
  // Throws TaskSetupError when it cannot be worked out.
  virtual std::shared_ptr<const TileSelection> TilesInside(int32_t zoom, RowOrigin origin,
                                                           const TaskTileRange& range) const = 0;
};
