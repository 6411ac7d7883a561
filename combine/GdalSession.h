#pragma once

#include <string>

#include <gdal.h>

// GDAL is registered once per process, before the first dataset.
void EnsureGdalRegistered();

// Collects the errors GDAL raises on this thread while it lives, instead of
// printing them: the combiner reports them as its own messages.
class GdalErrorCapture {
 public:
  GdalErrorCapture();
  ~GdalErrorCapture();
  GdalErrorCapture(const GdalErrorCapture&) = delete;
  GdalErrorCapture& operator=(const GdalErrorCapture&) = delete;
  bool Failed() const { return failed_; }
  const std::string& Message() const { return message_; }

 private:
  static void CPL_STDCALL Handler(CPLErr level, CPLErrorNum number, const char* text);
  bool failed_ = false;
  std::string message_;
};

// EPSG:3857 as WKT; esri gives the form .prj files hold.
std::string WebMercatorWkt(bool esri);
// Any EPSG code's WKT; empty when GDAL does not know it.
std::string EpsgWkt(int code);
