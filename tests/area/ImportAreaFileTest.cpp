#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <string>

#include <cpl_vsi.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include "AreaGeoJson.h"
#include "AreaImport.h"
#include "ImportAreaFile.h"
#include "TestFiles.h"

namespace {

constexpr double kEarthRadius = 6371008.8;

double Radians(double degrees) { return degrees * std::numbers::pi / 180; }

double GroundMetres(const LonLat& a, const LonLat& b) {
  const double h = std::pow(std::sin(Radians(b.latitude - a.latitude) / 2), 2) +
                   std::cos(Radians(a.latitude)) * std::cos(Radians(b.latitude)) *
                       std::pow(std::sin(Radians(b.longitude - a.longitude) / 2), 2);
  return 2 * kEarthRadius * std::asin(std::sqrt(h));
}

// Even-odd over the shells (the widened outlines here have no holes).
bool InsideAny(const std::vector<AreaPolygon>& polygons, const LonLat& p) {
  for (const AreaPolygon& polygon : polygons) {
    bool inside = false;
    const AreaRing& r = polygon.shell;
    for (std::size_t i = 0, j = r.size() - 1; i < r.size(); j = i++) {
      if ((r[i].latitude > p.latitude) != (r[j].latitude > p.latitude) &&
          p.longitude < r[j].longitude + (p.latitude - r[j].latitude) * (r[i].longitude - r[j].longitude) /
                                             (r[i].latitude - r[j].latitude))
        inside = !inside;
    }
    if (inside) return true;
  }
  return false;
}

std::string ImportRefusal(const std::string& path, double buffer) {
  try {
    ImportAreaFile(path, buffer);
  } catch (const AreaError& e) {
    return e.what();
  }
  return "";
}

// A one-feature vector file written through GDAL itself.
void WriteWithGdal(const std::string& path, const char* driverName, int epsg, const char* wkt) {
  GDALAllRegister();
  GDALDriverH driver = GDALGetDriverByName(driverName);
  ASSERT_NE(driver, nullptr) << driverName;
  GDALDatasetH dataset = GDALCreate(driver, path.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
  ASSERT_NE(dataset, nullptr) << path;
  OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
  OSRImportFromEPSG(srs, epsg);
  OGRGeometryH geometry = nullptr;
  char* text = const_cast<char*>(wkt);
  OGR_G_CreateFromWkt(&text, nullptr, &geometry);
  OGRLayerH layer = GDALDatasetCreateLayer(dataset, "area", srs, OGR_G_GetGeometryType(geometry), nullptr);
  OGRFeatureH feature = OGR_F_Create(OGR_L_GetLayerDefn(layer));
  OGR_F_SetGeometry(feature, geometry);
  ASSERT_EQ(OGR_L_CreateFeature(layer, feature), OGRERR_NONE);
  OGR_F_Destroy(feature);
  OGR_G_DestroyGeometry(geometry);
  OSRRelease(srs);
  GDALClose(dataset);
}

constexpr const char* kGpx = R"(<?xml version="1.0"?>
<gpx version="1.1" creator="test" xmlns="http://www.topografix.com/GPX/1/1">
<wpt lat="46.5" lon="7.5"><name>hut</name></wpt>
<rte><rtept lat="46" lon="7"/><rtept lat="46.1" lon="7.2"/></rte>
<trk><trkseg><trkpt lat="45" lon="6"/><trkpt lat="45.1" lon="6.1"/><trkpt lat="45.2" lon="6.3"/></trkseg></trk>
</gpx>
)";

TEST(ImportAreaFileTest, ReadsGeoJsonKmlAndGpxAsDrawn) {
  ScratchFolder folder("area-import");
  WriteFile(folder / "park.geojson", R"({"type":"FeatureCollection","features":[
    {"type":"Feature","properties":{},"geometry":{"type":"Polygon","coordinates":[[[10,45],[11,45],[11,46],[10,45]]]}},
    {"type":"Feature","properties":{},"geometry":{"type":"LineString","coordinates":[[12,47],[13,47.5]]}}]})");
  WriteFile(folder / "park.kml", R"(<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2"><Document>
<Placemark><name>park</name><Polygon><outerBoundaryIs><LinearRing>
<coordinates>10,45,0 11,45,0 11,46,0 10,45,0</coordinates></LinearRing></outerBoundaryIs></Polygon></Placemark>
<Placemark><name>road</name><LineString><coordinates>12,47 13,47.5</coordinates></LineString></Placemark>
</Document></kml>
)");
  Area park;
  park.polygons = {{{{10, 45}, {11, 45}, {11, 46}}, {}}};
  park.lines = {{{12, 47}, {13, 47.5}}};
  EXPECT_EQ(ImportAreaFile(folder / "park.geojson", 0), park);
  EXPECT_EQ(ImportAreaFile(folder / "park.kml", 0), park);

  WriteFile(folder / "hike.gpx", kGpx);
  Area hike;
  hike.points = {{7.5, 46.5}};  // the track's and route's own points are not repeated
  hike.lines = {{{7, 46}, {7.2, 46.1}}, {{6, 45}, {6.1, 45.1}, {6.3, 45.2}}};
  EXPECT_EQ(ImportAreaFile(folder / "hike.gpx", 0), hike);
}

TEST(ImportAreaFileTest, MergesOverlappingPolygonsUnlessOneIsNotValid) {
  ScratchFolder folder("area-import");
  const std::string squares = R"({"type":"Polygon","coordinates":[[[0,0],[2,0],[2,2],[0,2],[0,0]]]},
    {"type":"Polygon","coordinates":[[[1,1],[3,1],[3,3],[1,3],[1,1]]]})";
  WriteFile(folder / "two.geojson", R"({"type":"GeometryCollection","geometries":[)" + squares + "]}");
  const Area two = ImportAreaFile(folder / "two.geojson", 0);
  ASSERT_EQ(two.polygons.size(), 1u);
  EXPECT_EQ(two.polygons[0].shell.size(), 8u);
  EXPECT_TRUE(two.polygons[0].holes.empty());

  // A ring that crosses itself: GEOS could drop a lobe, so nothing is merged.
  WriteFile(folder / "bowtie.geojson", R"({"type":"GeometryCollection","geometries":[)" + squares +
                                           R"(,{"type":"Polygon","coordinates":[[[5,5],[7,7],[5,7],[7,5],[5,5]]]}]})");
  EXPECT_EQ(ImportAreaFile(folder / "bowtie.geojson", 0).polygons.size(), 3u);

  // A long route's widened pieces become one outline.
  WriteFile(folder / "route.geojson", R"({"type":"LineString","coordinates":[[0,10],[10.8,10]]})");
  EXPECT_EQ(ImportAreaFile(folder / "route.geojson", 2000).polygons.size(), 1u);
}

TEST(ImportAreaFileTest, TurnsADeclaredCoordinateSystemIntoLongitudeFirstWgs84) {
  ScratchFolder folder("area-import");
  // UTM zone 33 north: a 10 km square whose corners are known in degrees.
  WriteWithGdal(folder / "park.shp", "ESRI Shapefile", 32633,
                "POLYGON ((500000 5000000,510000 5000000,510000 5010000,500000 5010000,500000 5000000))");
  const Area park = ImportAreaFile(folder / "park.shp", 0);
  ASSERT_EQ(park.polygons.size(), 1u);
  const AreaRing& shell = park.polygons[0].shell;
  EXPECT_GE(shell.size(), 40u) << "each 10 km edge is cut into pieces of at most 1 km";
  const auto has = [&](double lon, double lat) {
    for (const LonLat& p : shell) {
      if (std::abs(p.longitude - lon) < 1e-9 && std::abs(p.latitude - lat) < 1e-9) return true;
    }
    return false;
  };
  EXPECT_TRUE(has(15, 45.153477183356));
  EXPECT_TRUE(has(15.1274196074228, 45.2434222365343));

  // EPSG:4326 puts latitude first by its authority; the file's x is still the longitude.
  WriteWithGdal(folder / "hut.gpkg", "GPKG", 4326, "POINT (10 50)");
  EXPECT_EQ(ImportAreaFile(folder / "hut.gpkg", 0).points, (std::vector<LonLat>{{10, 50}}));
}

TEST(ImportAreaFileTest, WidensLinesAndPointsByTheBufferOnTheGround) {
  // A line along a meridian: every corner of its outline beside the line lies 1 km away.
  const std::vector<AreaPolygon> meridian = WidenLine({{10, 45}, {10, 46}}, 1000);
  ASSERT_EQ(meridian.size(), 1u);
  int east = 0, west = 0;
  for (const LonLat& p : meridian[0].shell) {
    if (p.latitude < 45.02 || p.latitude > 45.98) continue;
    const double across = GroundMetres(p, {10, p.latitude});
    EXPECT_NEAR(across, 1000, 20) << p.longitude << " " << p.latitude;
    (p.longitude > 10 ? east : west)++;
  }
  EXPECT_GT(east, 10);
  EXPECT_GT(west, 10);

  // 1,200 km along a parallel, drawn straight in degrees: widened in pieces, 2 km either side all along.
  const std::vector<AreaPolygon> parallel = WidenLine({{0, 10}, {10.8, 10}}, 2000);
  EXPECT_GE(parallel.size(), 3u);
  const double metresPerDegree = GroundMetres({0, 10}, {0, 11});
  for (double lon = 0.1; lon < 10.75; lon += 0.1) {
    for (const double side : {-1, 1}) {
      EXPECT_TRUE(InsideAny(parallel, {lon, 10 + side * 1960 / metresPerDegree})) << lon;
      EXPECT_FALSE(InsideAny(parallel, {lon, 10 + side * 2040 / metresPerDegree})) << lon;
    }
  }

  const std::vector<AreaPolygon> hut = WidenPoints({{7.5, 46.5}, {-70, -33}}, 500);
  ASSERT_EQ(hut.size(), 2u);
  for (const AreaPolygon& circle : hut) {
    const LonLat centre = circle.shell[0].longitude > 0 ? LonLat{7.5, 46.5} : LonLat{-70, -33};
    for (const LonLat& p : circle.shell) EXPECT_NEAR(GroundMetres(p, centre), 500, 10);
  }
}

struct RefusalCase {
  const char* name;
  const char* fileName;
  const char* content;  // nullptr: no file
  double buffer;
  const char* refusal;
};

class ImportRefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(ImportRefusalTest, SaysWhatIsWrong) {
  const RefusalCase& c = GetParam();
  ScratchFolder folder("area-import");
  const std::string path = folder / c.fileName;
  if (c.content) WriteFile(path, c.content);
  const std::string refusal = ImportRefusal(path, c.buffer);
  EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
}

constexpr const char* kLine = R"({"type":"LineString","coordinates":[[10,45],[11,46]]})";

INSTANTIATE_TEST_SUITE_P(
    Files, ImportRefusalTest,
    testing::Values(
        RefusalCase{"missing", "route.gpx", nullptr, 0, "route.gpx does not exist"},
        RefusalCase{"not_a_vector_file", "notes.txt", "shopping: milk, bread\n", 0, "GDAL cannot read"},
        RefusalCase{"no_geometry", "empty.geojson", R"({"type":"FeatureCollection","features":[]})", 0,
                    "empty.geojson holds no geometry"},
        RefusalCase{"across_the_antimeridian", "fiji.geojson",
                    R"({"type":"LineString","coordinates":[[179,-17],[-179,-16]]})", 0, "crosses the antimeridian"},
        RefusalCase{"widened_across_the_antimeridian", "edge.geojson",
                    R"({"type":"Point","coordinates":[179.999,-17]})", 1000, "crosses the antimeridian"},
        RefusalCase{"negative_buffer", "line.geojson", kLine, -5, "must not be negative"},
        RefusalCase{"buffer_not_a_number", "line.geojson", kLine, std::numeric_limits<double>::quiet_NaN(),
                    "not a number"}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

int RunImport(const std::string& arguments, const std::string& errors) {
  const int status = std::system((std::string("'") + QUARNEL_AREA_IMPORT_PROGRAM + "' " + arguments + " 2>'" +
                                  errors + "'").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(QuarnelAreaImportTest, WritesTheAreaFileOrNothingWithExitStatusTwo) {
  ScratchFolder folder("area-import");
  WriteFile(folder / "hike.gpx", kGpx);
  const std::string out = folder / "hike_area.geojson";
  ASSERT_EQ(RunImport("'" + (folder / "hike.gpx") + "' --buffer 50 '" + out + "'", folder / "err.txt"), 0);
  const Area widened = ReadAreaGeoJson(out);
  EXPECT_EQ(widened.polygons.size(), 3u) << "the route, the track and the waypoint, each widened";
  EXPECT_TRUE(widened.lines.empty() && widened.points.empty());

  const std::string refused = folder / "refused.geojson";
  EXPECT_EQ(RunImport("'" + (folder / "gone.gpx") + "' '" + refused + "'", folder / "err.txt"), 2);
  EXPECT_NE(ReadFile(folder / "err.txt").find("gone.gpx does not exist"), std::string::npos);
  EXPECT_EQ(RunImport("'" + (folder / "hike.gpx") + "' --buffer -3 '" + refused + "'", folder / "err.txt"), 2);
  EXPECT_NE(ReadFile(folder / "err.txt").find("must not be negative"), std::string::npos);
  EXPECT_EQ(RunImport("'" + (folder / "hike.gpx") + "'", folder / "err.txt"), 2);
  EXPECT_NE(ReadFile(folder / "err.txt").find("Usage: quarnel-area-import"), std::string::npos);
  EXPECT_FALSE(Exists(refused));
}

// A buffer that takes in a pole is cut to the map rather than wrapped
// across it; the point itself may lie beyond the map.
TEST(ImportAreaFileTest, ABufferRoundAPoleIsCutToTheMap) {
  ScratchFolder folder("area-import");
  WriteFile(folder / "north.geojson", R"({"type":"Point","coordinates":[10,87]})");
  const struct {
    double buffer;
    std::vector<LonLat> inside, outside;
  } cases[] = {
      {500'000, {{10, 83}, {10, 85.04}}, {{10, 82}, {-170, 85}}},
      // Past the pole it reaches 84 degrees on the far side: a band round the map's top.
      {1'000'000, {{10, 79}, {-170, 85}, {179.99, 84.8}, {-179.99, 84.8}}, {{-170, 83.5}}},
  };
  for (const auto& c : cases) {
    const Area area = ImportAreaFile(folder / "north.geojson", c.buffer);
    for (const AreaPolygon& polygon : area.polygons)
      for (const LonLat& p : polygon.shell) {
        EXPECT_LE(std::abs(p.longitude), 180) << c.buffer;
        EXPECT_LE(p.latitude, kMapLatitudeLimit + 1e-9) << c.buffer;
      }
    for (const LonLat& p : c.inside) EXPECT_TRUE(InsideAny(area.polygons, p)) << c.buffer << " " << p.longitude;
    for (const LonLat& p : c.outside) EXPECT_FALSE(InsideAny(area.polygons, p)) << c.buffer << " " << p.longitude;
  }
}

// A KMZ of zeros: a few hundred KiB that unpack past the bound.
void WriteZipBomb(const std::string& path) {
  VSILFILE* kml = VSIFOpenL(("/vsizip/" + path + "/doc.kml").c_str(), "wb");
  ASSERT_NE(kml, nullptr);
  const std::string zeros(std::size_t{1} << 20, '\0');
  for (unsigned long long written = 0; written <= kMaxUnpackedBytes; written += zeros.size())
    ASSERT_EQ(VSIFWriteL(zeros.data(), 1, zeros.size(), kml), zeros.size());
  VSIFCloseL(kml);
}

TEST(ImportBoundsTest, APipeAndAnArchiveThatUnpacksTooFarAreRefusedByName) {
  ScratchFolder folder("area-import");
  const std::string fifo = folder / "route.gpx";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string bomb = folder / "bomb.kmz";
  WriteZipBomb(bomb);
  const struct {
    std::string path;
    std::string refusal;
  } cases[] = {
      {fifo, "The file " + fifo + " is not a regular file (a pipe, a device or a socket): it cannot be read as an area"},
      {bomb, "The file " + bomb + " unpacks to 513 MiB, more than the 512 MiB an import unpacks"},
  };
  for (const auto& c : cases) EXPECT_EQ(ImportRefusal(c.path, 0), c.refusal);
  // Refused before the program starts: none is there to start.
  try {
    ImportAreaFileThrough(folder / "no-such-program", fifo, 0);
    ADD_FAILURE() << "a pipe was passed on";
  } catch (const AreaError& e) {
    EXPECT_EQ(e.what(), cases[0].refusal);
  }
}

// The scratch folders of the import program's output in `temp`.
int ScratchCount(const std::string& temp) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(temp))
    count += entry.path().filename().string().starts_with("quarnel-area-");
  return count;
}

class ScratchTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    oldTemp_ = old ? old : "";
    hadTemp_ = old != nullptr;
    ::setenv("TMPDIR", temp_.Path().c_str(), 1);
  }
  void TearDown() override {
    if (hadTemp_) ::setenv("TMPDIR", oldTemp_.c_str(), 1);
    else ::unsetenv("TMPDIR");
  }
  std::string Program(const std::string& body) {
    const std::string path = work_ / "import.sh";
    WriteFile(path, "#!/bin/sh\n" + body + "\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    WriteFile(work_ / "route.gpx", kGpx);
    return path;
  }
  ScratchFolder temp_{"scratch-temp"};
  ScratchFolder work_{"scratch-work"};
  std::string oldTemp_;
  bool hadTemp_ = false;
};

TEST_F(ScratchTest, AnInterruptedImportLeavesNoFolder) {
  const std::string program = Program("exec sleep 30");
  const pid_t importer = ::fork();
  ASSERT_GE(importer, 0);
  if (importer == 0) {
    try {
      ImportAreaFileThrough(program, work_ / "route.gpx", 0);
    } catch (...) {
    }
    ::_exit(0);
  }
  for (int i = 0; i < 500 && ScratchCount(temp_.Path()) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(ScratchCount(temp_.Path()), 1);
  ::kill(importer, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(importer, &status, 0), importer);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "the process ends as the signal says";
  EXPECT_EQ(ScratchCount(temp_.Path()), 0);
}

TEST_F(ScratchTest, AnImportSweepsOnlyTheFoldersOfDeadImports) {
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string dead = temp_ / ("quarnel-area-" + std::to_string(gone) + "-abcdef");
  const std::string living = temp_ / ("quarnel-area-" + std::to_string(::getpid()) + "-abcdef");
  const std::string other = temp_ / "quarnel-area-notes";
  for (const std::string& folder : {dead, living, other}) std::filesystem::create_directory(folder);
  EXPECT_THROW(ImportAreaFileThrough(Program("echo 'import.sh: refused' >&2; exit 2"), work_ / "route.gpx", 0),
               AreaError);
  EXPECT_FALSE(Exists(dead));
  EXPECT_TRUE(Exists(living) && Exists(other));
  EXPECT_EQ(ScratchCount(temp_.Path()), 2) << "the import's own folder is gone too";
}

}  // namespace
