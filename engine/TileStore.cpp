#include "TileStore.h"

#include <openssl/sha.h>

#include <unistd.h>

#include <cstring>
#include <map>

#include "Files.h"
#include "TaskLock.h"

namespace {

constexpr const char* kSchema =
    "CREATE TABLE metadata (name TEXT PRIMARY KEY, value TEXT);"
    "CREATE TABLE images (tile_id INTEGER PRIMARY KEY, tile_data BLOB NOT NULL, hash BLOB NOT NULL, refs INTEGER NOT NULL);"
    "CREATE UNIQUE INDEX images_hash ON images (hash);"
    "CREATE TABLE map (zoom_level INTEGER NOT NULL, tile_column INTEGER NOT NULL, tile_row INTEGER NOT NULL,"
    " tile_id INTEGER NOT NULL, PRIMARY KEY (zoom_level, tile_column, tile_row)) WITHOUT ROWID;"
    "CREATE VIEW tiles AS SELECT map.zoom_level AS zoom_level, map.tile_column AS tile_column,"
    " map.tile_row AS tile_row, images.tile_data AS tile_data FROM map JOIN images ON images.tile_id = map.tile_id;"
    "CREATE TABLE placeholders (zoom_level INTEGER NOT NULL, tile_column INTEGER NOT NULL, tile_row INTEGER NOT NULL,"
    " PRIMARY KEY (zoom_level, tile_column, tile_row)) WITHOUT ROWID;"
    "CREATE TABLE validators (zoom_level INTEGER NOT NULL, tile_column INTEGER NOT NULL, tile_row INTEGER NOT NULL,"
    " checked INTEGER NOT NULL, expires INTEGER NOT NULL, etag TEXT NOT NULL, last_modified TEXT NOT NULL,"
    " PRIMARY KEY (zoom_level, tile_column, tile_row)) WITHOUT ROWID;";

int64_t TmsRow(int32_t zoom, int32_t y) { return ((int64_t{1} << zoom) - 1) - y; }
int32_t TopRow(int32_t zoom, int64_t row) { return static_cast<int32_t>(((int64_t{1} << zoom) - 1) - row); }

std::string ShaOf(std::string_view bytes) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
  return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

TileStoreError::Kind KindOf(int code) {
  switch (code & 0xff) {
    case SQLITE_NOTADB: return TileStoreError::Kind::NotAStore;
    case SQLITE_CORRUPT: return TileStoreError::Kind::Damaged;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return TileStoreError::Kind::Locked;
    case SQLITE_CANTOPEN: return TileStoreError::Kind::Missing;
    default: return TileStoreError::Kind::Failed;
  }
}

// One prepared statement, reset after each use.
class Statement {
 public:
  Statement(const TileStore& store, const char* sql) : store_(store) {
    if (sqlite3_prepare_v3(store.Handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &statement_, nullptr) != SQLITE_OK)
      Throw("prepare");
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
    return *this;
  }
  Statement& BindText(int index, std::string_view text) {
    sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
    return *this;
  }
  Statement& BindBlob(int index, std::string_view blob) {
    sqlite3_bind_blob64(statement_, index, blob.data() ? blob.data() : "", blob.size(), SQLITE_STATIC);
    return *this;
  }
  // A key in the API's terms: zoom, x, top-counted y at 1, 2, 3.
  Statement& BindKey(int32_t zoom, int32_t x, int32_t y) { return Bind(1, zoom).Bind(2, x).Bind(3, TmsRow(zoom, y)); }
  bool Step() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW) return true;
    if (result != SQLITE_DONE) Throw("read", result);
    Reset();
    return false;
  }
  void Run() {
    const int result = sqlite3_step(statement_);
    if (result != SQLITE_DONE && result != SQLITE_ROW) Throw("write", result);
    Reset();
  }
  void Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
  std::string_view Blob(int column) const {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(statement_, column));
    return {data ? data : "", static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
  }
  std::string Text(int column) const { return std::string(Blob(column)); }

 private:
  [[noreturn]] void Throw(const char* action, int code = SQLITE_ERROR) {
    const std::string message = sqlite3_errmsg(store_.Handle());
    Reset();
    throw TileStoreError(KindOf(code), store_.Path(), std::string("cannot ") + action + ": " + message);
  }
  const TileStore& store_;
  sqlite3_stmt* statement_ = nullptr;
};

// Runs fn inside one transaction; any throw rolls it back.
template <typename Fn>
void InTransaction(sqlite3* db, const std::function<void(const char*)>& fail, Fn fn) {
  if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) fail("begin writing");
  try {
    fn();
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    fail("write");
  }
}

}  // namespace

TileStoreError::TileStoreError(Kind kind, std::string path, const std::string& message)
    : std::runtime_error([&] {
        switch (kind) {
          case Kind::Missing: return "The tile store " + path + " does not exist.";
          case Kind::NotAStore: return path + " is not a tile store of Quarnel.";
          case Kind::Damaged: return "The tile store " + path + " is damaged: " + message;
          case Kind::Locked: return "The tile store " + path + " is " + message;
          case Kind::Failed: break;
        }
        return "The tile store " + path + " " + message;
      }()),
      kind(kind),
      path(std::move(path)) {}

std::string TileStorePathFor(const std::string& projectFilePath) {
  const std::size_t slash = projectFilePath.rfind('/');
  const std::size_t dot = projectFilePath.rfind('.');
  const bool hasEnding = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  return (hasEnding ? projectFilePath.substr(0, dot) : projectFilePath) + kTileStoreEnding;
}

struct TileStore::Statements {
  explicit Statements(const TileStore& s)
      : state(s,
              "SELECT 1 FROM map WHERE zoom_level=?1 AND tile_column=?2 AND tile_row=?3 UNION ALL "
              "SELECT 2 FROM placeholders WHERE zoom_level=?1 AND tile_column=?2 AND tile_row=?3"),
        read(s,
             "SELECT images.tile_data FROM map JOIN images ON images.tile_id=map.tile_id "
             "WHERE map.zoom_level=?1 AND map.tile_column=?2 AND map.tile_row=?3"),
        validators(s,
                   "SELECT checked, expires, etag, last_modified FROM validators "
                   "WHERE zoom_level=?1 AND tile_column=?2 AND tile_row=?3"),
        metadata(s, "SELECT value FROM metadata WHERE name=?1") {}
  Statement state, read, validators, metadata;
};

TileStore::TileStore(std::string path, bool writable) : path_(std::move(path)), writable_(writable) {}

TileStore::~TileStore() {
  statements_.reset();
  if (writable_ && db_) {
    // Leave the WAL written back, so the file alone is the whole task.
    sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  }
  sqlite3_close_v2(db_);
  // Only now: closing the lock's descriptor would drop SQLite's own locks
  // on the file while the connection still used them.
  lock_.reset();
}

void TileStore::Fail(const char* action) const {
  const int code = db_ ? sqlite3_extended_errcode(db_) : SQLITE_NOMEM;
  throw TileStoreError(KindOf(code), path_,
                       std::string("cannot ") + action + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory"));
}

std::unique_ptr<TileStore> TileStore::OpenForWriting(const std::string& path, bool createIfMissing) {
  const bool exists = PathExists(path);
  if (!exists && !createIfMissing) throw TileStoreError(TileStoreError::Kind::Missing, path, "");
  if (exists && !FileExists(path)) throw TileStoreError(TileStoreError::Kind::NotAStore, path, "");
  std::unique_ptr<TileStore> store(new TileStore(path, true));
  if (exists) {
    store->lock_ = std::make_unique<TaskLock>(path);
    if (!store->lock_->Held()) throw TileStoreError(TileStoreError::Kind::Locked, path, store->lock_->Refusal() + ".");
  }
  store->Open(createIfMissing);
  if (!store->lock_) {
    store->lock_ = std::make_unique<TaskLock>(path);
    if (!store->lock_->Held()) throw TileStoreError(TileStoreError::Kind::Locked, path, store->lock_->Refusal() + ".");
  }
  return store;
}

std::unique_ptr<TileStore> TileStore::OpenReadOnly(const std::string& path) {
  if (!PathExists(path)) throw TileStoreError(TileStoreError::Kind::Missing, path, "");
  if (!FileExists(path)) throw TileStoreError(TileStoreError::Kind::NotAStore, path, "");
  std::unique_ptr<TileStore> store(new TileStore(path, false));
  store->Open(false);
  return store;
}

void TileStore::Open(bool create) {
  // A reader opens a file it may write as a writer would, and then refuses
  // itself every write: only so can it fold in the journal a killed writer
  // left, which a read-only connection cannot.
  const bool mayWrite = writable_ || ::access(path_.c_str(), W_OK) == 0;
  const int flags = (mayWrite ? SQLITE_OPEN_READWRITE | (create && writable_ ? SQLITE_OPEN_CREATE : 0)
                              : SQLITE_OPEN_READONLY) |
                    SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) != SQLITE_OK) Fail("open");
  if (!writable_ && mayWrite) sqlite3_exec(db_, "PRAGMA query_only=1", nullptr, nullptr, nullptr);
  sqlite3_extended_result_codes(db_, 1);
  // A reader meets a writer's commit now and then; wait for it briefly.
  sqlite3_busy_timeout(db_, 5000);

  Statement application(*this, "PRAGMA application_id");
  const int64_t id = application.Step() ? application.Int(0) : 0;
  application.Reset();
  Statement schema(*this, "SELECT count(*) FROM sqlite_master");
  const int64_t objects = schema.Step() ? schema.Int(0) : 0;
  schema.Reset();
  if (objects == 0 && id == 0 && writable_ && create) {
    CreateTables();
  } else if (id != kTileStoreApplicationId) {
    throw TileStoreError(TileStoreError::Kind::NotAStore, path_, "");
  } else if (writable_) {
    // A resume writes into it: refuse a damaged file before touching it.
    const std::string check = IntegrityCheck(true);
    if (check != "ok") throw TileStoreError(TileStoreError::Kind::Damaged, path_, check);
    if (sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr) != SQLITE_OK)
      Fail("open");
    Statement blanks(*this, "SELECT EXISTS (SELECT 1 FROM placeholders)");
    placeholdersMayExist_ = !blanks.Step() || blanks.Int(0) != 0;
    blanks.Reset();
  }
  statements_ = std::make_unique<Statements>(*this);
}

void TileStore::CreateTables() {
  const std::string setup = "PRAGMA page_size=4096; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                            "PRAGMA application_id=" + std::to_string(kTileStoreApplicationId) +
                            "; PRAGMA user_version=" + std::to_string(kTileStoreLayout) + ";";
  if (sqlite3_exec(db_, setup.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail("create");
  InTransaction(db_, [this](const char* a) { Fail(a); }, [&] {
    if (sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) Fail("create");
  });
}

std::optional<std::string> TileStore::ReadTile(int32_t zoom, int32_t x, int32_t y) const {
  Statement& read = statements_->read;
  if (!read.BindKey(zoom, x, y).Step()) return std::nullopt;
  std::string bytes(read.Blob(0));
  read.Reset();
  return bytes;
}

TileState TileStore::State(int32_t zoom, int32_t x, int32_t y) const {
  Statement& state = statements_->state;
  if (!state.BindKey(zoom, x, y).Step()) return TileState::None;
  const TileState found = state.Int(0) == 1 ? TileState::Data : TileState::Placeholder;
  state.Reset();
  return found;
}

void TileStore::ForEachState(int32_t zoom, int32_t minX, int32_t maxX, int32_t minY, int32_t maxY,
                             const std::function<bool(int32_t, int32_t, TileState)>& visit) const {
  // Both tables walked side by side in key order: columns rising, TMS rows
  // falling (y rising).
  Statement data(*this,
                 "SELECT tile_column, tile_row FROM map WHERE zoom_level=?1 AND tile_column BETWEEN ?2 AND ?3 "
                 "AND tile_row BETWEEN ?4 AND ?5 ORDER BY tile_column, tile_row DESC");
  Statement blanks(*this,
                   "SELECT tile_column, tile_row FROM placeholders WHERE zoom_level=?1 AND tile_column BETWEEN ?2 AND ?3 "
                   "AND tile_row BETWEEN ?4 AND ?5 ORDER BY tile_column, tile_row DESC");
  for (Statement* s : {&data, &blanks})
    s->Bind(1, zoom).Bind(2, minX).Bind(3, maxX).Bind(4, TmsRow(zoom, maxY)).Bind(5, TmsRow(zoom, minY));
  bool haveData = data.Step(), haveBlank = blanks.Step();
  while (haveData || haveBlank) {
    const auto keyOf = [&](Statement& s) { return std::pair<int64_t, int64_t>(s.Int(0), -s.Int(1)); };
    const bool takeData = haveData && (!haveBlank || keyOf(data) <= keyOf(blanks));
    Statement& from = takeData ? data : blanks;
    const auto key = keyOf(from);
    if (takeData && haveBlank && keyOf(blanks) == key) haveBlank = blanks.Step();  // data wins
    if (!visit(static_cast<int32_t>(key.first), TopRow(zoom, -key.second),
               takeData ? TileState::Data : TileState::Placeholder)) {
      data.Reset();
      blanks.Reset();
      return;
    }
    (takeData ? haveData : haveBlank) = from.Step();
  }
}

void TileStore::ForEachTile(int32_t zoom,
                            const std::function<bool(int32_t, int32_t, std::string_view)>& visit) const {
  Statement walk(*this,
                 "SELECT map.tile_column, map.tile_row, images.tile_data FROM map JOIN images "
                 "ON images.tile_id=map.tile_id WHERE map.zoom_level=?1 ORDER BY map.tile_column, map.tile_row DESC");
  walk.Bind(1, zoom);
  while (walk.Step()) {
    if (!visit(static_cast<int32_t>(walk.Int(0)), TopRow(zoom, walk.Int(1)), walk.Blob(2))) {
      walk.Reset();
      return;
    }
  }
}

int64_t TileStore::CountTiles(TileState state) const {
  if (state == TileState::None) return 0;
  Statement count(*this, state == TileState::Data ? "SELECT count(*) FROM map" : "SELECT count(*) FROM placeholders");
  const int64_t n = count.Step() ? count.Int(0) : 0;
  count.Reset();
  return n;
}

std::vector<int32_t> TileStore::Zooms() const {
  // One index probe per level rather than a scan of the map.
  std::vector<int32_t> zooms;
  Statement next(*this, "SELECT zoom_level FROM map WHERE zoom_level >= ?1 ORDER BY zoom_level LIMIT 1");
  int64_t from = 0;
  while (next.Bind(1, from).Step()) {
    const int64_t zoom = next.Int(0);
    next.Reset();
    zooms.push_back(static_cast<int32_t>(zoom));
    from = zoom + 1;
  }
  return zooms;
}

void TileStore::WriteBatch(const std::vector<TileWrite>& tiles) {
  if (tiles.empty()) return;
  Statement findImage(*this, "SELECT tile_id FROM images WHERE hash=?1");
  Statement addImage(*this, "INSERT INTO images (tile_data, hash, refs) VALUES (?1, ?2, 0)");
  Statement current(*this, "SELECT tile_id FROM map WHERE zoom_level=?1 AND tile_column=?2 AND tile_row=?3");
  Statement addMap(*this, "INSERT OR IGNORE INTO map VALUES (?1, ?2, ?3, ?4)");
  Statement putMap(*this, "INSERT OR REPLACE INTO map VALUES (?1, ?2, ?3, ?4)");
  Statement addRef(*this, "UPDATE images SET refs=refs+?2 WHERE tile_id=?1");
  Statement dropUnused(*this, "DELETE FROM images WHERE tile_id=?1 AND refs<=0");
  Statement dropBlank(*this, "DELETE FROM placeholders WHERE zoom_level=?1 AND tile_column=?2 AND tile_row=?3");
  Statement putBlank(*this, "INSERT OR IGNORE INTO placeholders VALUES (?1, ?2, ?3)");
  // Reference counts change once per image and batch, not once per tile.
  std::map<int64_t, int64_t> refs;
  // Images met in this batch enter the cache only once it is committed.
  std::vector<std::pair<std::string, int64_t>> met;
  bool dropped = false;
  InTransaction(db_, [this](const char* a) { Fail(a); }, [&] {
    for (const TileWrite& tile : tiles) {
      if (tile.placeholder) {
        // A failed tile never hides one that is there.
        if (current.BindKey(tile.zoom, tile.x, tile.y).Step()) current.Reset();
        else putBlank.BindKey(tile.zoom, tile.x, tile.y).Run();
        placeholdersMayExist_ = true;
        continue;
      }
      std::string hash = ShaOf(tile.bytes);
      int64_t id = 0;
      if (const auto cached = imageIds_.find(hash); cached != imageIds_.end()) {
        id = cached->second;
      } else if (findImage.BindBlob(1, hash).Step()) {
        id = findImage.Int(0);
        findImage.Reset();
        met.emplace_back(std::move(hash), id);
      } else {
        addImage.BindBlob(1, tile.bytes).BindBlob(2, hash).Run();
        id = sqlite3_last_insert_rowid(db_);
        met.emplace_back(std::move(hash), id);
      }
      if (placeholdersMayExist_) dropBlank.BindKey(tile.zoom, tile.x, tile.y).Run();
      addMap.BindKey(tile.zoom, tile.x, tile.y).Bind(4, id).Run();
      if (sqlite3_changes(db_) == 1) {
        ++refs[id];
        continue;
      }
      // The tile was there already: written again, perhaps with other bytes.
      if (!current.BindKey(tile.zoom, tile.x, tile.y).Step()) continue;
      const int64_t old = current.Int(0);
      current.Reset();
      if (old == id) continue;
      putMap.BindKey(tile.zoom, tile.x, tile.y).Bind(4, id).Run();
      ++refs[id];
      --refs[old];
    }
    for (const auto& [id, change] : refs) {
      if (change == 0) continue;
      addRef.Bind(1, id).Bind(2, change).Run();
      if (change > 0) continue;
      dropUnused.Bind(1, id).Run();
      dropped = dropped || sqlite3_changes(db_) > 0;
    }
  });
  if (dropped || imageIds_.size() + met.size() > kImageCacheEntries) imageIds_.clear();
  for (auto& [hash, id] : met) imageIds_.emplace(std::move(hash), id);
}

std::optional<StoredValidators> TileStore::Validators(int32_t zoom, int32_t x, int32_t y) const {
  Statement& read = statements_->validators;
  if (!read.BindKey(zoom, x, y).Step()) return std::nullopt;
  StoredValidators found{zoom, x, y, read.Int(0), read.Int(1), read.Text(2), read.Text(3)};
  read.Reset();
  return found;
}

void TileStore::PutValidators(const std::vector<StoredValidators>& records) {
  if (records.empty()) return;
  Statement put(*this, "INSERT OR REPLACE INTO validators VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
  InTransaction(db_, [this](const char* a) { Fail(a); }, [&] {
    for (const StoredValidators& r : records)
      put.BindKey(r.zoom, r.x, r.y).Bind(4, r.checked).Bind(5, r.expires).BindText(6, r.etag)
          .BindText(7, r.lastModified).Run();
  });
}

void TileStore::ForEachValidators(const std::function<void(const StoredValidators&)>& visit) const {
  Statement walk(*this, "SELECT zoom_level, tile_column, tile_row, checked, expires, etag, last_modified FROM validators");
  while (walk.Step()) {
    const auto zoom = static_cast<int32_t>(walk.Int(0));
    visit({zoom, static_cast<int32_t>(walk.Int(1)), TopRow(zoom, walk.Int(2)), walk.Int(3), walk.Int(4), walk.Text(5),
           walk.Text(6)});
  }
}

void TileStore::ClearValidators() {
  if (sqlite3_exec(db_, "DELETE FROM validators", nullptr, nullptr, nullptr) != SQLITE_OK) Fail("write");
}

std::optional<std::string> TileStore::Metadata(const std::string& name) const {
  Statement& read = statements_->metadata;
  if (!read.BindText(1, name).Step()) return std::nullopt;
  std::string value = read.Text(0);
  read.Reset();
  return value;
}

void TileStore::SetMetadata(const std::string& name, const std::string& value) {
  Statement put(*this, "INSERT OR REPLACE INTO metadata VALUES (?1, ?2)");
  put.BindText(1, name).BindText(2, value).Run();
}

std::string TileStore::IntegrityCheck(bool quick) const {
  Statement check(*this, quick ? "PRAGMA quick_check(5)" : "PRAGMA integrity_check(5)");
  std::string result;
  while (check.Step()) result += (result.empty() ? "" : "; ") + check.Text(0);
  return result;
}

void TileStore::Checkpoint() {
  if (sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) != SQLITE_OK)
    Fail("write back its journal");
}
