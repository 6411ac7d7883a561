#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "AtomicFile.h"
#include "OutputPath.h"
#include "TileImage.h"
#include "Writers.h"

// {z}/{x}/{y}.ext with rows from the top, as slippy-map viewers read them.
// A tile is a hard link to the task's file where the file system allows,
// a copy otherwise; the tree is built under a temporary name and renamed.

namespace fs = std::filesystem;

namespace {

void MakeFolder(const std::string& path) {
  std::error_code error;
  fs::create_directories(path, error);
  if (error) throw CombineError("Cannot create the folder " + path + ": " + error.message() + ".");
}

void PlaceTile(const std::string& from, const std::string& to, const std::string& bytes) {
  if (::link(from.c_str(), to.c_str()) == 0) return;
  const int code = errno;
  if (code != EXDEV && code != EPERM && code != EMLINK && code != ENOTSUP)
    throw CombineError("Cannot write " + to + ": " + std::strerror(code) + ".");
  try {
    WriteTileFileAtomic(to, bytes);
  } catch (const FileWriteError& error) {
    throw CombineError(error.what());
  }
}

}  // namespace

void WriteTileTreeOutput(CombineJob& job) {
  TemporaryOutput tree(TemporaryBeside(job.request.outputPath));
  MakeFolder(tree.Path());
  TileReadAhead tiles(job.blank, job.ColumnWalk());
  std::string tilePath;
  TileBytes tile;
  for (const auto& source : job.sources) {
    const std::string zoomFolder = tree.Path() + "/" + std::to_string(source->Zoom()) + "/";
    std::set<int32_t> columnsMade;
    for (int32_t column = 0; column < source->Columns(); ++column) {
      const int32_t x = source->Task().MinX + column;
      for (int32_t row = 0; row < source->Rows(); ++row) {
        if (job.NextData(tiles, tilePath, tile)) {
          const std::string columnFolder = zoomFolder + std::to_string(x) + "/";
          if (columnsMade.insert(x).second) MakeFolder(columnFolder);
          PlaceTile(tilePath,
                    columnFolder + std::to_string(source->TopRow(row)) + "." + TileFormatName(tile.format), tile.bytes);
          ++job.summary.dataTiles;
        }
        job.Step();
      }
    }
  }
  tree.MoveInto(job.request.outputPath);
}
