#pragma once

#include <cstdint>

#include "CombineError.h"
#include "CombineRequest.h"

// Turns finished tasks into one output a map program reads. The output's kind
// comes from its path; everything is checked before the first byte is
// written, and the output appears whole under its name or not at all.

// Throws CombineError (CombineCancelled when progress said stop).
CombineSummary Combine(const CombineRequest& request);

// The largest side of a PNG or JPEG mosaic; larger ones are for GeoTIFF.
inline constexpr int64_t kMaxWorldImageSide = 30000;
