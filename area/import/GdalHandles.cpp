#include "GdalHandles.h"

#include <mutex>

#include <cpl_error.h>

OgrSrs Wgs84LonLat() {
  OgrSrs srs(OSRNewSpatialReference(nullptr));
  OSRSetWellKnownGeogCS(srs.get(), "WGS84");
  OSRSetAxisMappingStrategy(srs.get(), OAMS_TRADITIONAL_GIS_ORDER);
  return srs;
}

OgrSrs TraditionalAxes(OGRSpatialReferenceH srs) {
  OgrSrs copy(OSRClone(srs));
  OSRSetAxisMappingStrategy(copy.get(), OAMS_TRADITIONAL_GIS_ORDER);
  return copy;
}

OgrTransform TransformBetween(OGRSpatialReferenceH from, OGRSpatialReferenceH to) {
  return OgrTransform(OCTNewCoordinateTransformation(from, to));
}

GdalQuietErrors::GdalQuietErrors() {
  static std::once_flag once;
  std::call_once(once, [] { GDALAllRegister(); });
  CPLPushErrorHandlerEx(&GdalQuietErrors::Handler, this);
  CPLErrorReset();
}

GdalQuietErrors::~GdalQuietErrors() { CPLPopErrorHandler(); }

void CPL_STDCALL GdalQuietErrors::Handler(CPLErr level, CPLErrorNum, const char* text) {
  auto* self = static_cast<GdalQuietErrors*>(CPLGetErrorHandlerUserData());
  if (self && level >= CE_Failure && self->firstError_.empty()) self->firstError_ = text ? text : "";
}
