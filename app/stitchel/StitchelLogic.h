#pragma once

#include <array>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Combine.h"

// What the combiner window decides without a widget: which task it opens,
// the output kinds it offers and the names it suggests, and the texts it shows.

// stitchel [--config FILE] [PROJECT.qrnl]
struct StitchelArguments {
  std::string configPath;  // empty: the usual place beside the executable
  std::string projectPath;
};
std::variant<StitchelArguments, std::string> ParseStitchelArguments(const std::vector<std::string>& args);

// The task given, else the one last started in the main window, else empty
// (the window then asks with a file dialog).
std::string InitialTask(const StitchelArguments& arguments, const std::string& configPath);

struct OutputChoice {
  const char* label;
  OutputKind kind;
  const char* ending;  // what the suggested path ends with
};
extern const std::array<OutputChoice, 5> kOutputChoices;

// The output path for a kind: the current one with its ending replaced, or,
// when there is none yet, beside the project file under the task's name.
std::string SuggestedOutputPath(const std::string& projectPath, const std::string& currentOutput, OutputKind kind);

// "1200 of 10000 tiles, 85.3 tiles/s, 1:43 left".
std::string ProgressText(int64_t done, int64_t total, double elapsedSeconds);
// The closing line of a written output.
std::string SummaryText(const CombineSummary& summary, const std::string& outputPath);

// The check box that lets an output be replaced; the refusal names it.
inline constexpr const char* kReplaceLabel = "Replace an existing output";

CombineRequest StitchelRequest(const std::string& projectPath, const std::string& outputPath,
                               const std::string& executableFolder, bool force, bool overviews);
