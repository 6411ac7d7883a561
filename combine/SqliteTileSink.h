#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "OutputPath.h"
#include "SqliteOutput.h"
#include "TileSet.h"

// What the SQLite tile sets share: the file under a temporary name beside
// the target, its schema, every tile through one prepared insert in one
// transaction, then the kind's metadata, the commit, the close and the sync
// before the rename. A kind gives its schema and insert and fills the hooks.
class SqliteTileSink : public TileSink {
 public:
  void Put(const PyramidTile& place, std::string_view bytes, TileFormat format, const std::string&) final;
  void Finish(const TileSetFacts& facts) final;
  void MoveInto(const std::string& target) final { temporary_.MoveInto(target); }

 protected:
  // schema: the statements that make the tables; insert: the one for a tile.
  SqliteTileSink(const std::string& target, const std::string& schema, const char* insert);
  // Binds one tile to the insert and runs it.
  virtual void InsertTile(SqliteStatement& insert, const PyramidTile& place, std::string_view bytes) = 0;
  // Writes the set's facts, inside the transaction; statements of the kind's own end here.
  virtual void WriteMetadata(SqliteFile& db, const TileSetFacts& facts) = 0;
  SqliteFile& Db() { return *db_; }

 private:
  TemporaryOutput temporary_;
  std::optional<SqliteFile> db_;
  std::optional<SqliteStatement> insert_;
};
