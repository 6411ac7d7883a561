#pragma once

#include <cstdint>

// Whether a zoom level lies in the range the map-type table gives
// that map type; false for a map type outside the table.
bool ZoomInMapTypeRange(int32_t mapsType, int32_t zoom);
