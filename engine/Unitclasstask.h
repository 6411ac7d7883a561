#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ProjectFile.h"
#include "TaskParameters.h"
#include "TaskTileRange.h"
#include "TileListWriter.h"

// A tile is saved under the task's file name (TileFilePath) with the ending
// of the image it holds: a JPEG from a server of a PNG map type is
// os_8_5_4.jpg, a GIF .gif, a WebP .webp, a PNG .png. Bytes of no known kind,
// and the blank placeholder, keep the task's own name. One tile has one file:
// whoever writes one name removes the others.
//
// The names one tile may lie under, taskPath (the task's own) first.
std::vector<std::string> TileFileNames(const std::string& taskPath);
// The name for these bytes.
std::string TileFilePathFor(const std::string& taskPath, std::string_view body);
// The name the tile lies under (anything there counts, a link too); taskPath
// when it lies under none.
std::string SavedTileFile(const std::string& taskPath);
// Writes body (WriteTileFileAtomic) under TileFilePathFor and then removes the
// tile's other names, unless the caller knows there can be none (they cost a
// call each, a noticeable share of a fast download). Returns the name
// written; throws FileWriteError.
std::string WriteTileBody(const std::string& taskPath, std::string_view body, bool otherNamesPossible = true);
// The placeholder under taskPath unless the tile lies under any of its names
// (CreateFileAtomicNoReplace). False when nothing was written.
bool PutTilePlaceholder(const std::string& taskPath, std::string_view bytes);

// The set-up's own count, without touching any file. Throws TaskSetupError
// for what the set-up refuses: zoom outside 0..30, a coordinate off the
// grid's 32-bit range, no tiles, more than 2^31 - 1 tiles.
TaskTileRange TileRangeOf(double left, double right, double top, double bottom, int32_t zoom, int32_t mapsType);

// Tiles a task's workers have settled before their saved positions (index k
// is worker k): each worker's share up to and including its position; of a
// task over an area, only the tiles inside.
int64_t TilesBeforePositions(const TaskTileRange& range, int32_t threadCount,
                             const std::vector<std::pair<int32_t, int32_t>>& positions,
                             const TileSelection* inside = nullptr);

// What a task is, with no side effect: its parameters (its own copy, never
// changed), its range, its files' names and the tiles inside its area. The
// combiner and the viewer read a finished task through it.
class TaskLayout : public TaskTileRange {
 public:
  // Throws TaskSetupError: zoom outside 0..30, a coordinate off the grid's
  // 32-bit range (a pole latitude), a range of no tiles or of more than
  // 2^31 - 1, an area with no tile inside. A thread count above the task's
  // tiles is lowered to it: no worker would have a tile.
  explicit TaskLayout(TaskParameters parameters);

  const TaskParameters Parameters;
  std::string LogPath;
  std::string FailedListPath;
  std::string TileListPath;
  std::string TileFolder;
  // A task over an area: the tiles inside (TotalTiles counts them) and its
  // area file. Null and empty for a rectangle.
  std::shared_ptr<const TileSelection> Inside;
  std::string AreaFilePath;

  // Vector tiles: their files end .pbf, and a failed one's placeholder is an empty tile.
  bool IsVector() const { return Parameters.Network.TileFormat == TaskTileFormat::Mvt; }

  std::string TileUrl(int32_t x, int32_t y) const;
  // Named by the map type, with the ending .pbf for vector tiles.
  std::string TileFileName(int32_t x, int32_t y) const;
  std::string TileFilePath(int32_t x, int32_t y) const;
  // SavedTileFile(TileFilePath(x, y)).
  std::string SavedTilePath(int32_t x, int32_t y) const;

  std::string ProjectFilePath() const;

 private:
  struct Shape {
    TaskTileRange range;
    std::shared_ptr<const TileSelection> inside;
  };
  static Shape ShapeOf(const TaskParameters& p);
  TaskLayout(TaskParameters parameters, Shape shape);
};

// The task built at Start: its layout, its tile folder made, its workers'
// resume positions read. Nothing changes it after the set-up; workers share
// it read-only.
class DownloadTask : public TaskLayout {
 public:
  // Throws TaskSetupError as TaskLayout does, and for a tile folder that
  // cannot be created.
  explicit DownloadTask(TaskParameters parameters);

  std::array<int32_t, 16> ResumeX{};
  std::array<int32_t, 16> ResumeY{};
  // The tile folder held nothing when the task was built: a tile this run
  // saves once lies under no other name. Workers save each tile once.
  bool TileFolderWasEmpty = false;

  // Removes the hidden temporaries a killed run left in the tile folder and
  // the save folder (a scan of the whole tile folder: part of the set-up
  // that may run off the window's thread).
  void ClearStaleTemporaries() const;
  // Tiles before the workers' resume positions: done by an earlier run.
  int64_t TilesBeforeResume() const;

  // The writers do nothing for a resumed task, except WriteLogHeader, which
  // appends the continuation block (a missing log is an error). All write
  // atomically and throw FileWriteError on failure. nowText is the local
  // date and time as the log shows it (LocalDateTimeText). The project file
  // of a task over an area is written after its area file, which it names.
  void WriteProjectFile() const;
  void WriteTileList() const;
  void WriteLogHeader(const std::string& nowText) const;
  void CreateFailedList() const;
  // All four in their order, with the tile list (the one that can take
  // minutes) built first beside its target and put in place only after the
  // project file: a set cancel stops the build with TaskSetupCancelled, and
  // nothing at all has been written then.
  void WriteFiles(const std::string& nowText, const std::atomic<bool>* cancel) const;

  // The files' contents, built as data for the writers and for tests.
  std::string ProjectFileText() const;
  std::string LogHeaderText(const std::string& nowText) const;
  std::string LogContinuationText(const std::string& nowText) const;
  // One tile's line of the tile list, without its CR LF.
  std::string TileListLine(int32_t x, int32_t y) const;

  static constexpr const char* kVersionText = "5.7";
  static constexpr const char* kTileListHeader = ::kTileListHeader;

 private:
  void ReadResumePositions();
};
