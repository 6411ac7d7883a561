#include "Combine.h"

#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <string_view>
#include <utility>

#include "AtomicFile.h"
#include "IniFile.h"
#include "MapServices.h"
#include "OutputPath.h"
#include "ProjectFile.h"
#include "Writers.h"

namespace {

// The project files without repeats: a task named twice (under any path)
// is read and counted once.
std::vector<std::string> DistinctProjects(const std::vector<std::string>& projects) {
  std::vector<std::string> distinct;
  std::set<std::pair<dev_t, ino_t>> seen;
  for (const std::string& project : projects) {
    struct stat info {};
    if (::stat(project.c_str(), &info) == 0 && !seen.insert({info.st_dev, info.st_ino}).second) continue;
    distinct.push_back(project);
  }
  return distinct;
}

// The request's, else the tasks' own sources' (each once, in order), else the configuration's.
std::string AttributionOf(const CombineRequest& request, const std::vector<std::string>& projects) {
  if (!request.attribution.empty()) return request.attribution;
  std::vector<std::string> own;
  for (const std::string& project : projects) {
    std::optional<TileSource> source;
    try {
      source = ProjectFile::Read(project).Source;
    } catch (const ProjectFileError&) {
      continue;  // opening the task names what is wrong with it
    }
    if (source && !source->Attribution.empty() &&
        std::find(own.begin(), own.end(), source->Attribution) == own.end())
      own.push_back(source->Attribution);
  }
  if (!own.empty()) {
    std::string joined = own.front();
    for (std::size_t i = 1; i < own.size(); ++i) joined += "; " + own[i];
    return joined;
  }
  if (request.configPath.empty()) return {};
  try {
    return IniFile(request.configPath).ReadString("Hosts", "Attribution", "");
  } catch (const std::exception& error) {
    throw CombineError("Cannot read the configuration " + request.configPath + ": " + error.what());
  }
}

// Vector tiles go whole into MBTiles, PMTiles or a folder; nothing here draws them.
void CheckVectorTasksFit(const CombineJob& job, OutputKind kind) {
  const auto vector = std::find_if(job.sources.begin(), job.sources.end(), [](const auto& s) { return s->IsVector(); });
  if (vector == job.sources.end()) return;
  for (const auto& source : job.sources)
    if (!source->IsVector())
      throw CombineError("The tasks mix vector tiles (" + (*vector)->ProjectPath() + ") and images (" +
                         source->ProjectPath() + "): combine each kind on its own.");
  if (kind != OutputKind::MBTiles && kind != OutputKind::PMTiles && kind != OutputKind::TileTree)
    throw CombineError((*vector)->ProjectPath() +
                       " holds vector tiles, which are not drawn here: write them to .mbtiles, .pmtiles or a folder "
                       "ending in /; a GeoTIFF, a PNG or JPEG image, a GeoPackage or a .sqlitedb holds images only.");
  if (job.request.tileSize != kTilePixels || job.request.palette)
    throw CombineError(std::string(job.request.palette ? "Palette lower levels" : "512-pixel tiles") +
                       " are drawn from images, and " + (*vector)->ProjectPath() + " holds vector tiles.");
  if (job.request.minZoom)
    throw CombineError("Vector tiles' lower levels are fetched, not built from the tiles above: download each level "
                       "you want (quarnel-cli --zoom A-B makes one task a level) and combine those tasks.");
}

// Refusals that need the tasks: what the output can hold of them.
void CheckTasksFit(const CombineJob& job, OutputKind kind) {
  const CombineRequest& request = job.request;
  CheckVectorTasksFit(job, kind);
  if (!IsTileSet(kind) && job.sources.size() != 1)
    throw CombineError("One image holds one task: give one project file, or write a tile set (" +
                       TileSetEndingsText() + ").");
  if (request.clip && IsTileSet(kind))
    throw CombineError("Cutting to the area's outline is for a GeoTIFF or a PNG or JPEG image: a tile set holds "
                       "whole tiles, and takes only those inside the area without it.");
  if (request.minZoom) {
    if (!IsTileSet(kind))
      throw CombineError("Lower levels are built for tile sets (" + TileSetEndingsText() + "); " +
                         (kind == OutputKind::GeoTiff ? "a GeoTIFF has overviews instead (--overviews)."
                                                      : "a PNG or JPEG image holds one zoom level only."));
    int32_t lowest = job.sources.front()->Zoom();
    for (const auto& source : job.sources) lowest = std::min(lowest, source->Zoom());
    if (*request.minZoom < 0 || *request.minZoom > lowest)
      throw CombineError("The lowest level to build, zoom " + std::to_string(*request.minZoom) +
                         ", must lie between 0 and the tasks' lowest zoom, " + std::to_string(lowest) + ".");
  }
  if ((request.tileSize != kTilePixels || request.palette) && !IsTileSet(kind))
    throw CombineError(std::string(request.palette ? "Palette lower levels" : "512-pixel tiles") +
                       " are built for tile sets (" + TileSetEndingsText() + ").");
  if (request.tileSize != kTilePixels) {
    if (request.tileSize != 2 * kTilePixels)
      throw CombineError("Tiles are 256 or 512 pixels wide, not " + std::to_string(request.tileSize) + ".");
    for (const auto& source : job.sources)
      if (source->Zoom() != job.sources.front()->Zoom())
        throw CombineError("512-pixel tiles are built from one zoom level, and the tasks have several (" +
                           job.sources.front()->ProjectPath() + " and " + source->ProjectPath() + ").");
    const int32_t zoom = job.sources.front()->Zoom();
    if (zoom == 0 || (request.minZoom && *request.minZoom >= zoom))
      throw CombineError("512-pixel tiles begin a level above the tasks' zoom " + std::to_string(zoom) +
                         (zoom == 0 ? ", and there is none." : ": the lowest level must lie below it."));
  }
  if (kind == OutputKind::PMTiles)
    for (const auto& source : job.sources)
      if (FindMapService(source->MapsType())->fileExtension !=
          std::string_view(FindMapService(job.sources.front()->MapsType())->fileExtension))
        throw CombineError("The tasks mix PNG and JPEG tiles (" + job.sources.front()->ProjectPath() + " and " +
                           source->ProjectPath() + "): a PMTiles archive holds one kind. "
                           "Write .mbtiles, .gpkg or a folder instead.");
  if (kind == OutputKind::PngWorldImage || kind == OutputKind::JpegWorldImage) {
    const MosaicGeometry geometry = job.sources.front()->Geometry();
    if (geometry.width > kMaxWorldImageSide || geometry.height > kMaxWorldImageSide)
      throw CombineError("The mosaic would be " + std::to_string(geometry.width) + " x " +
                         std::to_string(geometry.height) + " pixels, more than " +
                         std::to_string(kMaxWorldImageSide) + " a side for PNG or JPEG: write a GeoTIFF (.tif).");
  }
}

}  // namespace

CombineSummary Combine(const CombineRequest& request) {
  const auto kind = OutputKindOf(request.outputPath);
  if (!kind)
    throw CombineError("The output " + request.outputPath + " names no known kind: end it with " +
                       OutputEndingsText() + ".");
  if (request.projectFiles.empty()) throw CombineError("No project file given.");
  const std::vector<std::string> projects = DistinctProjects(request.projectFiles);
  CombineJob job{request, {}, {}, {}, {}, 0, 0};
  for (const auto& project : projects) job.sources.push_back(CombineSource::Open(project, request.zoomAllowed));
  job.attribution = AttributionOf(request, projects);
  CheckTasksFit(job, *kind);
  const bool worldImage = *kind == OutputKind::PngWorldImage || *kind == OutputKind::JpegWorldImage;
  const std::vector<std::string> sidecars =
      worldImage ? WorldImageSidecars(request.outputPath) : std::vector<std::string>{};
  MadeFolders madeFolders;
  for (const std::string& sidecar : sidecars) CheckOutputPlace(sidecar, request.force, request.replaceHint, &madeFolders);
  CheckOutputPlace(request.outputPath, request.force, request.replaceHint, &madeFolders);
  RemoveStaleTemporariesOf(request.outputPath, sidecars);
  if (!request.blankImagePath.empty()) {
    try {
      job.blank = ReadWholeFile(request.blankImagePath);
    } catch (const FileWriteError&) {
      // Without the placeholder nothing looks blank; data tiles still count as data.
    }
  }
  for (const auto& source : job.sources) job.total += source->TileCount();

  try {
    if (CopiesStoreWhole(job, *kind))
      CopyStoreToMBTiles(job);
    else if (IsTileSet(*kind))
      WriteTileSetOutput(job, *kind);
    else if (*kind == OutputKind::GeoTiff)
      WriteGeoTiffOutput(job);
    else
      WriteWorldImageOutput(job, *kind);
  } catch (const CombineCancelled&) {
    throw;
  } catch (const CombineError& error) {
    throw CombineWriteFailure(error.what());
  }
  madeFolders.Keep();
  return job.summary;
}
