#pragma once

#include <cstdint>
#include <optional>

#include "AreaMask.h"

// The workers' walk over a task with an area. The walk still numbers every
// tile of the rectangle, column by column (seq = (x - MinX) * height +
// (y - MinY) + 1, height = MaxY - MinY + 1, the mask's Rect() being the
// task's range), and worker `index` of `workers` still owns the tiles whose
// seq mod workers == index, so positions and resumes keep their meaning.
// These functions step over the tiles outside the area arithmetically, run
// by run, never tile by tile.

// The first seq >= fromSeq that belongs to the worker and lies inside the
// area; nullopt when none is left (or the worker's index is not below workers).
std::optional<int64_t> NextWorkerSeq(const AreaMask& mask, int64_t workers, int64_t index, int64_t fromSeq);

// How many tiles inside the area have a seq of at most `seq`.
int64_t TilesInsideThrough(const AreaMask& mask, int64_t seq);

// The same for one worker's share: its tiles done before a resume at `seq`.
int64_t WorkerTilesInsideThrough(const AreaMask& mask, int64_t workers, int64_t index, int64_t seq);
