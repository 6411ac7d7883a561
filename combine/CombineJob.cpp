#include "Writers.h"

void CombineJob::Step() { Advance(done + 1); }

void CombineJob::Advance(int64_t toDone) {
  const int64_t before = done;
  done = toDone;
  // Every 64th step, and the last: often enough to see, rarely enough to cost nothing.
  if ((done / 64 != before / 64 || done == total) && request.progress && !request.progress(done, total))
    throw CombineCancelled();
}

void CombineJob::ReportWritten() {
  done = total;
  if (request.progress) request.progress(done, total);
}

void CombineJob::Stage(CombineStage stage) const {
  if (request.stage) request.stage(stage);
}

void CombineJob::ReportBad(const std::string& path, const std::string& problem) {
  ++summary.badTiles;
  if (request.report) request.report(path + ": " + problem);
}

bool CombineJob::NextData(TileReadAhead& tiles, std::string& path, TileBytes& tile) {
  if (!tiles.Next(path, tile)) throw CombineError("The task's tiles ended early.");
  if (tile.kind == TileBytes::Kind::NoData) ++summary.noDataTiles;
  if (tile.kind == TileBytes::Kind::Bad) ReportBad(path, tile.problem);
  return tile.kind == TileBytes::Kind::Data;
}
