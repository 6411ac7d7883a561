#include "WorkerSteps.h"

#include <algorithm>

namespace {

// Floor division, for counts over spans that may start below the divisor's phase.
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// The multiples of `workers` plus `index` in first..last.
int64_t CountInPhase(int64_t first, int64_t last, int64_t workers, int64_t index) {
  if (first > last) return 0;
  return FloorDiv(last - index, workers) - FloorDiv(first - 1 - index, workers);
}

// Visits the seq spans of the runs, in walk order, from the column holding
// fromSeq on; stops when visit returns true.
template <typename Visit>
void ForEachSeqSpan(const AreaMask& mask, int64_t fromSeq, Visit visit) {
  const TileRect& rect = mask.Rect();
  const int64_t height = rect.Height();
  if (height <= 0) return;
  const int64_t fromColumn = rect.MinX + (std::max<int64_t>(fromSeq, 1) - 1) / height;
  const auto columns = mask.Columns();
  for (auto at = std::lower_bound(columns.begin(), columns.end(), fromColumn); at != columns.end(); ++at) {
    const int64_t base = (int64_t{*at} - rect.MinX) * height - rect.MinY + 1;
    for (const RowRun& run : mask.Runs(*at)) {
      if (visit(base + run.first, base + run.last)) return;
    }
  }
}

}  // namespace

std::optional<int64_t> NextWorkerSeq(const AreaMask& mask, int64_t workers, int64_t index, int64_t fromSeq) {
  if (workers < 1 || index < 0 || index >= workers) return std::nullopt;
  std::optional<int64_t> found;
  ForEachSeqSpan(mask, fromSeq, [&](int64_t first, int64_t last) {
    if (last < fromSeq) return false;
    int64_t seq = std::max(first, fromSeq);
    seq += ((index - seq) % workers + workers) % workers;
    if (seq > last) return false;
    found = seq;
    return true;
  });
  return found;
}

int64_t TilesInsideThrough(const AreaMask& mask, int64_t seq) {
  const TileRect& rect = mask.Rect();
  const int64_t height = rect.Height();
  if (seq < 1 || height <= 0 || mask.Empty()) return 0;
  const int64_t column = rect.MinX + (seq - 1) / height;
  if (column > mask.Columns().back()) return mask.TileCount();
  const auto x = static_cast<int32_t>(column);
  const int64_t row = rect.MinY + (seq - 1) % height;
  int64_t count = mask.TilesBefore(x);
  for (const RowRun& run : mask.Runs(x)) {
    if (run.first > row) break;
    count += std::min<int64_t>(run.last, row) - run.first + 1;
  }
  return count;
}

int64_t WorkerTilesInsideThrough(const AreaMask& mask, int64_t workers, int64_t index, int64_t seq) {
  if (workers < 1 || index < 0 || index >= workers) return 0;
  int64_t count = 0;
  ForEachSeqSpan(mask, 1, [&](int64_t first, int64_t last) {
    if (first > seq) return true;
    count += CountInPhase(first, std::min(last, seq), workers, index);
    return false;
  });
  return count;
}
