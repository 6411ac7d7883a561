// Widening lines and points by a distance on the ground.
//
// A buffer in degrees would be wrong by the cosine of the latitude, so each
// part is drawn in an azimuthal-equidistant projection centred on it, where
// distances from the centre are true and others nearly so near it, widened
// there by GEOS, and drawn back in WGS84. Two things keep the result true to
// the line as the area file draws it (straight in longitude/latitude): the
// line gets a point every 0.01 degrees before it is projected, and the
// widened outline gets one every quarter of the distance (25 m to 10 km)
// before it is drawn back, so its straight edges in degrees stay within
// centimetres of the projection's.

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <optional>
#include <string>

#include "GdalHandles.h"
#include "ImportAreaFile.h"
#include "OgrParts.h"

namespace {

constexpr double kEarthRadiusMetres = 6371008.8;
constexpr double kMaxPieceMetres = 500'000;
constexpr double kLineStepDegrees = 0.01;
constexpr int kQuarterCircleSegments = 8;

double Radians(double degrees) { return degrees * std::numbers::pi / 180; }

// Great-circle distance.
double GroundMetres(const LonLat& a, const LonLat& b) {
  const double dLat = Radians(b.latitude - a.latitude);
  const double dLon = Radians(b.longitude - a.longitude);
  const double h = std::pow(std::sin(dLat / 2), 2) +
                   std::cos(Radians(a.latitude)) * std::cos(Radians(b.latitude)) * std::pow(std::sin(dLon / 2), 2);
  return 2 * kEarthRadiusMetres * std::asin(std::min(1.0, std::sqrt(h)));
}

std::vector<LonLat> Densified(const std::vector<LonLat>& line) {
  std::vector<LonLat> out{line.front()};
  for (std::size_t i = 1; i < line.size(); ++i) {
    const LonLat& a = line[i - 1];
    const LonLat& b = line[i];
    const double span = std::max(std::abs(b.longitude - a.longitude), std::abs(b.latitude - a.latitude));
    const int steps = std::max(1, static_cast<int>(std::ceil(span / kLineStepDegrees)));
    for (int s = 1; s < steps; ++s) {
      const double t = static_cast<double>(s) / steps;
      out.push_back({a.longitude + t * (b.longitude - a.longitude), a.latitude + t * (b.latitude - a.latitude)});
    }
    out.push_back(b);
  }
  return out;
}

struct Piece {
  std::vector<LonLat> points;
  LonLat middle;  // the point halfway along it
};

// Consecutive pieces share their end point, so their widenings overlap.
std::vector<Piece> PiecesOf(const std::vector<LonLat>& line) {
  std::vector<Piece> pieces;
  std::size_t start = 0;
  while (start + 1 < line.size()) {
    Piece piece{{line[start]}, line[start]};
    double length = 0;
    std::size_t i = start + 1;
    for (; i < line.size(); ++i) {
      const double step = GroundMetres(line[i - 1], line[i]);
      if (length + step > kMaxPieceMetres && piece.points.size() > 1) break;
      length += step;
      piece.points.push_back(line[i]);
    }
    double walked = 0;
    for (std::size_t k = 1; k < piece.points.size() && walked < length / 2; ++k) {
      walked += GroundMetres(piece.points[k - 1], piece.points[k]);
      piece.middle = piece.points[k];
    }
    start = i - 1;
    pieces.push_back(std::move(piece));
  }
  return pieces;
}

OgrGeometry GeometryOf(const std::vector<LonLat>& points) {
  OgrGeometry geometry(OGR_G_CreateGeometry(points.size() == 1 ? wkbPoint : wkbLineString));
  for (const LonLat& p : points) OGR_G_AddPoint_2D(geometry.get(), p.longitude, p.latitude);
  return geometry;
}

void ShiftLongitudes(OGRGeometryH geometry, double by) {
  const int parts = OGR_G_GetGeometryCount(geometry);
  if (parts > 0) {
    for (int i = 0; i < parts; ++i) ShiftLongitudes(OGR_G_GetGeometryRef(geometry, i), by);
    return;
  }
  for (int i = 0; i < OGR_G_GetPointCount(geometry); ++i)
    OGR_G_SetPoint_2D(geometry, i, OGR_G_GetX(geometry, i) + by, OGR_G_GetY(geometry, i));
}

void AddPolygonsOf(OGRGeometryH geometry, std::vector<AreaPolygon>& out) {
  const auto type = wkbFlatten(OGR_G_GetGeometryType(geometry));
  if (type == wkbPolygon) {
    Area area;
    AddOgrGeometry(geometry, area);
    for (AreaPolygon& polygon : area.polygons) out.push_back(std::move(polygon));
  } else if (type == wkbMultiPolygon || type == wkbGeometryCollection) {
    for (int i = 0; i < OGR_G_GetGeometryCount(geometry); ++i) AddPolygonsOf(OGR_G_GetGeometryRef(geometry, i), out);
  }
}

// A widening that holds a pole winds once round it in longitude/latitude. It
// is drawn unwound (its longitudes made continuous, closed along the pole's
// latitude), cut to the map (its latitude limit, and 360 degrees of
// longitude, the pieces beyond +-180 moved back by 360) and its edges cut to
// a degree, so no edge is taken for one across the antimeridian.
void AddAroundPole(OGRGeometryH polygon, double poleLatitude, std::vector<AreaPolygon>& out) {
  OGRGeometryH shell = OGR_G_GetGeometryRef(polygon, 0);
  const int count = OGR_G_GetPointCount(shell);
  if (count < 3) return;
  OgrGeometry unwound(OGR_G_CreateGeometry(wkbPolygon));
  OGRGeometryH ring = OGR_G_CreateGeometry(wkbLinearRing);
  double shift = 0, previous = OGR_G_GetX(shell, 0), low = previous, high = previous;
  for (int i = 0; i < count; ++i) {
    double longitude = OGR_G_GetX(shell, i) + shift;
    while (longitude - previous > 180) longitude -= 360, shift -= 360;
    while (previous - longitude > 180) longitude += 360, shift += 360;
    OGR_G_AddPoint_2D(ring, longitude, OGR_G_GetY(shell, i));
    previous = longitude;
    low = std::min(low, longitude), high = std::max(high, longitude);
  }
  const double first = OGR_G_GetX(shell, 0);
  OGR_G_AddPoint_2D(ring, previous, poleLatitude);
  OGR_G_AddPoint_2D(ring, first, poleLatitude);
  OGR_G_AddPoint_2D(ring, first, OGR_G_GetY(shell, 0));
  OGR_G_AddGeometryDirectly(unwound.get(), ring);
  for (int h = 1; h < OGR_G_GetGeometryCount(polygon); ++h) {
    OgrGeometry hole(OGR_G_Clone(OGR_G_GetGeometryRef(polygon, h)));
    const double at = OGR_G_GetPointCount(hole.get()) > 0 ? OGR_G_GetX(hole.get(), 0) : low;
    ShiftLongitudes(hole.get(), 360 * std::ceil((low - at) / 360));
    OGR_G_AddGeometryDirectly(unwound.get(), hole.release());
  }
  for (const double by : {-360.0, 0.0, 360.0}) {
    OgrGeometry box(OGR_G_CreateGeometry(wkbPolygon));
    OGRGeometryH edge = OGR_G_CreateGeometry(wkbLinearRing);
    const double west = -180 - by, east = 180 - by;
    for (const auto& [x, y] : {std::pair{west, -kMapLatitudeLimit}, std::pair{east, -kMapLatitudeLimit},
                               std::pair{east, kMapLatitudeLimit}, std::pair{west, kMapLatitudeLimit},
                               std::pair{west, -kMapLatitudeLimit}})
      OGR_G_AddPoint_2D(edge, x, y);
    OGR_G_AddGeometryDirectly(box.get(), edge);
    if (high <= west || low >= east) continue;
    OgrGeometry piece(OGR_G_Intersection(unwound.get(), box.get()));
    if (!piece || OGR_G_IsEmpty(piece.get())) continue;
    ShiftLongitudes(piece.get(), by);
    OGR_G_Segmentize(piece.get(), 1.0);
    AddPolygonsOf(piece.get(), out);
  }
}

// An azimuthal-equidistant projection around one centre, both ways.
class LocalProjection {
 public:
  explicit LocalProjection(const LonLat& centre) : wgs84_(Wgs84LonLat()), local_(OSRNewSpatialReference(nullptr)) {
    if (OSRSetWellKnownGeogCS(local_.get(), "WGS84") != OGRERR_NONE ||
        OSRSetAE(local_.get(), centre.latitude, centre.longitude, 0, 0) != OGRERR_NONE)
      Fail();
    OSRSetAxisMappingStrategy(local_.get(), OAMS_TRADITIONAL_GIS_ORDER);
    toLocal_ = TransformBetween(wgs84_.get(), local_.get());
    toWgs84_ = TransformBetween(local_.get(), wgs84_.get());
    if (!toLocal_ || !toWgs84_) Fail();
  }

  void Widen(const std::vector<LonLat>& part, double metres, std::vector<AreaPolygon>& out) {
    OgrGeometry geometry = GeometryOf(part);
    if (OGR_G_Transform(geometry.get(), toLocal_.get()) != OGRERR_NONE) Fail();
    OgrGeometry widened(OGR_G_Buffer(geometry.get(), metres, kQuarterCircleSegments));
    if (!widened) Fail();
    OGR_G_Segmentize(widened.get(), std::clamp(metres / 4, 25.0, 10'000.0));
    const bool single = wkbFlatten(OGR_G_GetGeometryType(widened.get())) == wkbPolygon;
    const int parts = single ? 1 : OGR_G_GetGeometryCount(widened.get());
    for (int i = 0; i < parts; ++i) {
      OgrGeometry polygon(OGR_G_Clone(single ? widened.get() : OGR_G_GetGeometryRef(widened.get(), i)));
      const std::optional<double> pole = PoleInside(polygon.get());
      if (OGR_G_Transform(polygon.get(), toWgs84_.get()) != OGRERR_NONE) Fail();
      if (pole) {
        AddAroundPole(polygon.get(), *pole, out);
      } else {
        Area area;
        AddOgrGeometry(polygon.get(), area);
        for (AreaPolygon& p : area.polygons) out.push_back(std::move(p));
      }
    }
  }

 private:
  // The latitude of the pole the local polygon holds, if it holds one.
  std::optional<double> PoleInside(OGRGeometryH polygon) const {
    for (const double latitude : {90.0, -90.0}) {
      OgrGeometry pole(OGR_G_CreateGeometry(wkbPoint));
      OGR_G_AddPoint_2D(pole.get(), 0, latitude);
      if (OGR_G_Transform(pole.get(), toLocal_.get()) == OGRERR_NONE && OGR_G_Contains(polygon, pole.get()))
        return latitude;
    }
    return std::nullopt;
  }

  [[noreturn]] void Fail() const {
    const std::string why = errors_.FirstError();
    throw AreaError("GDAL cannot widen the lines and points by the buffer" + (why.empty() ? "" : ": " + why));
  }

  GdalQuietErrors errors_;
  OgrSrs wgs84_;
  OgrSrs local_;
  OgrTransform toLocal_;
  OgrTransform toWgs84_;
};

}  // namespace

std::vector<AreaPolygon> WidenLine(const std::vector<LonLat>& line, double metres) {
  std::vector<AreaPolygon> out;
  if (line.empty()) return out;
  if (line.size() == 1) return WidenPoints(line, metres);
  for (const Piece& piece : PiecesOf(Densified(line))) LocalProjection(piece.middle).Widen(piece.points, metres, out);
  return out;
}

std::vector<AreaPolygon> WidenPoints(const std::vector<LonLat>& points, double metres) {
  // One projection per degree square: its points lie within 80 km of the square's middle.
  std::map<std::pair<int, int>, std::vector<LonLat>> squares;
  for (const LonLat& p : points)
    squares[{static_cast<int>(std::floor(p.longitude)), static_cast<int>(std::floor(p.latitude))}].push_back(p);
  std::vector<AreaPolygon> out;
  for (const auto& [square, inside] : squares) {
    LocalProjection projection({square.first + 0.5, std::min(square.second + 0.5, 89.5)});
    for (const LonLat& p : inside) projection.Widen({p}, metres, out);
  }
  return out;
}
