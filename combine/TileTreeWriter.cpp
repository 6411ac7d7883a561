#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include "AtomicFile.h"
#include "CombineError.h"
#include "OutputPath.h"
#include "TileSet.h"

// {z}/{x}/{y}.ext with rows from the top, as slippy-map viewers read them.
// A task's tile is a hard link to its file where the file system allows, a
// copy otherwise; a built tile is written. The tree is built under a
// temporary name and renamed.

namespace fs = std::filesystem;

namespace {

void MakeFolder(const std::string& path) {
  std::error_code error;
  fs::create_directories(path, error);
  if (error) throw CombineError("Cannot create the folder " + path + ": " + error.message() + ".");
}

void WriteTile(const std::string& to, std::string_view bytes) {
  try {
    WriteTileFileAtomic(to, bytes);
  } catch (const FileWriteError& error) {
    throw CombineError(error.what());
  }
}

void PlaceTile(const std::string& from, const std::string& to, std::string_view bytes) {
  if (from.empty()) return WriteTile(to, bytes);
  if (::link(from.c_str(), to.c_str()) == 0) return;
  const int code = errno;
  if (code != EXDEV && code != EPERM && code != EMLINK && code != ENOTSUP)
    throw CombineError("Cannot write " + to + ": " + std::strerror(code) + ".");
  WriteTile(to, bytes);
}

class TileTreeSink : public TileSink {
 public:
  explicit TileTreeSink(const std::string& target) : tree_(TemporaryBeside(target)) { MakeFolder(tree_.Path()); }

  void Put(const PyramidTile& place, std::string_view bytes, TileFormat format, const std::string& sourceFile) override {
    const std::string column = tree_.Path() + "/" + std::to_string(place.zoom) + "/" + std::to_string(place.x) + "/";
    if (columnsMade_.insert({place.zoom, place.x}).second) MakeFolder(column);
    PlaceTile(sourceFile, column + std::to_string(place.y) + "." + TileFormatName(format), bytes);
  }

  void Finish(const TileSetFacts&) override {}
  void MoveInto(const std::string& target) override { tree_.MoveInto(target); }

 private:
  TemporaryOutput tree_;
  std::set<std::pair<int32_t, int32_t>> columnsMade_;
};

}  // namespace

std::unique_ptr<TileSink> MakeTileTreeSink(const std::string& target) {
  return std::make_unique<TileTreeSink>(target);
}
