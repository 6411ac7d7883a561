#pragma once

#include <ogr_api.h>

#include "Area.h"

// Adds a GDAL geometry, already in WGS84 longitude/latitude, 2D and without
// curves, to an area: polygons (triangles too) as polygons, lines as lines
// (one of a single point as a point), points as points; collections and
// multi-parts part by part. Empty parts add nothing; a ring's closing point
// is dropped.
void AddOgrGeometry(OGRGeometryH geometry, Area& area);
