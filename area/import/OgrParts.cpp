#include "OgrParts.h"

namespace {

std::vector<LonLat> PathOf(OGRGeometryH geometry) {
  const int count = OGR_G_GetPointCount(geometry);
  std::vector<LonLat> path;
  path.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) path.push_back({OGR_G_GetX(geometry, i), OGR_G_GetY(geometry, i)});
  return path;
}

AreaRing RingOf(OGRGeometryH geometry) {
  AreaRing ring = PathOf(geometry);
  if (ring.size() > 1 && ring.front() == ring.back()) ring.pop_back();
  return ring;
}

}  // namespace

void AddOgrGeometry(OGRGeometryH geometry, Area& area) {
  if (!geometry || OGR_G_IsEmpty(geometry)) return;
  switch (wkbFlatten(OGR_G_GetGeometryType(geometry))) {
    case wkbPoint:
      area.points.push_back({OGR_G_GetX(geometry, 0), OGR_G_GetY(geometry, 0)});
      return;
    case wkbLineString:
    case wkbLinearRing: {
      std::vector<LonLat> path = PathOf(geometry);
      if (path.size() == 1) area.points.push_back(path.front());
      if (path.size() > 1) area.lines.push_back(std::move(path));
      return;
    }
    case wkbPolygon:
    case wkbTriangle: {
      AreaPolygon polygon;
      const int rings = OGR_G_GetGeometryCount(geometry);
      for (int i = 0; i < rings; ++i) {
        AreaRing ring = RingOf(OGR_G_GetGeometryRef(geometry, i));
        (i == 0 ? polygon.shell : polygon.holes.emplace_back()) = std::move(ring);
      }
      area.polygons.push_back(std::move(polygon));
      return;
    }
    default:
      for (int i = 0; i < OGR_G_GetGeometryCount(geometry); ++i)
        AddOgrGeometry(OGR_G_GetGeometryRef(geometry, i), area);
  }
}
