#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "AtomicFile.h"
#include "Files.h"
#include "TaskTiles.h"
#include "TileSelection.h"
#include "Unitclasstask.h"

namespace {

int64_t ModifiedMilliseconds(const struct stat& info) {
  return int64_t{info.st_mtim.tv_sec} * 1000 + info.st_mtim.tv_nsec / 1000000;
}

// The tiles as files of the task's folder; a file with the blank image's
// bytes is a placeholder, and in a vector task an empty file.
class FolderTiles : public TaskTiles {
 public:
  FolderTiles(const TaskLayout& task, std::string blank)
      : task_(task), blank_(task.IsVector() ? std::string() : std::move(blank)), vector_(task.IsVector()) {}

  bool IsStore() const override { return false; }

  SavedTile Read(int32_t x, int32_t y, std::string& bytes, std::string& problem) const override {
    bool missing = false;
    problem.clear();
    if (!ReadSmallFile(task_.SavedTilePath(x, y), bytes, missing, problem)) {
      bytes.clear();
      return missing ? SavedTile::Missing : SavedTile::Unreadable;
    }
    if (vector_ ? bytes.empty() : !blank_.empty() && bytes == blank_) {
      bytes.clear();
      return SavedTile::Placeholder;
    }
    return SavedTile::Data;
  }

  SavedTile Probe(int32_t x, int32_t y) const override {
    const std::string path = task_.SavedTilePath(x, y);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT ? SavedTile::Missing : SavedTile::Unreadable;
    if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) return SavedTile::Unreadable;
    if (vector_) return info.st_size == 0 ? SavedTile::Placeholder : SavedTile::Data;
    if (blank_.empty() || static_cast<std::size_t>(info.st_size) != blank_.size()) return SavedTile::Data;
    std::string bytes, problem;
    return Read(x, y, bytes, problem);
  }

  // One listing of the folder: no lookup of an absent file per tile.
  void ForEach(const std::function<void(int32_t, int32_t, SavedTile)>& visit) const override {
    std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(task_.TileFolder.c_str()), ::closedir);
    if (!folder) throw FileWriteError("Tile folder " + task_.TileFolder + ": " + std::strerror(errno));
    const int fd = ::dirfd(folder.get());
    const int32_t mapsType = task_.Parameters.MapsType, zoom = task_.Parameters.Zoom;
    while (const dirent* entry = ::readdir(folder.get())) {
      const auto key = ParseTileFileName(entry->d_name, mapsType, zoom);
      if (!key || !Holds(key->x, key->y)) continue;
      struct stat info {};
      if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) continue;
      const bool placeholder = vector_ ? info.st_size == 0
                                       : !blank_.empty() && static_cast<std::size_t>(info.st_size) == blank_.size() &&
                                             HoldsBlank(fd, entry->d_name);
      visit(key->x, key->y, placeholder ? SavedTile::Placeholder : SavedTile::Data);
    }
  }

  void Write(int32_t x, int32_t y, std::string_view bytes) override { WriteTileBody(task_.TileFilePath(x, y), bytes); }

  void WritePlaceholder(int32_t x, int32_t y) override {
    if (vector_) return void(PutTilePlaceholder(task_.TileFilePath(x, y), ""));
    if (blank_.empty()) throw FileWriteError("No blank image to mark the failed tile " + task_.TileFilePath(x, y) + " with.");
    PutTilePlaceholder(task_.TileFilePath(x, y), blank_);
  }

  std::string NameOf(int32_t x, int32_t y) const override { return task_.SavedTilePath(x, y); }
  std::string FileOf(int32_t x, int32_t y) const override { return task_.SavedTilePath(x, y); }

  std::optional<int64_t> SavedAt(int32_t x, int32_t y) const override {
    struct stat info {};
    if (::stat(task_.SavedTilePath(x, y).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return ModifiedMilliseconds(info);
  }

 private:
  bool Holds(int32_t x, int32_t y) const {
    return x >= task_.MinX && x <= task_.MaxX && y >= task_.MinY && y <= task_.MaxY &&
           (!task_.Inside || task_.Inside->Contains(x, y));
  }

  bool HoldsBlank(int folder, const char* name) const {
    const int fd = ::openat(folder, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    std::string bytes(blank_.size(), '\0');
    const ssize_t got = ::read(fd, bytes.data(), bytes.size());
    ::close(fd);
    return got == static_cast<ssize_t>(blank_.size()) && bytes == blank_;
  }

  const TaskLayout task_;
  const std::string blank_;
  const bool vector_;
};

}  // namespace

std::unique_ptr<TaskTiles> OpenFolderTiles(const TaskLayout& task, std::string blank) {
  return std::make_unique<FolderTiles>(task, std::move(blank));
}
