// Times one combine of a task whose tiles are hard links to a small pool of
// real PNG files, and reports its peak memory.
//
// usage: quarnel_combine_bench [--store] SAVE_FOLDER POOL_FOLDER OUTPUT LEFT RIGHT TOP BOTTOM ZOOM [MIN_ZOOM [palette]]
// The task and its links are made once (a marker file keeps them); OUTPUT is
// replaced on every run. MIN_ZOOM builds a tile set's lower levels, as
// palette PNGs from palette PNGs when "palette" follows. --store keeps the
// task in one file: made as a folder, then repacked (once).
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Combine.h"
#include "TaskRepack.h"
#include "TextFormat.h"
#include "Unitclasstask.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  const bool store = argc > 1 && std::string(argv[1]) == "--store";
  if (store) {
    argv[1] = argv[0];
    ++argv;
    --argc;
  }
  if (argc < 9 || argc > 11 || (argc == 11 && std::string(argv[10]) != "palette")) {
    std::fprintf(stderr,
                 "usage: %s [--store] SAVE_FOLDER POOL_FOLDER OUTPUT LEFT RIGHT TOP BOTTOM ZOOM [MIN_ZOOM [palette]]\n",
                 argv[0]);
    return 2;
  }
  TaskParameters params;
  params.LeftLongitude = std::atof(argv[4]);
  params.RightLongitude = std::atof(argv[5]);
  params.TopLatitude = std::atof(argv[6]);
  params.BottomLatitude = std::atof(argv[7]);
  params.Zoom = std::atoi(argv[8]);
  params.SavePath = std::string(argv[1]);
  if (params.SavePath.back() != kDirSeparator) params.SavePath += kDirSeparator;
  params.TaskFileName = "combinebench.qrnl";
  const DownloadTask task(params);

  const std::string marker = task.TileFolder + ".linked";
  const std::string stored = task.ProjectFilePath() + ".stored";
  if (!fs::exists(marker) && !fs::exists(stored)) {
    task.WriteProjectFile();
    // The pool is walked over and over rather than listed: a list of a
    // million names would count in the combine's peak memory.
    fs::recursive_directory_iterator pool(argv[2]), end;
    const auto nextPng = [&]() -> std::string {
      for (bool restarted = false;; ++pool) {
        if (pool == end) {
          if (restarted) return "";
          pool = fs::recursive_directory_iterator(argv[2]);
          restarted = true;
          if (pool == end) return "";
        }
        if (pool->is_regular_file() && pool->path().extension() == ".png") {
          std::string path = pool->path().string();
          ++pool;
          return path;
        }
      }
    };
    for (int32_t x = task.MinX; x <= task.MaxX; ++x)
      for (int32_t y = task.MinY; y <= task.MaxY; ++y) {
        const std::string from = nextPng();
        if (from.empty()) {
          std::fprintf(stderr, "no PNG files in %s\n", argv[2]);
          return 1;
        }
        const std::string path = task.TileFilePath(x, y);
        if (::link(from.c_str(), path.c_str()) != 0 && errno != EEXIST) {
          std::perror(path.c_str());
          return 1;
        }
      }
    std::fclose(std::fopen(marker.c_str(), "w"));
  }
  if (store && !fs::exists(stored)) {
    try {
      RepackTask({task.ProjectFilePath(), true, {}, nullptr, {}});
    } catch (const RepackError& error) {
      std::fprintf(stderr, "%s\n", error.what());
      return 1;
    }
    std::fclose(std::fopen(stored.c_str(), "w"));
  }

  CombineRequest request;
  request.projectFiles = {task.ProjectFilePath()};
  request.outputPath = argv[3];
  request.force = true;
  if (argc >= 10) request.minZoom = std::atoi(argv[9]);
  request.palette = argc == 11;
  const auto start = std::chrono::steady_clock::now();
  CombineSummary summary;
  try {
    summary = Combine(request);
  } catch (const CombineError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::error_code error;
  uintmax_t bytes = 0;
  if (fs::is_directory(request.outputPath, error)) {
    for (const auto& entry : fs::recursive_directory_iterator(request.outputPath, error))
      if (entry.is_regular_file(error)) bytes += entry.file_size(error);
  } else {
    bytes = fs::file_size(request.outputPath, error);
  }
  std::printf("tiles=%lld lower=%lld seconds=%.3f peak_kb=%ld bytes=%ju\n", static_cast<long long>(summary.dataTiles),
              static_cast<long long>(summary.lowerTiles), seconds, usage.ru_maxrss, bytes);
  return 0;
}
