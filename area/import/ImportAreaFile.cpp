#include "ImportAreaFile.h"

#include <cpl_string.h>
#include <cpl_vsi.h>

#include <filesystem>
#include <fstream>

#include "AreaGeoJson.h"

#include "GdalHandles.h"
#include "OgrParts.h"

namespace {

// A projected layer's edges are cut to this length before their ends are
// turned into degrees.
constexpr double kProjectedEdgeMetres = 1000;

bool RepeatsTracks(const std::string& driver, const std::string& layer) {
  return driver == "GPX" && (layer == "track_points" || layer == "route_points");
}

// Every geometry of one layer, in WGS84, into `area`.
void ReadLayer(OGRLayerH layer, const std::string& source, Area& area) {
  OgrTransform toWgs84;
  double edgeLength = 0;
  if (OGRSpatialReferenceH declared = OGR_L_GetSpatialRef(layer)) {
    const OgrSrs from = TraditionalAxes(declared);
    const OgrSrs wgs84 = Wgs84LonLat();
    toWgs84 = TransformBetween(from.get(), wgs84.get());
    if (!toWgs84) throw AreaError(source + " uses a coordinate system that cannot be turned into WGS84");
    if (OSRIsProjected(declared)) edgeLength = kProjectedEdgeMetres / OSRGetLinearUnits(declared, nullptr);
  }
  OGR_L_ResetReading(layer);
  while (const OgrFeature feature{OGR_L_GetNextFeature(layer)}) {
    OGRGeometryH found = OGR_F_GetGeometryRef(feature.get());
    if (!found || OGR_G_IsEmpty(found)) continue;
    const OgrGeometry geometry(OGR_G_HasCurveGeometry(found, TRUE) ? OGR_G_GetLinearGeometry(found, 0, nullptr)
                                                                    : OGR_G_Clone(found));
    OGR_G_FlattenTo2D(geometry.get());
    if (edgeLength > 0) OGR_G_Segmentize(geometry.get(), edgeLength);
    if (toWgs84 && OGR_G_Transform(geometry.get(), toWgs84.get()) != OGRERR_NONE)
      throw AreaError(source + " has coordinates that cannot be turned into WGS84 longitude and latitude");
    AddOgrGeometry(geometry.get(), area);
  }
}

OgrGeometry PolygonGeometry(const AreaPolygon& polygon) {
  OgrGeometry geometry(OGR_G_CreateGeometry(wkbPolygon));
  const auto addRing = [&](const AreaRing& ring) {
    OGRGeometryH linear = OGR_G_CreateGeometry(wkbLinearRing);
    for (const LonLat& p : ring) OGR_G_AddPoint_2D(linear, p.longitude, p.latitude);
    OGR_G_AddPoint_2D(linear, ring.front().longitude, ring.front().latitude);
    OGR_G_AddGeometryDirectly(geometry.get(), linear);
  };
  addRing(polygon.shell);
  for (const AreaRing& hole : polygon.holes) addRing(hole);
  return geometry;
}

// Overlapping polygons (a route's pieces, a waypoint on its track, two
// parks that share a meadow) merged into one outline, so that the area file
// draws the area's edge and nothing inside it. Polygons GEOS cannot merge
// (a ring that crosses itself) are kept as they are: the mask takes their
// union all the same.
void MergeOverlaps(std::vector<AreaPolygon>& polygons) {
  if (polygons.size() < 2) return;
  const OgrGeometry all(OGR_G_CreateGeometry(wkbMultiPolygon));
  for (const AreaPolygon& polygon : polygons) {
    OgrGeometry part = PolygonGeometry(polygon);
    if (!OGR_G_IsValid(part.get())) return;
    OGR_G_AddGeometryDirectly(all.get(), part.release());
  }
  const OgrGeometry merged(OGR_G_UnionCascaded(all.get()));
  Area area;
  if (merged) AddOgrGeometry(merged.get(), area);
  if (!area.polygons.empty()) polygons = std::move(area.polygons);
}

bool IsZipArchive(const std::string& path) {
  char magic[4] = {};
  std::ifstream file(path, std::ios::binary);
  return file.read(magic, sizeof magic) && std::string(magic, sizeof magic) == std::string("PK\x03\x04", 4);
}

// A KMZ or a zipped Shapefile is unpacked as GDAL reads it: a small archive of
// repeated bytes would unpack to gigabytes. The sizes are the archive's own
// word, which GDAL's reader keeps to; the importer's memory bound catches an
// archive nested in another.
void CheckUnpackedSize(const std::string& path, const std::string& source) {
  if (!IsZipArchive(path)) return;
  const std::string root = "/vsizip/" + path;
  char** names = VSIReadDirRecursive(root.c_str());
  unsigned long long total = 0;
  for (char** name = names; name && *name; ++name) {
    VSIStatBufL entry;
    if (VSIStatL((root + "/" + *name).c_str(), &entry) == 0 && VSI_ISREG(entry.st_mode))
      total += static_cast<unsigned long long>(entry.st_size);
  }
  CSLDestroy(names);
  if (total > kMaxUnpackedBytes)
    throw AreaError(source + " unpacks to " + std::to_string(total >> 20) + " MiB, more than the " +
                    std::to_string(kMaxUnpackedBytes >> 20) + " MiB an import unpacks");
}

}  // namespace

Area ImportAreaFile(const std::string& path, double bufferMetres) {
  CheckBufferMetres(bufferMetres);
  const std::string source = "The file " + path;
  std::error_code ignored;
  if (!std::filesystem::exists(path, ignored)) throw AreaError(source + " does not exist");
  RefuseSpecialFile(path, source);

  GdalQuietErrors errors;
  CheckUnpackedSize(path, source);
  const GdalDataset dataset(GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
  const auto unreadable = [&] {
    return AreaError("GDAL cannot read " + path + " as a vector file" +
                     (errors.FirstError().empty() ? "" : ": " + errors.FirstError()));
  };
  if (!dataset) throw unreadable();
  const std::string driver = GDALGetDriverShortName(GDALGetDatasetDriver(dataset.get()));

  Area drawn;
  for (int i = 0; i < GDALDatasetGetLayerCount(dataset.get()); ++i) {
    OGRLayerH layer = GDALDatasetGetLayer(dataset.get(), i);
    if (!RepeatsTracks(driver, OGR_L_GetName(layer))) ReadLayer(layer, source, drawn);
  }
  // A damaged file can yield some features and then fail: never a part of an area.
  if (!errors.FirstError().empty()) throw unreadable();
  ValidateArea(drawn, source, bufferMetres == 0);
  if (bufferMetres == 0) {
    MergeOverlaps(drawn.polygons);
    return drawn;
  }

  Area widened;
  widened.polygons = std::move(drawn.polygons);
  for (const auto& line : drawn.lines) {
    for (AreaPolygon& polygon : WidenLine(line, bufferMetres)) widened.polygons.push_back(std::move(polygon));
  }
  for (AreaPolygon& polygon : WidenPoints(drawn.points, bufferMetres)) widened.polygons.push_back(std::move(polygon));
  MergeOverlaps(widened.polygons);
  ValidateArea(widened, source);
  return widened;
}
