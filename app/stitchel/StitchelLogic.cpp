#include "StitchelLogic.h"

#include <filesystem>
#include <string_view>

#include "AppPaths.h"
#include "MapTypeZoom.h"
#include "ProgressLine.h"
#include "RecentTask.h"

namespace fs = std::filesystem;

const std::array<OutputChoice, 5> kOutputChoices{{
    {"GeoTIFF (.tif)", OutputKind::GeoTiff, ".tif"},
    {"MBTiles (.mbtiles)", OutputKind::MBTiles, ".mbtiles"},
    {"PNG image with world file (.png)", OutputKind::PngWorldImage, ".png"},
    {"JPEG image with world file (.jpg)", OutputKind::JpegWorldImage, ".jpg"},
    {"Tile folder {z}/{x}/{y}", OutputKind::TileTree, "_tiles/"},
}};

std::variant<StitchelArguments, std::string> ParseStitchelArguments(const std::vector<std::string>& args) {
  StitchelArguments result;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--config") {
      if (i + 1 >= args.size()) return std::string("--config needs a file");
      result.configPath = args[++i];
    } else if (args[i].rfind("--", 0) == 0) {
      return "unknown option " + args[i];
    } else if (!result.projectPath.empty()) {
      return std::string("give one project file");
    } else {
      result.projectPath = args[i];
    }
  }
  return result;
}

std::string InitialTask(const StitchelArguments& arguments, const std::string& configPath) {
  if (!arguments.projectPath.empty()) return arguments.projectPath;
  return LastTask(configPath);
}

std::string SuggestedOutputPath(const std::string& projectPath, const std::string& currentOutput, OutputKind kind) {
  std::string ending;
  for (const OutputChoice& choice : kOutputChoices)
    if (choice.kind == kind) ending = choice.ending;
  constexpr std::string_view kTreeSuffix = "_tiles";
  std::string base = currentOutput;
  if (base.empty()) {
    base = fs::path(projectPath).replace_extension().string();
  } else if (base.back() == '/') {
    while (!base.empty() && base.back() == '/') base.pop_back();
    if (base.ends_with(kTreeSuffix)) base.resize(base.size() - kTreeSuffix.size());
  } else if (OutputKindOf(base)) {
    base = fs::path(base).replace_extension().string();
  }
  return base + ending;
}

std::string ProgressText(int64_t done, int64_t total, double elapsedSeconds) {
  return FormatProgress(done, total, elapsedSeconds);
}

std::string SummaryText(const CombineSummary& summary, const std::string& outputPath) {
  return std::to_string(summary.dataTiles) + " tiles written to " + outputPath + ", " +
         std::to_string(summary.noDataTiles) + " without data, " + std::to_string(summary.badTiles) + " bad.";
}

CombineRequest StitchelRequest(const std::string& projectPath, const std::string& outputPath,
                               const std::string& executableFolder, bool force, bool overviews) {
  CombineRequest request;
  request.projectFiles = {projectPath};
  request.outputPath = outputPath;
  request.blankImagePath = BlankImagePathIn(executableFolder);
  request.force = force;
  request.replaceHint = std::string("tick \"") + kReplaceLabel + "\"";
  request.overviews = overviews;
  request.zoomAllowed = &ZoomInMapTypeRange;
  return request;
}
