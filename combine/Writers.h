#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Combine.h"
#include "CombineSource.h"
#include "TileImage.h"
#include "TileReadAhead.h"

// What every writer shares: the sources, the request, the tally.
struct CombineJob {
  const CombineRequest& request;
  std::vector<std::unique_ptr<CombineSource>> sources;
  std::string blank;
  CombineSummary summary;
  int64_t total = 0, done = 0;

  // Counts one tile and asks the caller whether to go on; throws CombineCancelled.
  void Step();
  // Counts a bad tile and reports it.
  void ReportBad(const std::string& path, const std::string& problem);
  // The next tile of a read-ahead, path being its file; a missing, blank or
  // bad one is counted (and reported) here and comes back as false, a data
  // tile is counted by the caller once used.
  bool NextData(TileReadAhead& tiles, std::string& path, TileBytes& tile);
  // Every source's tiles, column after column, each column from its top.
  std::function<void(const TileReadAhead::Visit&)> ColumnWalk() const;

 private:
  bool Classified(const std::string& path, const TileBytes& tile);
};

// Each writer produces its output under a temporary name and moves it into
// request.outputPath; a throw leaves nothing behind.
void WriteGeoTiffOutput(CombineJob& job);
void WriteMBTilesOutput(CombineJob& job);
void WriteWorldImageOutput(CombineJob& job, OutputKind kind);
void WriteTileTreeOutput(CombineJob& job);

// The GeoTIFF itself; a scratch copy (for a world image) is compressed lightly.
enum class GeoTiffUse { Output, Scratch };
void WriteGeoTiff(CombineJob& job, const std::string& path, GeoTiffUse use);
void WriteMBTiles(CombineJob& job, const std::string& path);
