#include "GdalSession.h"

#include <mutex>

#include <cpl_conv.h>
#include <ogr_srs_api.h>

namespace {
thread_local GdalErrorCapture* currentCapture = nullptr;
}

void EnsureGdalRegistered() {
  static std::once_flag once;
  std::call_once(once, [] {
    GDALAllRegister();
    // Side files (.aux.xml) would outlive a cancelled write and are not wanted beside outputs.
    CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
  });
}

GdalErrorCapture::GdalErrorCapture() {
  EnsureGdalRegistered();
  CPLPushErrorHandlerEx(&GdalErrorCapture::Handler, this);
  currentCapture = this;
  CPLErrorReset();
}

GdalErrorCapture::~GdalErrorCapture() {
  CPLPopErrorHandler();
  currentCapture = nullptr;
}

void CPL_STDCALL GdalErrorCapture::Handler(CPLErr level, CPLErrorNum, const char* text) {
  auto* self = static_cast<GdalErrorCapture*>(CPLGetErrorHandlerUserData());
  if (!self || level < CE_Failure) return;
  if (!self->failed_) self->message_ = text ? text : "";
  self->failed_ = true;
}

std::string WebMercatorWkt(bool esri) {
  if (!esri) return EpsgWkt(3857);
  OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
  std::string text;
  if (OSRImportFromEPSG(srs, 3857) == OGRERR_NONE && (!esri || OSRMorphToESRI(srs) == OGRERR_NONE)) {
    char* wkt = nullptr;
    if (OSRExportToWkt(srs, &wkt) == OGRERR_NONE && wkt) text = wkt;
    CPLFree(wkt);
  }
  OSRDestroySpatialReference(srs);
  return text;
}

std::string EpsgWkt(int code) {
  OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
  std::string text;
  char* wkt = nullptr;
  if (OSRImportFromEPSG(srs, code) == OGRERR_NONE && OSRExportToWkt(srs, &wkt) == OGRERR_NONE && wkt) text = wkt;
  CPLFree(wkt);
  OSRDestroySpatialReference(srs);
  return text;
}
