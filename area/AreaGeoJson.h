#pragma once

#include <cstdint>
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

// An area file beyond this is refused unread: a country's detailed coast
// takes a few tens of MiB.
inline constexpr std::uintmax_t kMaxAreaFileBytes = std::uintmax_t{256} << 20;

// The bytes of a regular file of at most maxBytes, read without waiting on a
// FIFO or a device. Throws AreaError beginning with `source`: "... is
// missing", "... cannot be read: <reason>" (a folder, a FIFO or a device
// among them: "it is not a regular file"), "... is larger than N MiB ...".
std::string ReadAreaFileBytes(const std::string& path, const std::string& source, std::uintmax_t maxBytes);

// A pipe, a device or a socket would block a reader or never end: throws
// AreaError beginning with `source` for one. Regular files and folders (a
// folder of Shapefiles is one vector source) pass, and so does a missing
// path, left to the reader to report.
void RefuseSpecialFile(const std::string& path, const std::string& source);

// Reads Point, MultiPoint, LineString, MultiLineString, Polygon,
// MultiPolygon, GeometryCollection, Feature and FeatureCollection, at any
// depth; a feature without geometry adds nothing, extra position numbers
// (altitude) are ignored, a ring's repeated closing point is dropped. The
// result has passed ValidateArea. Throws AreaError naming the file when it is
// missing, unreadable, not a regular file or beyond kMaxAreaFileBytes, is not GeoJSON, declares a coordinate system other
// than WGS84 longitude/latitude, holds no geometry, or is refused by
// ValidateArea.
Area ReadAreaGeoJson(const std::string& path);
