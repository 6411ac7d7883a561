#pragma once

#include <array>
#include <optional>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "TaskParameters.h"
#include "TileSource.h"

#include "TaskParameters.h"
struct TaskTileRange;

// A task's name without its ".qrnl" (the text from the last dot, when no
// separator follows it): the stem of its files and its tile folder.
std::string TaskBaseName(const std::string& taskFileName);
// The area file of a task over an area, beside its project file.
std::string AreaFileNameOf(const std::string& taskFileName);

// A project file that cannot serve: missing, no text, or a key that is
// missing, no number or out of range. The message names the file (and the key).
class ProjectFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A task's project file (NAME.qrnl): the one place that reads, checks and
// writes it, for every reader (the window's "Open task ...", the resume test
// at Start, quarnel-cli, the map viewer, the combiner).
//
// A damaged file is refused, never read with defaults: a missing Zoom would
// otherwise read as zoom 0, and the next Start would overwrite the task.
struct ProjectFile {
  static constexpr int32_t kPositionSlots = kMaxWorkers;  // one a worker
  struct Position {
    int32_t x = 0;  // 0: no position
    int32_t y = 0;
  };

  std::string path;  // as given to Read
  int32_t MapsType = 8;  // a missing key reads as 8; any other number is kept as stored
  // The rectangle as stored: the texts (the resume test compares texts as typed) and their values.
  std::string LeftText, RightText, TopText, BottomText;
  double Left = 0, Right = 0, Top = 0, Bottom = 0;
  // [AREA] AreaFile: a task over an area names its area file, relative to
  // the project file's folder; empty for a rectangle. area/AreaTask.h reads it.
  std::string AreaFile;
  int32_t Zoom = 0;
  int32_t ThreadCount = 1;
  // T1X/T1Y .. T8X/T8Y: where each worker saved its last tile; a missing,
  // empty or unreadable value is no position.
  std::array<Position, kPositionSlots> Positions{};
  // [Source] and [SourceHeaders]: the source the task was made with, kept so
  // that no later edit of the sources retargets it (its key is never here,
  // only "{key}"). Null for a task of the configuration's [Hosts].
  std::optional<TileSource> Source;
  // [Tiles] Format: mvt for a task of vector tiles; missing for images.
  // ContentEncoding=kept beside it says the bodies lie as the server sent
  // them (gzip stays gzip; a Content-Encoding is never decoded).
  TaskTileFormat TileFormat = TaskTileFormat::Raster;

  // Throws ProjectFileError: the file is missing or no text; Zoom is not in
  // 0..30; a coordinate is not a number, off -180..180 (longitudes) or
  // -90..90 (latitudes), or the rectangle is turned over; ThreadCount is below 1.
  static ProjectFile Read(const std::string& path);
  // AreaFile resolved against the project file's folder; empty for a rectangle.
  std::string AreaPath() const;
  // The worker positions alone, for a resume the resume test already
  // allowed: a missing file or key is no position.
  static std::array<Position, kPositionSlots> ReadPositions(const std::string& path);
};

// The parameters a finished task was made with, as its readers need them
// (TaskLayout): map type, zoom, rectangle, thread count, source, and the
// save folder and name from the file's own path. No area: its readers read
// it themselves (area/AreaTask.h).
TaskParameters ParametersOf(const ProjectFile& project);

// The text WriteProjectFile gives a new task: its inputs, its range and
// empty position keys for ThreadSlots workers; a task over an area also
// names its area file.
std::string ProjectFileText(const TaskParameters& parameters, const TaskTileRange& range);

// Writes the positive values among the workers' positions (index n is
// worker n + 1) in one atomic rewrite; a value of 0 keeps what the key held.
void WriteProjectPositions(const std::string& path, const std::vector<std::pair<int32_t, int32_t>>& positions);
