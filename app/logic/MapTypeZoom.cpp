#include "MapTypeZoom.h"

#include "TForm1.h"

bool ZoomInMapTypeRange(int32_t mapsType, int32_t zoom) {
  if (mapsType < 0 || mapsType >= static_cast<int32_t>(kMapTypeTable.size())) return false;
  const MapTypeRow& row = kMapTypeTable[static_cast<std::size_t>(mapsType)];
  return zoom >= row.lowestZoom && zoom <= row.highestZoom;
}
