// Times the set-up of tasks over areas at zoom 16 and reports what the masks
// hold against their rectangles:
//   a country-sized polygon of 100,000 vertices, its mask built from memory
//   and again from its area file (what a resume pays);
//   a 1,000 km route widened by 1 km: the import (GDAL) and the mask apart.
//
// usage: quarnel_area_bench SCRATCH_FOLDER
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>

#include "AreaGeoJson.h"
#include "AreaMask.h"
#include "ImportAreaFile.h"
#include "Unitclasstask.h"

namespace {

constexpr int kZoom = 16;
constexpr int kOpenStreetMap = 8;
constexpr double kMetresPerDegree = 111195;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long PeakKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The task's rectangle over the area, as the set-up makes it from the entries.
TileRect RectOf(const Area& area, int64_t& rectangleTiles) {
  const AreaBounds b = BoundsOf(area);
  const TaskTileRange range = TileRangeOf(b.west, b.east, b.north, b.south, kZoom, kOpenStreetMap);
  rectangleTiles = range.TotalTiles;
  return {range.MinX, range.MinY, range.MaxX, range.MaxY};
}

AreaMask SetUp(const Area& area, int64_t& rectangleTiles) {
  ValidateArea(area, "The bench area");
  return BuildAreaMask(area, kZoom, RowOrigin::FromTop, RectOf(area, rectangleTiles));
}

std::size_t MaskBytes(const AreaMask& mask) {
  std::size_t runs = 0;
  for (const int32_t x : mask.Columns()) runs += mask.Runs(x).size();
  return runs * sizeof(RowRun) + mask.Columns().size() * (sizeof(int32_t) + 2 * sizeof(int64_t));
}

// A border-like outline around (10, 47), some 500 km across: a few large
// bays and a wandering line, a vertex every 16 m.
Area Country(int vertices) {
  std::mt19937 random(16);
  std::normal_distribution<double> step(0, 0.0004);
  double wander = 0;
  Area area;
  AreaRing& shell = area.polygons.emplace_back().shell;
  for (int i = 0; i < vertices; ++i) {
    const double t = 2 * std::numbers::pi * i / vertices;
    wander = 0.999 * wander + step(random);
    const double r = 250'000 * (1 + 0.15 * std::sin(5 * t) + 0.05 * std::sin(23 * t) + wander);
    shell.push_back({10 + r * std::cos(t) / (kMetresPerDegree * std::cos(47 * std::numbers::pi / 180)),
                     47 + r * std::sin(t) / kMetresPerDegree});
  }
  return area;
}

// 1,000 km north-east from the Alps in 100 m steps, wandering as a road does.
std::string RouteGeoJson() {
  std::mt19937 random(1000);
  std::normal_distribution<double> turn(0, 0.05);
  double lon = 5, lat = 44, heading = std::numbers::pi / 4;
  std::string text = R"({"type":"LineString","coordinates":[)";
  for (int step = 0; step <= 10'000; ++step) {
    if (step > 0) {
      heading += turn(random) + 0.02 * (std::numbers::pi / 4 - heading);
      lat += 100 * std::cos(heading) / kMetresPerDegree;
      lon += 100 * std::sin(heading) / (kMetresPerDegree * std::cos(lat * std::numbers::pi / 180));
      text += ',';
    }
    text += "[" + std::to_string(lon) + "," + std::to_string(lat) + "]";
  }
  return text + "]}";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s SCRATCH_FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  int64_t rectangle = 0;

  const Area country = Country(100'000);
  auto start = std::chrono::steady_clock::now();
  const AreaMask countryMask = SetUp(country, rectangle);
  const double fromMemory = Seconds(start);
  WriteAreaGeoJson(folder + "country_area.geojson", country);
  start = std::chrono::steady_clock::now();
  SetUp(ReadAreaGeoJson(folder + "country_area.geojson"), rectangle);
  const double fromFile = Seconds(start);
  std::printf("polygon: vertices=100000 zoom=%d seconds=%.3f resume_seconds=%.3f tiles=%lld rectangle_tiles=%lld "
              "mask_kb=%zu peak_kb=%ld\n",
              kZoom, fromMemory, fromFile, static_cast<long long>(countryMask.TileCount()),
              static_cast<long long>(rectangle), MaskBytes(countryMask) / 1024, PeakKb());

  FILE* route = std::fopen((folder + "route.geojson").c_str(), "w");
  if (!route) return 1;
  std::fputs(RouteGeoJson().c_str(), route);
  std::fclose(route);
  start = std::chrono::steady_clock::now();
  const Area widened = ImportAreaFile(folder + "route.geojson", 1000);
  const double importSeconds = Seconds(start);
  start = std::chrono::steady_clock::now();
  const AreaMask routeMask = SetUp(widened, rectangle);
  const double maskSeconds = Seconds(start);
  std::size_t vertices = 0;
  for (const AreaPolygon& polygon : widened.polygons) vertices += polygon.shell.size();
  std::printf("route: km=1000 buffer_m=1000 zoom=%d import_seconds=%.3f seconds=%.3f outline_vertices=%zu tiles=%lld "
              "rectangle_tiles=%lld mask_kb=%zu peak_kb=%ld\n",
              kZoom, importSeconds, maskSeconds, vertices, static_cast<long long>(routeMask.TileCount()),
              static_cast<long long>(rectangle), MaskBytes(routeMask) / 1024, PeakKb());
  return 0;
}
