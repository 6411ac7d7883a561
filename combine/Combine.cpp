#include "Combine.h"

#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <utility>

#include "AtomicFile.h"
#include "OutputPath.h"
#include "Writers.h"

namespace {

bool EndsWith(const std::string& text, const std::string& ending) {
  if (text.size() < ending.size()) return false;
  return std::equal(ending.rbegin(), ending.rend(), text.rbegin(),
                    [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

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

}  // namespace

std::optional<OutputKind> OutputKindOf(const std::string& path) {
  if (EndsWith(path, ".tif") || EndsWith(path, ".tiff")) return OutputKind::GeoTiff;
  if (EndsWith(path, ".mbtiles")) return OutputKind::MBTiles;
  if (EndsWith(path, ".png")) return OutputKind::PngWorldImage;
  if (EndsWith(path, ".jpg") || EndsWith(path, ".jpeg")) return OutputKind::JpegWorldImage;
  if (!path.empty() && path.back() == '/') return OutputKind::TileTree;
  return std::nullopt;
}

void CombineJob::Step() {
  ++done;
  if ((done % 64 == 0 || done == total) && request.progress && !request.progress(done, total))
    throw CombineCancelled();
}

void CombineJob::ReportBad(const std::string& path, const std::string& problem) {
  ++summary.badTiles;
  if (request.report) request.report(path + ": " + problem);
}

bool CombineJob::NextData(TileReadAhead& tiles, std::string& path, TileBytes& tile) {
  if (!tiles.Next(path, tile)) throw CombineError("The task's tiles ended early.");
  return Classified(path, tile);
}

std::function<void(const TileReadAhead::Visit&)> CombineJob::ColumnWalk() const {
  return [this](const TileReadAhead::Visit& visit) {
    for (const auto& source : sources)
      for (int32_t column = 0; column < source->Columns(); ++column)
        for (int32_t row = 0; row < source->Rows(); ++row) visit(source->TilePath(column, row));
  };
}

bool CombineJob::Classified(const std::string& path, const TileBytes& tile) {
  if (tile.kind == TileBytes::Kind::NoData) ++summary.noDataTiles;
  if (tile.kind == TileBytes::Kind::Bad) ReportBad(path, tile.problem);
  return tile.kind == TileBytes::Kind::Data;
}

CombineSummary Combine(const CombineRequest& request) {
  const auto kind = OutputKindOf(request.outputPath);
  if (!kind)
    throw CombineError("The output " + request.outputPath +
                       " names no known kind: end it with .tif, .mbtiles, .png, .jpg or /.");
  if (request.projectFiles.empty()) throw CombineError("No project file given.");
  CombineJob job{request, {}, {}, {}, 0, 0};
  for (const auto& project : DistinctProjects(request.projectFiles))
    job.sources.push_back(CombineSource::Open(project, request.zoomAllowed));
  const bool oneImage = *kind != OutputKind::MBTiles && *kind != OutputKind::TileTree;
  if (oneImage && job.sources.size() != 1)
    throw CombineError("One image holds one task: give one project file, or write .mbtiles or a folder.");
  const bool worldImage = *kind == OutputKind::PngWorldImage || *kind == OutputKind::JpegWorldImage;
  const std::vector<std::string> sidecars =
      worldImage ? WorldImageSidecars(request.outputPath) : std::vector<std::string>{};
  if (worldImage) {
    const MosaicGeometry geometry = job.sources.front()->Geometry();
    if (geometry.width > kMaxWorldImageSide || geometry.height > kMaxWorldImageSide)
      throw CombineError("The mosaic would be " + std::to_string(geometry.width) + " x " +
                         std::to_string(geometry.height) + " pixels, more than " +
                         std::to_string(kMaxWorldImageSide) + " a side for PNG or JPEG: write a GeoTIFF (.tif).");
    for (const std::string& sidecar : sidecars)
      CheckOutputPlace(sidecar, request.force, request.replaceHint);
  }
  CheckOutputPlace(request.outputPath, request.force, request.replaceHint);
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
    switch (*kind) {
      case OutputKind::GeoTiff: WriteGeoTiffOutput(job); break;
      case OutputKind::MBTiles: WriteMBTilesOutput(job); break;
      case OutputKind::TileTree: WriteTileTreeOutput(job); break;
      default: WriteWorldImageOutput(job, *kind); break;
    }
  } catch (const CombineCancelled&) {
    throw;
  } catch (const CombineError& error) {
    throw CombineWriteFailure(error.what());
  }
  return job.summary;
}
