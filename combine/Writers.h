#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Combine.h"
#include "CombineSource.h"

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
};

void WriteGeoTiff(CombineJob& job, const std::string& temporaryPath);
void WriteMBTiles(CombineJob& job, const std::string& temporaryPath);
