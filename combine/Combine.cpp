#include "Combine.h"

#include <algorithm>

#include "AtomicFile.h"
#include "OutputPath.h"
#include "Writers.h"

namespace {

bool EndsWith(const std::string& text, const std::string& ending) {
  if (text.size() < ending.size()) return false;
  return std::equal(ending.rbegin(), ending.rend(), text.rbegin(),
                    [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
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

CombineSummary Combine(const CombineRequest& request) {
  const auto kind = OutputKindOf(request.outputPath);
  if (!kind)
    throw CombineError("The output " + request.outputPath +
                       " names no known kind: end it with .tif, .mbtiles, .png, .jpg or /.");
  if (*kind != OutputKind::GeoTiff && *kind != OutputKind::MBTiles)
    throw CombineError("This output kind is not available yet: use .tif or .mbtiles.");
  if (request.projectFiles.empty()) throw CombineError("No project file given.");
  CombineJob job{request, {}, {}, {}, 0, 0};
  for (const auto& project : request.projectFiles)
    job.sources.push_back(CombineSource::Open(project, request.zoomAllowed));
  if (*kind == OutputKind::GeoTiff && job.sources.size() != 1)
    throw CombineError("A GeoTIFF holds one task: give one project file.");
  CheckOutputPlace(request.outputPath, request.force);
  if (!request.blankImagePath.empty()) {
    try {
      job.blank = ReadWholeFile(request.blankImagePath);
    } catch (const FileWriteError&) {
      // Without the placeholder nothing looks blank; data tiles still count as data.
    }
  }
  for (const auto& source : job.sources) job.total += source->TileCount();

  TemporaryOutput temporary(TemporaryBeside(request.outputPath));
  try {
    if (*kind == OutputKind::GeoTiff)
      WriteGeoTiff(job, temporary.Path());
    else
      WriteMBTiles(job, temporary.Path());
    SyncFile(temporary.Path());
    temporary.MoveInto(request.outputPath);
  } catch (const CombineCancelled&) {
    throw;
  } catch (const CombineError& error) {
    throw CombineWriteFailure(error.what());
  }
  return job.summary;
}
