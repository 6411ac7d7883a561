#include "CombineRequest.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace {

bool EndsWith(const std::string& text, const std::string& ending) {
  if (text.size() < ending.size()) return false;
  return std::equal(ending.rbegin(), ending.rend(), text.rbegin(),
                    [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

std::string ListOfEndings(bool tileSetsOnly, const char* folder) {
  std::vector<std::string> names;
  for (const OutputEnding& ending : kOutputEndings)
    if (!tileSetsOnly || IsTileSet(ending.kind))
      names.push_back(ending.kind == OutputKind::TileTree ? folder : ending.ending);
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i)
    text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
  return text;
}

}  // namespace

std::string OutputEndingsText() { return ListOfEndings(false, "/"); }
std::string TileSetEndingsText() { return ListOfEndings(true, "a folder"); }

std::optional<OutputKind> OutputKindOf(const std::string& path) {
  for (const OutputEnding& ending : kOutputEndings)
    if (EndsWith(path, ending.ending)) return ending.kind;
  return std::nullopt;
}

bool IsTileSet(OutputKind kind) {
  return kind == OutputKind::MBTiles || kind == OutputKind::PMTiles || kind == OutputKind::GeoPackage ||
         kind == OutputKind::SqliteDb || kind == OutputKind::TileTree;
}

const char* StageLabel(CombineStage stage) {
  switch (stage) {
    case CombineStage::LowerLevels: return "Lower levels: ";
    case CombineStage::Overviews: return "Overviews: ";
    case CombineStage::Encoding: return "Encoding the image: ";
    default: return "";
  }
}

CombineRequest CombineRequestFor(const CombineChoices& choices, const std::string& blankImagePath,
                                 const std::string& configPath,
                                 std::function<bool(int32_t mapsType, int32_t zoom)> zoomAllowed) {
  CombineRequest request;
  request.projectFiles = choices.projectFiles;
  request.outputPath = choices.outputPath;
  request.blankImagePath = blankImagePath;
  request.force = choices.force;
  request.overviews = choices.overviews;
  request.clip = choices.clip;
  request.minZoom = choices.minZoom;
  request.tileSize = choices.tileSize;
  request.palette = choices.palette;
  request.configPath = configPath;
  request.zoomAllowed = std::move(zoomAllowed);
  return request;
}

std::string CombineSummaryText(const CombineSummary& summary, const std::string& outputPath,
                               std::optional<int32_t> minZoom) {
  if (summary.tileSize != 256)
    return std::to_string(summary.lowerTiles) + " tiles of " + std::to_string(summary.tileSize) + " pixels written to " +
           outputPath + ", " + std::to_string(summary.noDataTiles) + " without data, " +
           std::to_string(summary.badTiles) + " bad.";
  std::string text = std::to_string(summary.dataTiles) + " tiles written to " + outputPath + ", " +
                     std::to_string(summary.noDataTiles) + " without data, " + std::to_string(summary.badTiles) +
                     " bad";
  if (minZoom)
    text += "; " + std::to_string(summary.lowerTiles) + " tiles built for the levels down to zoom " +
            std::to_string(*minZoom);
  else if (summary.lowerTiles > 0)
    text += "; " + std::to_string(summary.lowerTiles) + " tiles built for the lower levels";
  if (summary.mixedPngTiles > 0 && summary.mixedJpegTiles > 0)
    text += "; its tiles mix " + std::to_string(summary.mixedPngTiles) + " PNG and " +
            std::to_string(summary.mixedJpegTiles) +
            " JPEG, each kept as it came, and its metadata, which has room for one format, says png";
  return text + ".";
}
