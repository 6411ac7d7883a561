// Times what the map viewer does when it opens a large task: reading the
// project file, listing the tile folder into the state table, and shrinking
// the table into coverage cells; reports the peak memory.
//
// usage: quarnel_viewer_bench SCRATCH_FOLDER [FILES]
// The task has about 900,000 tiles; FILES of them (default 100000) are written
// as small files first, so the listing has real entries to parse.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "CoverageGrid.h"
#include "MapServices.h"
#include "TaskFolder.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s SCRATCH_FOLDER [FILES]\n", argv[0]);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  const long files = argc == 3 ? std::atol(argv[2]) : 100000;
  std::filesystem::create_directories(folder);
  // About 1000 columns and 890 rows at zoom 14.
  std::ofstream(folder + "viewbench.qrnl")
      << "[MapsType]\r\nMapsType=8\r\n\r\n[AREA]\r\nLeftLongitude=0.0001\r\nRightLongitude=21.95\r\n"
         "TopLatitude=58.6\r\nBottomLatitude=46.9\r\n\r\n[Zoom]\r\nZoom=14\r\n";

  auto start = std::chrono::steady_clock::now();
  const TaskExtent extent = ReadTaskExtent(folder + "viewbench.qrnl");
  std::filesystem::create_directories(extent.tileFolder);
  long written = 0;
  for (int32_t x = extent.minX; x <= extent.maxX && written < files; ++x)
    for (int32_t y = extent.minY; y <= extent.maxY && written < files; ++y, ++written)
      if (!std::filesystem::exists(extent.FilePath(x, y))) std::ofstream(extent.FilePath(x, y)) << "tile";
  std::printf("tiles in the task: %lld, files: %ld (written in %.2f s)\n", static_cast<long long>(extent.TileCount()),
              written, SecondsSince(start));

  start = std::chrono::steady_clock::now();
  const TaskScan scan = ScanTaskFolder(ReadTaskExtent(folder + "viewbench.qrnl"), "blank");
  const double scanned = SecondsSince(start);
  const CoverageGrid coverage(scan.states);
  const double total = SecondsSince(start);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("open: scan %.3f s, with coverage %.3f s; saved %lld; peak memory %ld MB\n", scanned, total,
              static_cast<long long>(scan.states.Count(TileState::Saved)), usage.ru_maxrss / 1024);
  return 0;
}
