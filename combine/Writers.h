#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CombineError.h"
#include "CombineRequest.h"
#include "CombineSource.h"
#include "TileImage.h"
#include "TileReadAhead.h"
#include "TileSet.h"

// What every writer shares: the sources, the request, the tally.
struct CombineJob {
  const CombineRequest& request;
  std::vector<std::unique_ptr<CombineSource>> sources;
  std::string blank;
  std::string attribution;  // the request's, the tasks' sources', or the configuration's
  CombineSummary summary;
  int64_t total = 0, done = 0;

  // Counts one step and asks the caller whether to go on; throws CombineCancelled.
  void Step();
  // Moves the progress to done (for a stage that reports a share); throws CombineCancelled.
  void Advance(int64_t toDone);
  // The output is in place: the progress shows the whole, and a cancel comes too late.
  void ReportWritten();
  // Tells the caller a new stage begins.
  void Stage(CombineStage stage) const;
  // Counts a bad tile and reports it.
  void ReportBad(const std::string& path, const std::string& problem);
  // The next tile of a read-ahead, path being its file; a missing, blank or
  // bad one is counted (and reported) here and comes back as false, a data
  // tile is counted by the caller once used.
  bool NextData(TileReadAhead& tiles, std::string& path, TileBytes& tile);
};

// The tasks' tiles for a read-ahead: zoom after zoom, in Hilbert order, each
// place once, with every file that sources holding it offer (in the
// sources' order).
std::function<void(const TileReadAhead::Visit&)> PlaceWalk(std::vector<const CombineSource*> sources);

// What the tasks say about themselves in a tile set's metadata, formats aside.
TileSetFacts FactsOf(const CombineJob& job);

// Whether the one task is a store that becomes the MBTiles output as a copy
// of itself (no lower levels to build), and that copy.
bool CopiesStoreWhole(const CombineJob& job, OutputKind kind);
void CopyStoreToMBTiles(CombineJob& job);

// Each writer sets the job's total steps, produces its output under a
// temporary name and moves it into request.outputPath; a throw leaves
// nothing behind.
void WriteGeoTiffOutput(CombineJob& job);
void WriteTileSetOutput(CombineJob& job, OutputKind kind);
void WriteWorldImageOutput(CombineJob& job, OutputKind kind);

// The GeoTIFF itself; a scratch copy (for a world image) is compressed lightly.
enum class GeoTiffUse { Output, Scratch };
void WriteGeoTiff(CombineJob& job, const std::string& path, GeoTiffUse use);

// The world file, the .prj and GDAL's .aux.xml written beside a PNG or JPEG
// mosaic: those this image owns, so a .prj that already holds its text (the
// one of the same name's other image) is not among them.
std::vector<std::string> WorldImageSidecars(const std::string& imagePath);
