#include "SqliteTileSink.h"

SqliteTileSink::SqliteTileSink(const std::string& target, const std::string& schema, const char* insert)
    : temporary_(TemporaryBeside(target)) {
  db_.emplace(temporary_.Path());
  db_->Run(schema + "BEGIN;");
  insert_.emplace(*db_, insert);
}

void SqliteTileSink::Put(const PyramidTile& place, std::string_view bytes, TileFormat, const std::string&) {
  InsertTile(*insert_, place, bytes);
}

void SqliteTileSink::Finish(const TileSetFacts& facts) {
  insert_.reset();
  WriteMetadata(*db_, facts);
  db_->Run("COMMIT;");
  db_.reset();
  SyncFile(temporary_.Path());
}
