#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// The command line of quarnel-cli. Scripts depend on it, so it only grows.
struct CliArguments {
  enum class Mode { Task, Redownload, Convert, Combine, Refresh, Sources, Help, Version };
  Mode mode = Mode::Task;

  std::optional<std::string> configPath;

  // Task run: each given option replaces the entry the window (or --open) filled.
  std::optional<std::string> projectToOpen;
  std::optional<std::string> left, right, top, bottom;
  std::optional<std::string> areaFile;  // --area: any vector file; its bounds become the rectangle
  double bufferMetres = 0;              // --buffer: around the area's lines and points
  std::optional<int> zoom;
  std::optional<std::pair<int, int>> zoomRange;  // --zoom A-B: one task per level
  std::optional<int> threads;
  std::optional<std::string> savePath;
  std::optional<std::string> taskName;  // ".qrnl" added when missing
  std::optional<std::string> source;    // --source: a tile source's name
  std::optional<std::string> format;    // --format: mvt (vector tiles) or raster, checked when parsed
  std::optional<int> maxRate;           // requests per second, 0 = no cap
  bool replace = false;       // --replace: a task of the same name with other entries is replaced
  bool noSpaceCheck = false;  // --no-space-check: start a task larger than the disk's free space
  bool dryRun = false;        // --dry-run: tile counts and sizes from sample tiles; nothing written
  bool levelOfRange = false;  // one level of --zoom A-B (ZoomLevelRuns sets it)

  // refresh: the task's project file, and --older-than's days
  std::string refreshProject;
  std::optional<int> olderThanDays;

  // redownload
  std::string failedListPath;

  // combine: the words after the command, parsed by ParseCombineArguments
  std::vector<std::string> combineWords;

  // sources: the words after the command, parsed by ParseSourcesCommand
  std::vector<std::string> sourcesWords;

  // convert: the three fields exactly as typed
  std::string degrees, minutes, seconds;
};

struct CliUsageError {
  std::string message;
};

// args excludes the program name.
std::variant<CliArguments, CliUsageError> ParseCliArguments(const std::vector<std::string>& args);

std::string CliUsageText();

// The command line's task name rule: ".qrnl" is added when missing, so NAME
// and NAME.qrnl are one task. An empty name stays empty (Start refuses it).
std::string CliTaskFileName(const std::string& name);

// The program beside quarnel-cli that runs "quarnel-cli combine": GDAL and
// its libraries load only there, not at every download's start.
inline constexpr const char* kCombineProgram = "quarnel-cli-combine";

// The text of a --zoom value "A-B"; false when it is not of that form.
bool ParseZoomRange(const std::string& text, int& first, int& last);
