// Times a large task's set-up (project file, tile list, log header) and
// reports its peak memory, so the cost of the streamed list stays visible.
//
// usage: quarnel_setup_bench SAVE_FOLDER [LEFT RIGHT TOP BOTTOM ZOOM]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "TextFormat.h"
#include "Unitclasstask.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 7) {
    std::fprintf(stderr, "usage: %s SAVE_FOLDER [LEFT RIGHT TOP BOTTOM ZOOM]\n", argv[0]);
    return 2;
  }
  TaskParameters params;
  params.LeftLongitude = -50;
  params.RightLongitude = 37.8;
  params.TopLatitude = 40.2;
  params.BottomLatitude = -40.2;
  params.Zoom = 12;
  if (argc == 7) {
    params.LeftLongitude = std::atof(argv[2]);
    params.RightLongitude = std::atof(argv[3]);
    params.TopLatitude = std::atof(argv[4]);
    params.BottomLatitude = std::atof(argv[5]);
    params.Zoom = std::atoi(argv[6]);
  }
  params.SavePath = std::string(argv[1]);
  if (params.SavePath.back() != kDirSeparator) params.SavePath += kDirSeparator;
  params.TaskFileName = "setupbench.qrnl";
  params.ThreadCount = 8;

  const auto start = std::chrono::steady_clock::now();
  DownloadTask task(params);
  task.WriteProjectFile();
  task.WriteTileList();
  task.WriteLogHeader(LocalDateTimeTextNow());
  task.CreateFailedList();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto listBytes = std::filesystem::file_size(task.TileListPath);
  std::printf("tiles=%d list_bytes=%llu seconds=%.3f peak_kb=%ld\n", task.TotalTiles,
              static_cast<unsigned long long>(listBytes), seconds, usage.ru_maxrss);
  return 0;
}
