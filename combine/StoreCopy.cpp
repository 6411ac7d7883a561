// One task kept in a store, combined into MBTiles: the store already is an
// MBTiles file, so a consistent copy of it (VACUUM INTO, which a download
// writing at the same time does not disturb, and which leaves the copy
// compact) takes the place of reading and inserting every tile. The copy
// then sheds what only a task needs (the placeholder rows, which the tiles
// view never showed, the validators and the store's marker, so that no
// download takes it for a task) and gets the metadata the MBTiles writer
// writes.

#include <optional>

#include "OutputPath.h"
#include "SqliteOutput.h"
#include "TileSet.h"
#include "TileStore.h"
#include "Writers.h"

namespace {

void CopyInto(const std::string& storePath, const std::string& copy) {
  try {
    const auto store = TileStore::OpenReadOnly(storePath);
    // VACUUM INTO writes only the copy, but a reader's query_only refuses it all the same.
    sqlite3_exec(store->Handle(), "PRAGMA query_only=0", nullptr, nullptr, nullptr);
    sqlite3_stmt* vacuum = nullptr;
    int result = sqlite3_prepare_v2(store->Handle(), "VACUUM INTO ?1", -1, &vacuum, nullptr);
    if (result == SQLITE_OK) {
      sqlite3_bind_text(vacuum, 1, copy.c_str(), -1, SQLITE_TRANSIENT);
      result = sqlite3_step(vacuum);
    }
    const std::string message = sqlite3_errmsg(store->Handle());
    sqlite3_finalize(vacuum);
    if (result != SQLITE_DONE) throw CombineError("Cannot copy " + storePath + " to " + copy + ": " + message + ".");
  } catch (const TileStoreError& refusal) {
    throw CombineError(refusal.what());
  }
}

// The first tile's format and whether PNG and JPEG mix, from the distinct
// images; tiles are counted by format only when they mix.
void LearnFormats(SqliteFile& db, CombineJob& job, TileSetFacts& facts) {
  SqliteStatement heads(db,
                        "SELECT substr(tile_data, 1, 1) = x'FF', count(*) FROM images "
                        "WHERE tile_id IN (SELECT tile_id FROM map) GROUP BY 1");
  int kinds = 0;
  while (heads.Step()) {
    ++kinds;
    facts.format = heads.Int(0) ? TileFormat::Jpeg : TileFormat::Png;
  }
  facts.mixedFormats = kinds > 1;
  if (!facts.mixedFormats) return;
  SqliteStatement counts(db,
                         "SELECT substr(i.tile_data, 1, 1) = x'FF', count(*) FROM map m "
                         "JOIN images i ON i.tile_id = m.tile_id GROUP BY 1");
  while (counts.Step()) (counts.Int(0) ? job.summary.mixedJpegTiles : job.summary.mixedPngTiles) = counts.Int(1);
  SqliteStatement first(db, "SELECT substr(i.tile_data, 1, 1) = x'FF' FROM map m JOIN images i ON i.tile_id = m.tile_id "
                            "ORDER BY m.zoom_level, m.tile_column, m.tile_row LIMIT 1");
  if (first.Step()) facts.format = first.Int(0) ? TileFormat::Jpeg : TileFormat::Png;
}

}  // namespace

bool CopiesStoreWhole(const CombineJob& job, OutputKind kind) {
  // A vector task's tiles go through the feed, which gzips them as MBTiles
  // readers expect and gathers their layers.
  return kind == OutputKind::MBTiles && job.sources.size() == 1 && job.sources.front()->Tiles().IsStore() &&
         !job.sources.front()->IsVector() && !job.request.minZoom;
}

void CopyStoreToMBTiles(CombineJob& job) {
  const CombineSource& source = *job.sources.front();
  job.Stage(CombineStage::Tiles);
  TemporaryOutput temporary(TemporaryBeside(job.request.outputPath));
  CopyInto(TileStorePathFor(source.ProjectPath()), temporary.Path());
  std::optional<SqliteFile> db(std::in_place, temporary.Path());
  db->Run("BEGIN; DROP TABLE IF EXISTS placeholders; DROP TABLE IF EXISTS validators; DELETE FROM metadata;"
          "PRAGMA application_id = 0; PRAGMA user_version = 0;");
  TileSetFacts facts = FactsOf(job);
  LearnFormats(*db, job, facts);
  {
    SqliteStatement count(*db, "SELECT count(*) FROM map");
    if (count.Step()) job.summary.dataTiles = count.Int(0);
  }
  job.summary.noDataTiles = source.TileCount() - job.summary.dataTiles;
  if (!facts.mixedFormats) job.summary.mixedPngTiles = job.summary.mixedJpegTiles = 0;
  WriteMBTilesMetadata(*db, facts);
  db->Run("COMMIT;");
  db.reset();
  SyncFile(temporary.Path());
  job.Advance(job.total);
  temporary.MoveInto(job.request.outputPath);
  job.ReportWritten();
}
