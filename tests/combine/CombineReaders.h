#pragma once

// Reading a combiner's output back through GDAL and SQLite, and running it.

#include <gtest/gtest.h>

#include <gdal.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "Combine.h"
#include "CombineTestSupport.h"

namespace combinetest {

constexpr double kHalfWidth = 20037508.342789244;
constexpr double kEarthRadius = 6378137;

inline double MercatorX(double longitude) { return longitude / 180 * kHalfWidth; }
inline double MercatorY(double latitude) { return kEarthRadius * std::log(std::tan(M_PI / 4 + latitude * M_PI / 360)); }

struct Dataset {
  explicit Dataset(const std::string& path) {
    GDALAllRegister();
    handle = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
  }
  ~Dataset() {
    if (handle) GDALClose(handle);
  }
  // Bands beyond the dataset's stay 0.
  Rgba Pixel(int x, int y, int bands = 4) const {
    Rgba pixel{};
    for (int band = 1; band <= bands; ++band)
      if (GDALRasterIO(GDALGetRasterBand(handle, band), GF_Read, x, y, 1, 1, &pixel[band - 1], 1, 1, GDT_Byte, 0,
                       0) != CE_None)
        ADD_FAILURE() << "cannot read pixel " << x << "," << y;
    return pixel;
  }
  GDALDatasetH handle = nullptr;
};

struct Sqlite {
  explicit Sqlite(const std::string& path) { sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr); }
  ~Sqlite() { sqlite3_close(db); }
  // Every row of the query, its columns as text (blobs as their bytes).
  std::vector<std::vector<std::string>> Rows(const std::string& sql) const {
    std::vector<std::vector<std::string>> rows;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) return rows;
    while (sqlite3_step(statement) == SQLITE_ROW) {
      auto& row = rows.emplace_back();
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(statement, i));
        row.emplace_back(data ? data : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, i)));
      }
    }
    sqlite3_finalize(statement);
    return rows;
  }
  std::map<std::string, std::string> Metadata() const {
    std::map<std::string, std::string> values;
    for (const auto& row : Rows("SELECT name, value FROM metadata")) values[row[0]] = row[1];
    return values;
  }
  sqlite3* db = nullptr;
};

inline CombineSummary RunCombine(const std::vector<std::string>& projects, const std::string& output,
                          std::vector<std::string>* reported = nullptr, bool overviews = false) {
  CombineRequest request;
  request.projectFiles = projects;
  request.outputPath = output;
  request.blankImagePath = BlankImagePath();
  request.overviews = overviews;
  request.report = [reported](const std::string& line) {
    if (reported) reported->push_back(line);
  };
  return Combine(request);
}

// What a command prints, stdout and stderr together.
inline std::string CommandOutput(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

inline bool Near(const Rgba& a, const Rgba& b, int tolerance) {
  for (std::size_t i = 0; i < 4; ++i)
    if (std::abs(a[i] - b[i]) > tolerance) return false;
  return true;
}

}  // namespace combinetest
