#pragma once

#include <string>

#include "Area.h"

// A task's area file: GeoJSON (RFC 7946) in WGS84, read and written without
// GDAL, so that every resume of a task can read it cheaply.

// The file's bytes: a FeatureCollection of up to three features, a
// MultiPolygon, a MultiLineString and a MultiPoint, in that order (those the
// area has). Rings are closed and wound as RFC 7946 asks (shells
// anticlockwise, holes clockwise); numbers are the shortest that read back
// to the same doubles. Throws AreaError for an area without geometry.
std::string AreaGeoJsonText(const Area& area);

// Writes AreaGeoJsonText atomically (engine/AtomicFile); throws FileWriteError
// when the file cannot be written, AreaError for an empty area.
void WriteAreaGeoJson(const std::string& path, const Area& area);

// Reads Point, MultiPoint, LineString, MultiLineString, Polygon,
// MultiPolygon, GeometryCollection, Feature and FeatureCollection, at any
// depth; a feature without geometry adds nothing, extra position numbers
// (altitude) are ignored, a ring's repeated closing point is dropped. The
// result has passed ValidateArea. Throws AreaError naming the file when it is
// missing or unreadable, is not GeoJSON, declares a coordinate system other
// than WGS84 longitude/latitude, holds no geometry, or is refused by
// ValidateArea.
Area ReadAreaGeoJson(const std::string& path);
