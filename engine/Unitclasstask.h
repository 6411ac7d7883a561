#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "TaskParameters.h"

// A set-up that cannot complete. userMessage, when not empty, is shown to
// the user before the main window's "Error: Create task failure.".
class TaskSetupError : public std::runtime_error {
 public:
  TaskSetupError(const std::string& what, std::string userMessage = {})
      : std::runtime_error(what), userMessage(std::move(userMessage)) {}
  std::string userMessage;
};

// A set-up stopped by its user before it wrote anything.
class TaskSetupCancelled : public std::runtime_error {
 public:
  TaskSetupCancelled() : std::runtime_error("The task's set-up was stopped; nothing was written.") {}
};

// The tiles a rectangle covers at a zoom level, and their aligned bounds.
struct TaskTileRange {
  int32_t MinX = 0;
  int32_t MinY = 0;
  int32_t MaxX = 0;
  int32_t MaxY = 0;
  double WestLongitude = 0;
  double EastLongitude = 0;
  double NorthLatitude = 0;
  double SouthLatitude = 0;
  int32_t TotalTiles = 0;
};

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

// A task's name without its ".qrnl" (the text from the last dot, when no
// separator follows it): the stem of its files and its tile folder.
std::string TaskBaseName(const std::string& taskFileName);
// The area file of a task over an area, beside its project file.
std::string AreaFileNameOf(const std::string& taskFileName);

// The task built at Start from its parameters. Nothing changes it after the
// set-up; workers share it read-only.
class DownloadTask : public TaskTileRange {
 public:
  // Throws TaskSetupError: zoom outside 0..30, a coordinate off the grid's
  // 32-bit range (a pole latitude), a range of no tiles or of more than
  // 2^31 - 1, an area with no tile inside, a tile folder that cannot be
  // created. The parameters are not owned and must outlive the task.
  explicit DownloadTask(const TaskParameters& parameters);

  std::array<int32_t, 16> ResumeX{};
  std::array<int32_t, 16> ResumeY{};
  const TaskParameters& Parameters;
  std::string LogPath;
  std::string FailedListPath;
  std::string TileListPath;
  std::string TileFolder;
  // A task over an area: the tiles inside (TotalTiles counts them) and its
  // area file. Null and empty for a rectangle.
  std::shared_ptr<const TileSelection> Inside;
  std::string AreaFilePath;

  std::string TileUrl(int32_t x, int32_t y) const;
  std::string TileFileName(int32_t x, int32_t y) const;
  std::string TileFilePath(int32_t x, int32_t y) const;

  std::string ProjectFilePath() const;

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
  static constexpr const char* kTileListHeader =
      "ImageFileName    Left_Edge_Longitude    Right_Edge_Longitude   Top_Edge_Latitude      "
      "Bottom_Edge_Latitude";

 private:
  void SelectTilesInside();
  void ReadResumePositions();
};
