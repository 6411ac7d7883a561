#pragma once

#include <memory>
#include <string>

#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

// GDAL's C handles as owners, and the small session the import runs in.

struct GdalDatasetCloser {
  void operator()(GDALDatasetH h) const { GDALClose(h); }
};
struct OgrGeometryDestroyer {
  void operator()(OGRGeometryH h) const { OGR_G_DestroyGeometry(h); }
};
struct OgrFeatureDestroyer {
  void operator()(OGRFeatureH h) const { OGR_F_Destroy(h); }
};
struct OgrSrsReleaser {
  void operator()(OGRSpatialReferenceH h) const { OSRRelease(h); }
};
struct OgrTransformDestroyer {
  void operator()(OGRCoordinateTransformationH h) const { OCTDestroyCoordinateTransformation(h); }
};

using GdalDataset = std::unique_ptr<std::remove_pointer_t<GDALDatasetH>, GdalDatasetCloser>;
using OgrGeometry = std::unique_ptr<std::remove_pointer_t<OGRGeometryH>, OgrGeometryDestroyer>;
using OgrFeature = std::unique_ptr<std::remove_pointer_t<OGRFeatureH>, OgrFeatureDestroyer>;
using OgrSrs = std::unique_ptr<std::remove_pointer_t<OGRSpatialReferenceH>, OgrSrsReleaser>;
using OgrTransform = std::unique_ptr<std::remove_pointer_t<OGRCoordinateTransformationH>, OgrTransformDestroyer>;

// WGS84 longitude/latitude, longitude first whatever the authority says.
OgrSrs Wgs84LonLat();
// A copy of srs that keeps easting (or longitude) first.
OgrSrs TraditionalAxes(OGRSpatialReferenceH srs);
// Null when GDAL cannot relate the two systems.
OgrTransform TransformBetween(OGRSpatialReferenceH from, OGRSpatialReferenceH to);

// While it lives, GDAL's errors on this thread are kept instead of printed,
// and GDAL's drivers are registered.
class GdalQuietErrors {
 public:
  GdalQuietErrors();
  ~GdalQuietErrors();
  GdalQuietErrors(const GdalQuietErrors&) = delete;
  GdalQuietErrors& operator=(const GdalQuietErrors&) = delete;
  // The first error since the last Clear(), or empty.
  const std::string& FirstError() const { return firstError_; }
  void Clear() { firstError_.clear(); }

 private:
  static void CPL_STDCALL Handler(CPLErr level, CPLErrorNum number, const char* text);
  std::string firstError_;
};
