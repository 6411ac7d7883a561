#include "MapTypeZoom.h"

#include "MapServices.h"

bool ZoomInMapTypeRange(int32_t mapsType, int32_t zoom) {
  const MapService* service = FindMapService(mapsType);
  return service && zoom >= service->lowestZoom && zoom <= service->highestZoom;
}
