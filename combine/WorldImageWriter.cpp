#include <cstdio>
#include <filesystem>

#include <cpl_string.h>
#include <gdal_utils.h>

#include "AtomicFile.h"
#include "GdalSession.h"
#include "OutputPath.h"
#include "Writers.h"

// PNG and JPEG are written in one pass from a source GDAL can read by lines,
// so the mosaic goes first into a lightly compressed scratch GeoTIFF beside
// the output; the image is translated from it. JPEG has no alpha: places
// without data come out black.

namespace {

std::string WorldFileText(const MosaicGeometry& g) {
  // The world file names the centre of the top-left pixel.
  char text[256];
  std::snprintf(text, sizeof text, "%.10f\n0\n0\n%.10f\n%.10f\n%.10f\n", g.pixel, -g.pixel, g.west + g.pixel / 2,
                g.north - g.pixel / 2);
  return text;
}

// The encode can take long for a large mosaic: it answers a cancel too.
int CPL_STDCALL TranslateProgress(double, const char*, void* data) {
  const CombineJob& job = *static_cast<const CombineJob*>(data);
  return !job.request.progress || job.request.progress(job.done, job.total);
}

void Translate(CombineJob& job, const std::string& from, const std::string& to, OutputKind kind) {
  GdalErrorCapture errors;
  GDALDatasetH source = GDALOpen(from.c_str(), GA_ReadOnly);
  if (!source) throw CombineError("Cannot read back " + from + ": " + errors.Message());
  const bool jpeg = kind == OutputKind::JpegWorldImage;
  char** words = nullptr;
  for (const char* word : {"-of", jpeg ? "JPEG" : "PNG"}) words = CSLAddString(words, word);
  if (jpeg)
    for (const char* word : {"-b", "1", "-b", "2", "-b", "3", "-co", "QUALITY=90"}) words = CSLAddString(words, word);
  GDALTranslateOptions* options = GDALTranslateOptionsNew(words, nullptr);
  CSLDestroy(words);
  GDALTranslateOptionsSetProgress(options, &TranslateProgress, &job);
  int usageError = 0;
  GDALDatasetH image = GDALTranslate(to.c_str(), source, options, &usageError);
  GDALTranslateOptionsFree(options);
  if (image) GDALClose(image);
  GDALClose(source);
  if (!image && job.request.progress && !job.request.progress(job.done, job.total)) throw CombineCancelled();
  if (!image || errors.Failed()) throw CombineError("Cannot write " + to + ": " + errors.Message());
}

}  // namespace

std::vector<std::string> WorldImageSidecars(const std::string& imagePath) {
  std::filesystem::path world(imagePath), projection(imagePath);
  const std::string extension = OutputKindOf(imagePath) == OutputKind::JpegWorldImage ? ".jgw" : ".pgw";
  return {world.replace_extension(extension).string(), projection.replace_extension(".prj").string()};
}

void WriteWorldImageOutput(CombineJob& job, OutputKind kind) {
  const std::string& target = job.request.outputPath;
  const MosaicGeometry geometry = job.sources.front()->Geometry();
  TemporaryOutput mosaic(TemporaryBeside(target) + ".tif");
  WriteGeoTiff(job, mosaic.Path(), GeoTiffUse::Scratch);
  TemporaryOutput image(TemporaryBeside(target));
  Translate(job, mosaic.Path(), image.Path(), kind);
  SyncFile(image.Path());

  const auto sidecars = WorldImageSidecars(target);
  try {
    WriteFileAtomic(sidecars[0], WorldFileText(geometry));
    WriteFileAtomic(sidecars[1], WebMercatorWkt(true));
  } catch (const FileWriteError& error) {
    throw CombineError(error.what());
  }
  // The image comes last: once it is there, its world file is too.
  image.MoveInto(target);
}
