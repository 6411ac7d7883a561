#include <cmath>
#include <optional>
#include <vector>

#include <cpl_string.h>
#include <gdal.h>

#include "GdalSession.h"
#include "MosaicClip.h"
#include "OutputPath.h"
#include "TileImage.h"
#include "TileSet.h"
#include "Writers.h"

// The mosaic is written tile by tile into 256-pixel blocks, so only GDAL's
// bounded block cache ever holds pixels; a tile with no data, or outside the
// task's area, is never written and reads back as zero, alpha included.

namespace {

void Check(const GdalErrorCapture& errors, const std::string& path) {
  if (errors.Failed()) throw CombineError("Cannot write " + path + ": " + errors.Message());
}

// The overviews' share of the progress: about a third of the tiles' work.
int64_t OverviewSteps(const CombineJob& job) { return job.request.overviews ? job.total / 3 + 1 : 0; }

struct OverviewProgress {
  CombineJob& job;
  int64_t from, steps;
  bool cancelled = false;
};

// GDAL asks now and then; a cancel is answered by stopping it, then thrown here.
int CPL_STDCALL ReportOverviews(double share, const char*, void* data) {
  auto& progress = *static_cast<OverviewProgress*>(data);
  progress.job.done = progress.from + static_cast<int64_t>(share * static_cast<double>(progress.steps));
  const CombineRequest& request = progress.job.request;
  progress.cancelled = request.progress && !request.progress(progress.job.done, progress.job.total);
  return !progress.cancelled;
}

void BuildOverviews(CombineJob& job, GDALDatasetH dataset, int64_t side, const GdalErrorCapture& errors,
                    const std::string& path) {
  std::vector<int> levels;
  for (int factor = 2; side / factor >= kTilePixels / 2; factor *= 2) levels.push_back(factor);
  job.Stage(CombineStage::Overviews);
  OverviewProgress progress{job, job.done, job.total - job.done};
  if (!levels.empty()) {
    const CPLErr result = GDALBuildOverviews(dataset, "AVERAGE", static_cast<int>(levels.size()), levels.data(), 0,
                                             nullptr, &ReportOverviews, &progress);
    if (progress.cancelled) throw CombineCancelled();
    if (result != CE_None && !errors.Failed()) throw CombineError("Cannot build the overviews of " + path + ".");
    Check(errors, path);
  }
  job.Advance(job.total);
}

void SetDescription(GDALDatasetH dataset, const CombineJob& job) {
  const CombineSource& source = *job.sources.front();
  const std::string name = TileSetName({source.Name()});
  GDALSetMetadataItem(dataset, "TIFFTAG_DOCUMENTNAME", name.c_str(), nullptr);
  GDALSetMetadataItem(dataset, "TIFFTAG_IMAGEDESCRIPTION",
                      (name + ": map tiles of zoom " + std::to_string(source.Zoom())).c_str(), nullptr);
  if (!job.attribution.empty()) GDALSetMetadataItem(dataset, "TIFFTAG_COPYRIGHT", job.attribution.c_str(), nullptr);
}

}  // namespace

void WriteGeoTiff(CombineJob& job, const std::string& path, GeoTiffUse use) {
  const CombineSource& source = *job.sources.front();
  const MosaicGeometry geometry = source.Geometry();
  const int64_t width = geometry.width, height = geometry.height;
  if (width > INT32_MAX || height > INT32_MAX) throw CombineError("The task is too large for one image.");
  GdalErrorCapture errors;
  GDALSetCacheMax64(int64_t{64} << 20);
  GDALDriverH driver = GDALGetDriverByName("GTiff");
  char** options = nullptr;
  options = CSLSetNameValue(options, "TILED", "YES");
  options = CSLSetNameValue(options, "BLOCKXSIZE", "256");
  options = CSLSetNameValue(options, "BLOCKYSIZE", "256");
  options = CSLSetNameValue(options, "COMPRESS", "DEFLATE");
  if (use == GeoTiffUse::Scratch) options = CSLSetNameValue(options, "ZLEVEL", "1");
  options = CSLSetNameValue(options, "BIGTIFF", "IF_SAFER");
  options = CSLSetNameValue(options, "ALPHA", "YES");
  options = CSLSetNameValue(options, "PHOTOMETRIC", "RGB");
  GDALDatasetH dataset = driver ? GDALCreate(driver, path.c_str(), static_cast<int>(width), static_cast<int>(height),
                                             4, GDT_Byte, options)
                                : nullptr;
  CSLDestroy(options);
  if (!dataset) throw CombineError("Cannot create " + path + ": " + errors.Message());
  struct Closer {
    GDALDatasetH dataset;
    ~Closer() {
      if (dataset) GDALClose(dataset);
    }
  } closer{dataset};

  double transform[6] = {geometry.west, geometry.pixel, 0, geometry.north, 0, -geometry.pixel};
  GDALSetGeoTransform(dataset, transform);
  GDALSetProjection(dataset, WebMercatorWkt(false).c_str());
  GDALSetRasterColorInterpretation(GDALGetRasterBand(dataset, 4), GCI_AlphaBand);
  if (use == GeoTiffUse::Output) SetDescription(dataset, job);

  std::vector<uint8_t> rgba(std::size_t{4} * kTilePixels * kTilePixels);
  int bands[] = {1, 2, 3, 4};
  job.Stage(CombineStage::Tiles);
  const TileRange range = source.Range();
  // What the task leaves out stays transparent, unread.
  const auto held = [&](int32_t column, int32_t row) { return source.Holds(range.minX + column, range.minY + row); };
  TileReadAhead tiles(job.blank, [&](const TileReadAhead::Visit& visit) {
    for (int32_t row = 0; row < source.Rows(); ++row)
      for (int32_t column = 0; column < source.Columns(); ++column)
        if (held(column, row)) visit(source.OriginAt(range.minX + column, range.minY + row), {});
  });
  std::optional<MosaicClip> clip;
  if (job.request.clip) clip.emplace(source);
  std::string tilePath;
  TileBytes tile;
  for (int32_t row = 0; row < source.Rows(); ++row) {
    if (clip) clip->StartTileRow(row);
    for (int32_t column = 0; column < source.Columns(); ++column) {
      if (!held(column, row)) continue;
      if (job.NextData(tiles, tilePath, tile)) {
        std::string problem;
        if (DecodeTileRgba(tile.bytes, rgba.data(), problem)) {
          if (clip) clip->Apply(column, rgba.data());
          const CPLErr written =
              GDALDatasetRasterIO(dataset, GF_Write, column * kTilePixels, row * kTilePixels, kTilePixels, kTilePixels,
                                  rgba.data(), kTilePixels, kTilePixels, GDT_Byte, 4, bands, 4, 4 * kTilePixels, 1);
          if (written != CE_None && !errors.Failed()) throw CombineError("Cannot write " + path + ".");
          Check(errors, path);
          ++job.summary.dataTiles;
        } else {
          job.ReportBad(tilePath, problem);
        }
      }
      job.Step();
    }
  }
  if (use == GeoTiffUse::Output && job.request.overviews)
    BuildOverviews(job, dataset, std::max(width, height), errors, path);
  GDALFlushCache(dataset);
  Check(errors, path);
  closer.dataset = nullptr;
  GDALClose(dataset);
  Check(errors, path);
}

void WriteGeoTiffOutput(CombineJob& job) {
  job.total += OverviewSteps(job);
  TemporaryOutput temporary(TemporaryBeside(job.request.outputPath));
  WriteGeoTiff(job, temporary.Path(), GeoTiffUse::Output);
  SyncFile(temporary.Path());
  temporary.MoveInto(job.request.outputPath);
}
