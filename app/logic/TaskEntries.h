#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Area.h"
#include "Platform.h"
#include "ProjectFile.h"
#include "TaskParameters.h"

// The main window's task entries as typed: the value a front end hands to
// Start. Texts stay texts, since the resume test compares them as typed.
struct TaskEntries {
  std::string left;      // Edit1
  std::string right;     // Edit3
  std::string top;       // Edit2
  std::string bottom;    // Edit4
  std::string savePath;  // Edit6
  std::string threads;   // Edit10
  std::string taskName;  // EditTaskName
  int32_t zoom = 0;      // the slider's position
  int32_t mapsTypeIndex = 8;  // the hidden selector's index, for the resume test
  // Replaces the configuration's Network.MaxRequestsPerSecond (the command line's --max-rate).
  std::optional<int32_t> maxRequestsPerSecond;
  // The chosen tile source's name (SourceCatalogue.h); empty: the
  // configuration's [Hosts], as before sources existed.
  std::string source;
  // Replaces the configuration's Network.TileFormat (the command line's --format); a vector task's own.
  std::optional<TaskTileFormat> tileFormat;
  // A task over an area: only the tiles inside it are fetched, and the four
  // coordinate entries hold its bounds (WithArea). Null: the rectangle.
  std::shared_ptr<const Area> area;
  friend bool operator==(const TaskEntries&, const TaskEntries&) = default;
};

// The entries over an area: the area, and its bounds as the coordinate texts,
// each rounded outward so that the rectangle holds the whole area.
TaskEntries WithArea(TaskEntries entries, std::shared_ptr<const Area> area);
// Whether the coordinate entries still hold the area's bounds as WithArea put them.
bool HoldsAreaBounds(const TaskEntries& entries);

// The tiles a task of these entries holds at their zoom (inside the area,
// for one over an area); nullopt when the entries give no task.
std::optional<int64_t> TilesOf(const TaskEntries& entries);

// The first failing check of the coordinates, as Start shows it, or null.
const char* CoordinateProblem(double left, double right, double top, double bottom);

// The window's label of the save folder's entry.
inline constexpr const char* kSaveFolderLabel = "\"Path to save:\"";

// Start asks before a task of more tiles than this.
inline constexpr int64_t kManyTiles = 1000000;

// What Start does where it would otherwise ask the user: the window asks,
// quarnel-cli follows its options.
struct StartPolicy {
  enum class Decide { Ask, Refuse, Go };
  // A task of the same name with other entries (or a damaged project file).
  Decide replace = Decide::Ask;
  // A task larger than the disk's free space (or than a million tiles, when asking).
  Decide bigTask = Decide::Ask;
  // The checks alone, for an estimate: a missing save folder is not created.
  bool dryRun = false;
  // How refusals name the entry that takes the save folder, as the front end shows it.
  std::string saveFolderEntry = kSaveFolderLabel;
};

// Start's checks, in their order, up to the filled parameters: the
// configuration file, the proxy, the task name, the tile server's address
// and the request headers, the save folder (created when missing), the coordinates, the thread count, the extension, the resume test
// (or the replace question) and the disk space. Shows the first refusal and
// returns nullopt; throws for a thread count that is no number (the error
// display's case).
std::optional<TaskParameters> ParametersForStart(Platform& platform, const std::string& configPath,
                                                 const TaskEntries& entries, const StartPolicy& policy = {});

// A zoom range's disk-space check, made once over every level (whose own
// checks then pass it with Decide::Go): the tiles still to fetch of all the
// levels against the free space, and the million-tile question for the whole job.
bool RangeSpaceAllows(Platform& platform, const std::vector<TaskParameters>& levels, const StartPolicy& policy);

// Why a task name cannot name a project file in the save folder (a folder in
// it, "..", an absolute path), or nullopt. The refusal points to the save
// folder's entry as saveFolderEntry names it.
std::optional<std::string> TaskNameProblem(const std::string& name,
                                           const std::string& saveFolderEntry = kSaveFolderLabel);

// Why the files of a task named taskFileName (extension included) cannot be
// made in saveFolder: a name longer than the file system allows, counting
// the longest name derived from it and the temporary beside that; or nullopt.
// The folder need not exist yet: its nearest existing parent is asked.
std::optional<std::string> TaskNameLengthProblem(const std::string& saveFolder, const std::string& taskFileName);

// The entries a project file holds, as the window's reader puts them in,
// with the task's area. Throws AreaError naming the area file when it is
// missing or damaged; readArea false leaves the area out, for a caller that
// replaces the area and the rectangle anyway.
TaskEntries EntriesOf(const ProjectFile& project, bool readArea = true);
