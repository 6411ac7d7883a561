#pragma once

#include <string>
#include <vector>

#include "Area.h"

// A zip archive (KMZ, a zipped Shapefile) whose files unpack to more than
// this is refused unread.
inline constexpr unsigned long long kMaxUnpackedBytes = 512ull << 20;

// An area from any vector file GDAL's vector library reads: GeoJSON, KML and
// KMZ, GPX, Shapefile, GeoPackage, FlatGeobuf and the rest. Every layer and
// every feature counts, in whatever coordinate system the file declares (a
// layer that declares none is taken as WGS84); a GPX file's track_points and
// route_points layers are skipped, as they repeat its tracks and routes.
// Curves become polylines; altitudes are dropped; a projected file's edges
// are cut into pieces of at most 1 km first, so they stay close to the
// straight lines the file draws.
//
// Polygons count as drawn. With bufferMetres > 0 every line and point is
// widened into polygons by that distance on the ground (WidenLine,
// WidenPoints); with 0 they stay lines and points. Polygons that overlap or
// touch are merged into one outline (GEOS), unless one of them is not a
// valid polygon; the area they cover is the same either way.
//
// Throws AreaError, naming the file: it is missing, a pipe, device or socket,
// a zip archive that unpacks beyond kMaxUnpackedBytes, GDAL cannot read it as a
// vector file, it holds no geometry, a coordinate cannot be turned into
// WGS84, or ValidateArea refuses the result; CheckBufferMetres's refusals too.
Area ImportAreaFile(const std::string& path, double bufferMetres);

// The polygons within `metres` of a line (or points), each part drawn in an
// azimuthal-equidistant projection centred on it and turned back into
// WGS84. Lines longer than 500 km are widened in pieces, so no point lies
// more than 250 km from its projection's centre (distances stay within 0.03 %
// of the true ones); the outlines are cut into edges short enough that their
// straight lines in longitude/latitude keep to the projection's. The line is
// taken as drawn: straight in longitude/latitude between its points.
// Throws AreaError when GDAL cannot widen it.
std::vector<AreaPolygon> WidenLine(const std::vector<LonLat>& line, double metres);
std::vector<AreaPolygon> WidenPoints(const std::vector<LonLat>& points, double metres);
