#pragma once

#include <array>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Combine.h"

// What the combiner window decides without a widget: which tasks it opens,
// the output kinds it offers and the names it suggests, and the texts it shows.

// stitchel [--config FILE] [PROJECT.qrnl ...]
struct StitchelArguments {
  std::string configPath;  // empty: the usual place beside the executable
  std::vector<std::string> projectPaths;
};
std::variant<StitchelArguments, std::string> ParseStitchelArguments(const std::vector<std::string>& args);

// The tasks given, else the one last started in the main window, else none
// (the window then asks with a file dialog).
std::vector<std::string> InitialTasks(const StitchelArguments& arguments, const std::string& configPath);

// The levels of the job a task belongs to: for NAME_zN.qrnl every
// NAME_zM.qrnl beside it, by zoom; for any other name the task alone.
std::vector<std::string> SiblingLevels(const std::string& projectPath);

struct OutputChoice {
  const char* label;
  OutputKind kind;
  const char* ending;  // what the suggested path ends with
};
extern const std::array<OutputChoice, 8> kOutputChoices;

// The output path for a kind: the current one with its ending replaced, or,
// when there is none yet, beside the first task under the job's name.
std::string SuggestedOutputPath(const std::vector<std::string>& projectPaths, const std::string& currentOutput,
                                OutputKind kind);

// The lowest zoom of the tasks that can be read, for the lower levels' choice.
std::optional<int32_t> LowestZoom(const std::vector<std::string>& projectPaths);
// The level the choice starts at: four below the lowest zoom, not below 0.
int32_t DefaultMinZoom(int32_t lowestZoom);

// What "Open folder" opens: a tile folder itself, else the folder holding the output.
std::string FolderToOpen(const std::string& outputPath);

// "1200 of 10000 tiles, 85.3 tiles/s, 1:43 left", after the stage's label.
std::string ProgressText(CombineStage stage, int64_t done, int64_t total, double elapsedSeconds);

// The check box that lets an output be replaced; the refusal names it.
inline constexpr const char* kReplaceLabel = "Replace an existing output";

// The check box that cuts a GeoTIFF or image to the task's area.
inline constexpr const char* kClipLabel = "Cut to the area's outline";

// configPath: where the tile server's attribution is read; empty: none.
CombineRequest StitchelRequest(const CombineChoices& choices, const std::string& executableFolder,
                               const std::string& configPath);
