#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Commonfunc.h"

class TaskLock;

// A task's tiles in one SQLite file, NAME.mbtiles beside the project file,
// that any MBTiles 1.3 reader opens while it grows:
//
//   map(zoom_level, tile_column, tile_row, tile_id)    one row per tile with data
//   images(tile_id, tile_data, hash, refs)              each distinct image once
//   tiles                                               the VIEW joining the two
//   metadata(name, value)
//   placeholders(zoom_level, tile_column, tile_row)     failed tiles, outside the view
//   validators(zoom_level, tile_column, tile_row, checked, expires, etag, last_modified)
//
// Rows: the API speaks of y counted from the top (as the grid's TileKey of
// a top-counted service does); the tables hold MBTiles' TMS rows, counted
// from the bottom (2^zoom - 1 - y). A caller with a bottom-counted service
// flips its own rows to top-counted first.
//
// An image is found again by its SHA-256 (hash, indexed), so a sea of
// identical tiles costs one image and a small map row per tile; refs counts
// the map rows that use an image, and an image no row uses is removed. A
// placeholder never stands where data is, and data written over a
// placeholder removes it.
//
// The file says it is a store by PRAGMA application_id (kApplicationId) and
// its layout by user_version; a file without them is "not a store". The
// journal is WAL, so readers open it while a download writes.
//
// One writer at a time: a writer holds an flock on the file for its life,
// and another writer is refused as Locked, naming the process that holds it.
// A handle is used by one thread at a time.

inline constexpr int32_t kTileStoreApplicationId = 0x51524E4C;  // "QRNL"
inline constexpr int32_t kTileStoreLayout = 1;
inline constexpr const char* kTileStoreEnding = ".mbtiles";

// A store refused or failed, naming the file in what().
class TileStoreError : public std::runtime_error {
 public:
  enum class Kind {
    Missing,    // no such file (opening read-only or for a resume)
    NotAStore,  // not SQLite, or SQLite without the store's marker
    Damaged,    // the integrity check fails, or SQLite reports corruption
    Locked,     // another Quarnel writes it
    Failed,     // anything else: a full disk, a read-only file, an I/O error
  };
  TileStoreError(Kind kind, std::string path, const std::string& message);
  Kind kind;
  std::string path;
};

enum class TileState : uint8_t { None, Data, Placeholder };

// One tile of a batch: data (bytes) or, with placeholder set, a failed
// tile's mark (bytes unused). y is counted from the top.
struct TileWrite {
  int32_t zoom = 0;
  int32_t x = 0;
  int32_t y = 0;
  std::string_view bytes;
  bool placeholder = false;
};

// What a refresh keeps per tile: when it was last checked, when it stops
// being fresh (0: the server named no expiry), and the validators a
// conditional request asks with. Times in milliseconds since 1970.
struct StoredValidators {
  int32_t zoom = 0;
  int32_t x = 0;
  int32_t y = 0;
  int64_t checked = 0;
  int64_t expires = 0;
  std::string etag;
  std::string lastModified;
};

// The top-counted y the store takes for a row y of a grid counted from origin.
inline int32_t TopCountedRow(RowOrigin origin, int32_t zoom, int32_t y) {
  return origin == RowOrigin::FromTop ? y : static_cast<int32_t>(((int64_t{1} << zoom) - 1) - y);
}

// NAME.mbtiles for the project file NAME.qrnl (any ending is replaced).
std::string TileStorePathFor(const std::string& projectFilePath);

class TileStore {
 public:
  // For writing: creates the file with its tables when it is missing (or
  // is empty), else opens it after checking its marker and integrity. Takes
  // the writer's lock. Throws TileStoreError: NotAStore, Damaged, Locked,
  // Failed. createIfMissing false makes a missing file a Missing refusal
  // (a resume must find its store).
  static std::unique_ptr<TileStore> OpenForWriting(const std::string& path, bool createIfMissing = true);
  // For reading only, while a writer may be at work. Throws TileStoreError:
  // Missing, NotAStore, Damaged (only what opening sees; no full check), Failed.
  static std::unique_ptr<TileStore> OpenReadOnly(const std::string& path);
  ~TileStore();
  TileStore(const TileStore&) = delete;
  TileStore& operator=(const TileStore&) = delete;

  const std::string& Path() const { return path_; }
  bool Writable() const { return writable_; }

  // The stored bytes of a tile with data; nullopt for none or a placeholder.
  std::optional<std::string> ReadTile(int32_t zoom, int32_t x, int32_t y) const;
  TileState State(int32_t zoom, int32_t x, int32_t y) const;
  // Every tile with data or a placeholder at a zoom, by column and then by
  // y from the top; a tile with data is never also given as a placeholder.
  // Limits are inclusive and top-counted; visit returns false to stop.
  void ForEachState(int32_t zoom, int32_t minX, int32_t maxX, int32_t minY, int32_t maxY,
                    const std::function<bool(int32_t x, int32_t y, TileState state)>& visit) const;
  // Every tile with data at a zoom and its bytes (valid during the call),
  // in the same order: the walk a combine takes.
  void ForEachTile(int32_t zoom, const std::function<bool(int32_t x, int32_t y, std::string_view bytes)>& visit) const;
  int64_t CountTiles(TileState state) const;  // Data or Placeholder, over all zooms
  // The zoom levels that hold a tile with data, rising.
  std::vector<int32_t> Zooms() const;

  // All tiles in one transaction: all are in the file, or none (and
  // TileStoreError Failed says why: a full disk, a read-only file).
  void WriteBatch(const std::vector<TileWrite>& tiles);

  std::optional<StoredValidators> Validators(int32_t zoom, int32_t x, int32_t y) const;
  void PutValidators(const std::vector<StoredValidators>& records);  // one transaction; a later one replaces
  void ForEachValidators(const std::function<void(const StoredValidators&)>& visit) const;
  // Forgets every tile's validators (a task made anew keeps none of the old one's).
  void ClearValidators();

  std::optional<std::string> Metadata(const std::string& name) const;
  void SetMetadata(const std::string& name, const std::string& value);

  // "ok", or the first problems SQLite's integrity check names; quick
  // leaves out the indexes' agreement with their tables.
  std::string IntegrityCheck(bool quick = false) const;
  // The WAL written back into the file (a full checkpoint), as a writer
  // leaves it when it ends; the destructor does the same for a writer.
  void Checkpoint();
  sqlite3* Handle() const { return db_; }  // for a consistent copy (backup, VACUUM INTO)

 private:
  TileStore(std::string path, bool writable);
  struct Statements;
  [[noreturn]] void Fail(const char* action) const;
  void Open(bool create);
  void CreateTables();
  void CheckMarker();

  std::string path_;
  bool writable_;
  sqlite3* db_ = nullptr;
  std::unique_ptr<TaskLock> lock_;
  std::unique_ptr<Statements> statements_;
  // A writer's: the images it has met, by hash (a sea tile is looked up
  // once), and whether a placeholder may stand anywhere.
  static constexpr std::size_t kImageCacheEntries = 8192;
  std::unordered_map<std::string, int64_t> imageIds_;
  bool placeholdersMayExist_ = false;
};
