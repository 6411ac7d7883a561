#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TaskLayout;
class TileStore;

// A task's saved tiles as everything that reads a task sees them (the
// combiner, the map viewer, refresh, repack), whether they lie as files in
// the task's folder or as rows of its store, NAME.mbtiles. Columns and rows
// are the task's own (rows as its service counts them).
//
// A placeholder is a failed tile's mark: in a folder, a file holding the
// blank image's bytes; in a store, a row outside the tiles view. Either way
// it is no data. One object serves one thread at a time.
enum class SavedTile { Missing, Data, Placeholder, Unreadable };

class TaskTiles {
 public:
  virtual ~TaskTiles() = default;
  virtual bool IsStore() const = 0;
  // The tile's bytes (Data only; bytes is emptied otherwise). problem says
  // why for Unreadable: a file that is no regular file or cannot be read.
  virtual SavedTile Read(int32_t x, int32_t y, std::string& bytes, std::string& problem) const = 0;
  // The tile's kind without its bytes (a folder reads only a file of the
  // blank image's size).
  virtual SavedTile Probe(int32_t x, int32_t y) const = 0;
  // Every tile with data or a placeholder, once, in no set order. Throws
  // when the folder cannot be listed.
  virtual void ForEach(const std::function<void(int32_t x, int32_t y, SavedTile kind)>& visit) const = 0;
  // A fetched tile in place of what was there; throws (FileWriteError or
  // TileStoreError) when it cannot be written.
  virtual void Write(int32_t x, int32_t y, std::string_view bytes) = 0;
  // A failed tile's mark, where the tile has none and no data.
  virtual void WritePlaceholder(int32_t x, int32_t y) = 0;
  // Many tiles at once (a store's one transaction); placeholder marks ignore bytes.
  struct ToSave {
    int32_t x = 0, y = 0;
    std::string bytes;
    bool placeholder = false;
  };
  virtual void WriteAll(const std::vector<ToSave>& tiles);
  // What a report names the tile by: its file, or the store and the tile.
  virtual std::string NameOf(int32_t x, int32_t y) const = 0;
  // The file an output may link instead of copying; empty for a store.
  virtual std::string FileOf(int32_t x, int32_t y) const = 0;
  // When the tile was saved, in milliseconds since 1970, where that is
  // known (a file's time); nullopt in a store.
  virtual std::optional<int64_t> SavedAt(int32_t x, int32_t y) const = 0;
  // The store itself (its validators, its copy); null for a folder.
  virtual TileStore* Store() const { return nullptr; }
};

enum class TilesAccess { Read, Write };

struct TaskParameters;
// Whether the task keeps its tiles in its store rather than its folder.
bool StoredInOneFile(const TaskParameters& parameters);
// A store counts rows from the top: the task's row y (as its service counts
// it) in the store's count, and back (turning over is its own inverse).
int32_t StoreRow(const TaskLayout& task, int32_t y);

// The task's tiles in the storage its project file records. blank is the
// placeholder image's bytes (a folder's placeholders are told by them).
// Throws TileStoreError for a store that is missing, damaged, not a store or
// (for Write) locked; a folder is not checked for.
std::unique_ptr<TaskTiles> OpenTaskTiles(const TaskLayout& task, std::string blank,
                                         TilesAccess access = TilesAccess::Read);
// A folder's or a store's tiles by their place, whatever the project file says.
std::unique_ptr<TaskTiles> OpenFolderTiles(const TaskLayout& task, std::string blank);
std::unique_ptr<TaskTiles> OpenStoreTiles(const TaskLayout& task, const std::string& storePath, TilesAccess access);
