#include "StitchelLogic.h"

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string_view>

#include "AppPaths.h"
#include "CombineSource.h"
#include "MapTypeZoom.h"
#include "ProgressText.h"
#include "RecentTask.h"
#include "TileSet.h"

namespace fs = std::filesystem;

const std::array<OutputChoice, 8> kOutputChoices{{
    {"GeoTIFF (.tif)", OutputKind::GeoTiff, ".tif"},
    {"MBTiles (.mbtiles)", OutputKind::MBTiles, ".mbtiles"},
    {"PMTiles (.pmtiles)", OutputKind::PMTiles, ".pmtiles"},
    {"GeoPackage (.gpkg)", OutputKind::GeoPackage, ".gpkg"},
    {"OsmAnd/Locus sqlitedb (.sqlitedb)", OutputKind::SqliteDb, ".sqlitedb"},
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
    } else {
      result.projectPaths.push_back(args[i]);
    }
  }
  return result;
}

std::vector<std::string> InitialTasks(const StitchelArguments& arguments, const std::string& configPath) {
  if (!arguments.projectPaths.empty()) return arguments.projectPaths;
  const std::string last = LastTask(configPath);
  if (last.empty()) return {};
  return {last};
}

std::vector<std::string> SiblingLevels(const std::string& projectPath) {
  static const std::regex level("(.*)_z([0-9]+)\\.qrnl");
  const fs::path project(projectPath);
  std::smatch match;
  const std::string name = project.filename().string();
  if (!std::regex_match(name, match, level)) return {projectPath};
  const std::string job = match[1];
  std::vector<std::pair<int, std::string>> found;
  std::error_code error;
  const fs::path folder = project.has_parent_path() ? project.parent_path() : fs::path(".");
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string other = entry.path().filename().string();
    std::smatch otherMatch;
    if (std::regex_match(other, otherMatch, level) && otherMatch[1] == job && entry.is_regular_file(error))
      found.emplace_back(std::stoi(otherMatch[2]), (project.parent_path() / other).string());
  }
  if (found.empty()) return {projectPath};
  std::sort(found.begin(), found.end());
  std::vector<std::string> levels;
  for (const auto& [zoom, path] : found) levels.push_back(path);
  return levels;
}

std::string SuggestedOutputPath(const std::vector<std::string>& projectPaths, const std::string& currentOutput,
                                OutputKind kind) {
  std::string ending;
  for (const OutputChoice& choice : kOutputChoices)
    if (choice.kind == kind) ending = choice.ending;
  constexpr std::string_view kTreeSuffix = "_tiles";
  std::string base = currentOutput;
  if (base.empty()) {
    if (projectPaths.empty()) return "";
    // One task keeps its own name; the levels of a job share the job's, and
    // of other tasks the first one's stands for all.
    const fs::path first(projectPaths.front());
    const std::string name = first.stem().string();
    base = (first.parent_path() / (projectPaths.size() == 1 ? name : TileSetName({name}))).string();
  } else if (base.back() == '/') {
    while (!base.empty() && base.back() == '/') base.pop_back();
    if (base.ends_with(kTreeSuffix)) base.resize(base.size() - kTreeSuffix.size());
  } else if (OutputKindOf(base)) {
    base = fs::path(base).replace_extension().string();
  }
  return base + ending;
}

std::optional<int32_t> LowestZoom(const std::vector<std::string>& projectPaths) {
  std::optional<int32_t> lowest;
  for (const std::string& project : projectPaths) {
    try {
      const int32_t zoom = CombineSource::Open(project, nullptr)->Zoom();
      lowest = lowest ? std::min(*lowest, zoom) : zoom;
    } catch (const CombineError&) {
      // The combine itself names what is wrong with the task.
    }
  }
  return lowest;
}

int32_t DefaultMinZoom(int32_t lowestZoom) { return std::max(0, lowestZoom - 4); }

std::string FolderToOpen(const std::string& outputPath) {
  if (!outputPath.empty() && outputPath.back() == '/') return outputPath;
  const fs::path folder = fs::path(outputPath).parent_path();
  return folder.empty() ? "." : folder.string();
}

std::string ProgressText(CombineStage stage, int64_t done, int64_t total, double elapsedSeconds) {
  return StageLabel(stage) + FormatProgress(done, total, elapsedSeconds);
}

CombineRequest StitchelRequest(const CombineChoices& choices, const std::string& executableFolder,
                               const std::string& configPath) {
  CombineRequest request =
      CombineRequestFor(choices, BlankImagePathIn(executableFolder), configPath, &ZoomInMapTypeRange);
  request.replaceHint = std::string("tick \"") + kReplaceLabel + "\"";
  return request;
}
