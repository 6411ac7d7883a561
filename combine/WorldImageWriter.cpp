#include <cstdio>
#include <filesystem>

#include <cpl_string.h>
#include <gdal_utils.h>

#include "AtomicFile.h"
#include "GdalSession.h"
#include "OutputPath.h"
#include "TileSet.h"
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

// The encode can take long for a large mosaic: it is the second half of the
// progress, and answers a cancel too.
int CPL_STDCALL TranslateProgress(double share, const char*, void* data) {
  CombineJob& job = *static_cast<CombineJob*>(data);
  job.done = job.total / 2 + static_cast<int64_t>(share * static_cast<double>(job.total - job.total / 2));
  return !job.request.progress || job.request.progress(job.done, job.total);
}

std::string XmlText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// GDAL's side file: the coordinate system a world file cannot say, so GDAL
// and the programs over it place the image without the user's help.
std::string AuxXmlText(const CombineJob& job) {
  const CombineSource& source = *job.sources.front();
  std::string text = "<PAMDataset>\n  <SRS dataAxisToSRSAxisMapping=\"1,2\">" + XmlText(WebMercatorWkt(false)) +
                     "</SRS>\n  <Metadata>\n    <MDI key=\"NAME\">" + XmlText(TileSetName({source.Name()})) +
                     "</MDI>\n    <MDI key=\"ZOOM_LEVEL\">" + std::to_string(source.Zoom()) + "</MDI>\n";
  if (!job.attribution.empty()) text += "    <MDI key=\"ATTRIBUTION\">" + XmlText(job.attribution) + "</MDI>\n";
  return text + "  </Metadata>\n</PAMDataset>\n";
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
  std::vector<std::string> sidecars = {world.replace_extension(extension).string(), imagePath + ".aux.xml"};
  // x.png and x.jpg share x.prj: one that already says what this image's
  // would say belongs to the other image and is left as it is.
  const std::string prj = projection.replace_extension(".prj").string();
  std::string held;
  try {
    held = ReadWholeFile(prj);
  } catch (const FileWriteError&) {
  }
  if (held != WebMercatorWkt(true)) sidecars.insert(sidecars.begin() + 1, prj);
  return sidecars;
}

void WriteWorldImageOutput(CombineJob& job, OutputKind kind) {
  const std::string& target = job.request.outputPath;
  const MosaicGeometry geometry = job.sources.front()->Geometry();
  job.total *= 2;
  TemporaryOutput mosaic(TemporaryBeside(target) + ".tif");
  WriteGeoTiff(job, mosaic.Path(), GeoTiffUse::Scratch);
  TemporaryOutput image(TemporaryBeside(target));
  job.Stage(CombineStage::Encoding);
  Translate(job, mosaic.Path(), image.Path(), kind);
  SyncFile(image.Path());

  const auto sidecars = WorldImageSidecars(target);
  const auto textOf = [&](const std::string& sidecar) {
    if (sidecar.ends_with(".prj")) return WebMercatorWkt(true);
    if (sidecar.ends_with(".aux.xml")) return AuxXmlText(job);
    return WorldFileText(geometry);
  };
  std::size_t written = 0;
  try {
    for (; written < sidecars.size(); ++written) WriteFileAtomic(sidecars[written], textOf(sidecars[written]));
    // The image comes last: once it is there, its side files are too.
    image.MoveInto(target);
  } catch (const std::exception& error) {
    // Side files without their image would be a partial output.
    std::error_code ignored;
    for (std::size_t i = 0; i < written; ++i) std::filesystem::remove(sidecars[i], ignored);
    throw CombineError(error.what());
  }
  job.ReportWritten();
}
