#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// An area a task downloads: polygons, lines and points in WGS84 degrees,
// meaning their union. Edges are straight in longitude/latitude, as GeoJSON
// draws them. Polygons count by their inside; lines and points (what is left
// of them after any buffer) by the tiles they touch.

struct LonLat {
  double longitude = 0;
  double latitude = 0;
  friend bool operator==(const LonLat&, const LonLat&) = default;
};

// A ring's last point joins its first; it is not repeated. Any orientation:
// a point is inside the polygon when its shell winds around it and none of
// its holes does (so a ring that crosses itself keeps both of its lobes).
using AreaRing = std::vector<LonLat>;

struct AreaPolygon {
  AreaRing shell;
  std::vector<AreaRing> holes;
  friend bool operator==(const AreaPolygon&, const AreaPolygon&) = default;
};

struct Area {
  std::vector<AreaPolygon> polygons;
  std::vector<std::vector<LonLat>> lines;  // two points or more each
  std::vector<LonLat> points;
  bool Empty() const { return polygons.empty() && lines.empty() && points.empty(); }
  friend bool operator==(const Area&, const Area&) = default;
};

// A refused or unreadable area. The message is for the user as it stands.
class AreaError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The grid's northern limit, arctan(sinh(pi)) in degrees; the south mirrors it.
inline constexpr double kMapLatitudeLimit = 85.0511287798066;

// Throws AreaError unless the area can be downloaded. `source` opens every
// message, naming where the area came from ("The area file /a/b_area.geojson").
// Refused: no geometry; a coordinate that is not a number or a latitude
// beyond +-90 or a longitude beyond +-360 (no place on the map); a polygon
// ring of fewer than 3 points or a line of fewer than 2; a longitude beyond
// +-180 or an edge spanning more than 180 degrees of
// longitude (the area crosses the antimeridian: the user is told to split it
// into one area on each side of 180 degrees; an edge from exactly -180 to
// exactly 180 is taken as drawn, across the whole map); an area that lies
// wholly beyond the map's latitude range, or only touches its edge. The last
// is not looked at without requireOnMap: lines and points beyond the map that
// a buffer will widen may yet reach into it.
void ValidateArea(const Area& area, const std::string& source, bool requireOnMap = true);

// The buffer around lines and points, in metres on the ground.
inline constexpr double kMaxBufferMetres = 1'000'000;
// Throws AreaError unless 0 <= metres <= kMaxBufferMetres (NaN included).
void CheckBufferMetres(double metres);
// The same for text as the user typed it ("250", "1.5e3"); nothing else
// around the number, the decimal point always ".".
double ParseBufferMetres(std::string_view text);

// The area's extent, its latitudes held to the map's range: the rectangle
// entries of a task over the area. The area must have passed ValidateArea.
struct AreaBounds {
  double west = 0;
  double east = 0;
  double south = 0;
  double north = 0;
};
AreaBounds BoundsOf(const Area& area);
