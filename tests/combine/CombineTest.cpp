#include <gtest/gtest.h>

#include <gdal.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <tuple>

#include "CombineReaders.h"
#include "TestFiles.h"

namespace {

using namespace combinetest;

// map type, zoom, left, top, right, bottom
using TaskCase = std::tuple<int32_t, int32_t, double, double, double, double>;

class CombineTaskTest : public testing::TestWithParam<TaskCase> {
 protected:
  void SetUp() override {
    const auto [mapsType, zoom, left, top, right, bottom] = GetParam();
    task = WriteTask(folder.Path(), "task", mapsType, zoom, left, top, right, bottom);
    tolerance = task.extension == "jpg" ? 4 : 0;
  }
  int32_t Columns() const { return task.maxX - task.minX + 1; }
  int32_t Rows() const { return task.topMaxRow - task.topMinRow + 1; }
  ScratchFolder folder{"combine"};
  TaskOnDisk task;
  int tolerance = 0;
};

TEST_P(CombineTaskTest, GeoTiffLiesOnTheGridWithEveryTileInPlace) {
  const CombineSummary summary = RunCombine({task.projectPath}, folder / "out.tif");
  EXPECT_EQ(summary.dataTiles, int64_t{Columns()} * Rows());
  const Dataset tiff(folder / "out.tif");
  ASSERT_NE(tiff.handle, nullptr);
  EXPECT_EQ(GDALGetRasterXSize(tiff.handle), Columns() * 256);
  EXPECT_EQ(GDALGetRasterYSize(tiff.handle), Rows() * 256);
  double transform[6];
  ASSERT_EQ(GDALGetGeoTransform(tiff.handle, transform), CE_None);
  EXPECT_NEAR(transform[0], MercatorX(task.west), 1e-3);
  EXPECT_NEAR(transform[3], MercatorY(task.north), 1e-3);
  EXPECT_NEAR(transform[0] + transform[1] * Columns() * 256, MercatorX(task.east), 1e-3);
  EXPECT_NEAR(transform[3] + transform[5] * Rows() * 256, MercatorY(task.south), 1e-3);
  EXPECT_EQ(transform[2], 0);
  EXPECT_EQ(transform[4], 0);
  EXPECT_NE(std::string(GDALGetProjectionRef(tiff.handle)).find("3857"), std::string::npos);
  for (int32_t x = task.minX; x <= task.maxX; ++x)
    for (int32_t row = task.topMinRow; row <= task.topMaxRow; ++row) {
      const Rgba pixel = tiff.Pixel((x - task.minX) * 256 + 128, (row - task.topMinRow) * 256 + 128);
      EXPECT_TRUE(Near(pixel, TileColour(x, row), tolerance)) << "tile " << x << "," << row;
    }
}

TEST_P(CombineTaskTest, MBTilesHoldsTheOriginalBytesInTmsRows) {
  const CombineSummary summary = RunCombine({task.projectPath}, folder / "out.mbtiles");
  EXPECT_EQ(summary.dataTiles, int64_t{Columns()} * Rows());
  const Sqlite db(folder / "out.mbtiles");
  const auto zoom = task.parameters.Zoom;
  const auto rows = db.Rows("SELECT zoom_level, tile_column, tile_row, tile_data FROM tiles");
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(Columns() * Rows()));
  for (const auto& row : rows) {
    EXPECT_EQ(row[0], std::to_string(zoom));
    const int32_t x = std::stoi(row[1]);
    const int32_t topRow = static_cast<int32_t>((int64_t{1} << zoom) - 1 - std::stoll(row[2]));
    EXPECT_EQ(row[3], ReadFile(task.TilePath(x, topRow))) << "tile " << x << "," << topRow;
  }
  auto metadata = db.Metadata();
  EXPECT_EQ(metadata["format"], task.extension);
  EXPECT_EQ(metadata["minzoom"], std::to_string(zoom));
  EXPECT_EQ(metadata["maxzoom"], std::to_string(zoom));
  EXPECT_EQ(metadata["name"], "task");
  EXPECT_EQ(metadata["type"], "baselayer");
  double west, south, east, north;
  ASSERT_EQ(std::sscanf(metadata["bounds"].c_str(), "%lf,%lf,%lf,%lf", &west, &south, &east, &north), 4);
  EXPECT_DOUBLE_EQ(west, task.west);
  EXPECT_DOUBLE_EQ(north, task.north);
  EXPECT_DOUBLE_EQ(east, task.east);
  EXPECT_DOUBLE_EQ(south, task.south);
  EXPECT_FALSE(metadata["center"].empty());

  // GDAL clips to the bounds: every pixel of every tile must survive it.
  const Dataset reader(folder / "out.mbtiles");
  ASSERT_NE(reader.handle, nullptr);
  EXPECT_EQ(GDALGetRasterXSize(reader.handle), Columns() * 256);
  EXPECT_EQ(GDALGetRasterYSize(reader.handle), Rows() * 256);
  const Rgba corner = reader.Pixel(128, 128);
  EXPECT_TRUE(Near(corner, TileColour(task.minX, task.topMinRow), tolerance));
}

INSTANTIATE_TEST_SUITE_P(
    MapTypes, CombineTaskTest,
    testing::Values(TaskCase{8, 4, 10, 50, 20, 40},            // the reference task, one column
                    TaskCase{8, 9, -0.9, 51.9, 0.4, 51.1},     // across the prime meridian
                    TaskCase{0, 7, -75, 41, -72, 39},          // west and north
                    TaskCase{1, 6, 150, -30, 155, -36},        // south of the equator, JPEG
                    TaskCase{3, 6, 2, 49, 6, 46},              // Yahoo street
                    TaskCase{4, 5, -60, -10, -50, -20},        // Yahoo satellite
                    TaskCase{5, 6, 139, 37, 142, 35},          // bottom-counted rows
                    TaskCase{6, 5, 20, -20, 30, -30},          // bottom-counted, south, JPEG
                    TaskCase{7, 3, -10, 10, 10, -10}),         // bottom-counted across the equator
    [](const auto& info) {
      return "type" + std::to_string(std::get<0>(info.param)) + "_zoom" + std::to_string(std::get<1>(info.param));
    });

class CombineFolderTest : public testing::Test {
 protected:
  ScratchFolder folder{"combine"};
  std::string out = folder.MakeFolder("out") + "/";
};

TEST_F(CombineFolderTest, MissingAndBlankTilesAreNoData) {
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 5, 0, 30, 30, 10);
  std::filesystem::remove(task.TilePath(task.minX, task.topMinRow));
  WriteFile(task.TilePath(task.maxX, task.topMaxRow), BlankImageBytes());
  const int64_t total = int64_t{task.maxX - task.minX + 1} * (task.topMaxRow - task.topMinRow + 1);

  const CombineSummary tiff = RunCombine({task.projectPath}, out + "t.tif");
  EXPECT_EQ(tiff.noDataTiles, 2);
  EXPECT_EQ(tiff.dataTiles, total - 2);
  const Dataset image(out + "t.tif");
  const int lastX = (task.maxX - task.minX) * 256 + 128, lastY = (task.topMaxRow - task.topMinRow) * 256 + 128;
  EXPECT_EQ(image.Pixel(128, 128)[3], 0);
  EXPECT_EQ(image.Pixel(lastX, lastY)[3], 0);
  EXPECT_EQ(image.Pixel(lastX, 128), TileColour(task.maxX, task.topMinRow));

  RunCombine({task.projectPath}, out + "t.mbtiles");
  const Sqlite db(out + "t.mbtiles");
  EXPECT_EQ(db.Rows("SELECT 1 FROM tiles").size(), static_cast<std::size_t>(total - 2));
  const int32_t tms = (1 << 5) - 1 - task.topMinRow;
  EXPECT_TRUE(db.Rows("SELECT 1 FROM tiles WHERE tile_column = " + std::to_string(task.minX) +
                      " AND tile_row = " + std::to_string(tms)).empty());
}

TEST_F(CombineFolderTest, BadTilesAreReportedOneLineEachAndLeftOut) {
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 4, 10, 50, 20, 40);  // two tiles
  WriteFile(task.TilePath(task.minX, task.topMinRow), EncodeSolidImage({1, 1, 1, 255}, "png", 512, 512));
  WriteFile(task.TilePath(task.minX, task.topMaxRow), "<html>Service unavailable</html>");
  for (const char* output : {"b.tif", "b.mbtiles"}) {
    std::vector<std::string> lines;
    const CombineSummary summary = RunCombine({task.projectPath}, out + output, &lines);
    EXPECT_EQ(summary.badTiles, 2) << output;
    EXPECT_EQ(summary.dataTiles, 0) << output;
    ASSERT_EQ(lines.size(), 2u) << output;
    const std::string wide = task.TilePath(task.minX, task.topMinRow) + ": 512 x 512";
    EXPECT_TRUE(lines[0].starts_with(wide) || lines[1].starts_with(wide)) << lines[0] << "\n" << lines[1];
  }
}

TEST_F(CombineFolderTest, SeveralZoomLevelsGoIntoOneMBTiles) {
  const TaskOnDisk z3 = WriteTask(folder.Path(), "area_z3", 8, 3, 0, 40, 40, 0);
  const TaskOnDisk z4 = WriteTask(folder.Path(), "area_z4", 8, 4, 0, 40, 40, 0);
  RunCombine({z3.projectPath, z4.projectPath}, out + "all.mbtiles");
  const Sqlite db(out + "all.mbtiles");
  auto metadata = db.Metadata();
  EXPECT_EQ(metadata["minzoom"], "3");
  EXPECT_EQ(metadata["maxzoom"], "4");
  const auto counts = db.Rows("SELECT zoom_level, count(*) FROM tiles GROUP BY zoom_level ORDER BY zoom_level");
  const auto tiles = [](const TaskOnDisk& t) {
    return std::to_string((t.maxX - t.minX + 1) * (t.topMaxRow - t.topMinRow + 1));
  };
  EXPECT_EQ(counts, (std::vector<std::vector<std::string>>{{"3", tiles(z3)}, {"4", tiles(z4)}}));

  EXPECT_THROW(RunCombine({z3.projectPath, z4.projectPath}, out + "all.tif"), CombineError);
}

TEST_F(CombineFolderTest, OverviewsOnRequestAndTheTasksNameAndAttribution) {
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 6, 0, 30, 30, 0);
  CombineRequest request;
  request.projectFiles = {task.projectPath};
  request.outputPath = out + "o.tif";
  request.overviews = true;
  request.attribution = "Tiles: example";
  Combine(request);
  const Dataset image(out + "o.tif");
  EXPECT_GT(GDALGetOverviewCount(GDALGetRasterBand(image.handle, 1)), 0);
  EXPECT_STREQ(GDALGetMetadataItem(image.handle, "TIFFTAG_DOCUMENTNAME", nullptr), "task");
  EXPECT_STREQ(GDALGetMetadataItem(image.handle, "TIFFTAG_COPYRIGHT", nullptr), "Tiles: example");
}

// Every kind, and the tile sets with lower levels too (PMTiles then keeps
// them aside in a scratch file first).
const std::vector<std::pair<std::string, std::optional<int32_t>>> kEveryOutput = {
    {"x.tif", {}},   {"x.mbtiles", {}}, {"x.pmtiles", {}}, {"x.gpkg", {}},     {"x.sqlitedb", {}},
    {"tree/", 5},    {"y.pmtiles", 5},  {"y.gpkg", 5},     {"y.mbtiles", 5},
};

TEST_F(CombineFolderTest, CancelLeavesNothingBehind) {
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 8, 0, 10, 10, 0);
  for (const auto& [output, minZoom] : kEveryOutput) {
    CombineRequest request;
    request.projectFiles = {task.projectPath};
    request.outputPath = out + output;
    request.minZoom = minZoom;
    int calls = 0;
    request.progress = [&](int64_t, int64_t) { return ++calls < 2; };
    EXPECT_THROW(Combine(request), CombineCancelled) << output;
    EXPECT_TRUE(std::filesystem::is_empty(out)) << output;
  }
}

TEST_F(CombineFolderTest, FullDiskLeavesNothingBehind) {
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 8, 0, 10, 10, 0);
  // A file size limit stands in for a full disk: writes past it fail with EFBIG.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  for (const auto& [output, minZoom] : kEveryOutput) {
    if (output.back() == '/') continue;  // a folder of small files stays under any file size limit
    CombineRequest request;
    request.projectFiles = {task.projectPath};
    request.outputPath = out + output;
    request.minZoom = minZoom;
    rlimit small = saved;
    small.rlim_cur = 8192;
    setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THROW(Combine(request), CombineWriteFailure) << output;
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_TRUE(std::filesystem::is_empty(out)) << output;
  }
  ::signal(SIGXFSZ, oldHandler);
}

struct Refusal {
  const char* name;
  const char* output;  // in the output folder
  std::function<std::string(const ScratchFolder&, CombineRequest&)> arrange;  // returns the project file
  const char* message;                                                      // part of the message
};

class CombineRefusalTest : public testing::TestWithParam<Refusal> {};

TEST_P(CombineRefusalTest, RefusesWithAMessageAndWritesNothing) {
  ScratchFolder folder("combine");
  const std::string out = folder.MakeFolder("out") + "/";
  CombineRequest request;
  request.projectFiles.insert(request.projectFiles.begin(), GetParam().arrange(folder, request));
  request.outputPath = GetParam().output[0] == '/' ? GetParam().output : out + GetParam().output;
  const auto before = std::filesystem::directory_iterator(out) == std::filesystem::directory_iterator() ? 0 : 1;
  try {
    Combine(request);
    ADD_FAILURE() << "no refusal";
  } catch (const CombineError& error) {
    EXPECT_NE(std::string(error.what()).find(GetParam().message), std::string::npos) << error.what();
  }
  const auto after = std::filesystem::directory_iterator(out) == std::filesystem::directory_iterator() ? 0 : 1;
  EXPECT_EQ(before, after);
}

std::string SmallTask(const ScratchFolder& folder) {
  return WriteTask(folder.Path(), "task", 8, 4, 10, 50, 20, 40).projectPath;
}

void SetKey(const std::string& project, const std::string& key, const std::string& value) {
  std::string text = ReadFile(project);
  const auto at = text.find(key + "=");
  text.replace(at, text.find('\r', at) - at, key + "=" + value);
  WriteFile(project, text);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, CombineRefusalTest,
    testing::Values(
        Refusal{"map_type", "x.tif",
                [](const ScratchFolder& f, CombineRequest&) {
                  const std::string p = SmallTask(f);
                  SetKey(p, "MapsType", "9");
                  return p;
                },
                "map type 9"},
        Refusal{"zoom_for_the_map_type", "x.mbtiles",
                [](const ScratchFolder& f, CombineRequest& r) {
                  r.zoomAllowed = [](int32_t, int32_t zoom) { return zoom >= 1 && zoom <= 3; };
                  return SmallTask(f);
                },
                "zoom 4 is out of range"},
        Refusal{"zoom_of_the_grid", "x.mbtiles",
                [](const ScratchFolder& f, CombineRequest&) {
                  const std::string p = SmallTask(f);
                  SetKey(p, "Zoom", "31");
                  return p;
                },
                "[Zoom] Zoom is outside 0..30"},
        Refusal{"missing_tile_folder", "x.tif",
                [](const ScratchFolder& f, CombineRequest&) {
                  const std::string p = SmallTask(f);
                  std::filesystem::remove_all(f / "task");
                  return p;
                },
                "tile folder"},
        Refusal{"missing_project", "x.tif", [](const ScratchFolder& f, CombineRequest&) { return f / "none.qrnl"; },
                "Cannot open the project file"},
        Refusal{"existing_output", "x.tif",
                [](const ScratchFolder& f, CombineRequest&) {
                  WriteFile(f / "out/x.tif", "keep");
                  return SmallTask(f);
                },
                "--force"},
        Refusal{"lower_levels_below_the_tasks", "x.mbtiles",
                [](const ScratchFolder& f, CombineRequest& r) {
                  r.minZoom = 5;
                  return SmallTask(f);
                },
                "the tasks' lowest zoom, 4"},
        Refusal{"lower_levels_of_a_geotiff", "x.tif",
                [](const ScratchFolder& f, CombineRequest& r) {
                  r.minZoom = 2;
                  return SmallTask(f);
                },
                "overviews instead"},
        Refusal{"png_and_jpeg_in_one_pmtiles", "x.pmtiles",
                [](const ScratchFolder& f, CombineRequest& r) {
                  r.projectFiles.push_back(WriteTask(f.Path(), "sat", 1, 4, 10, 50, 20, 40).projectPath);
                  return SmallTask(f);
                },
                "mix PNG and JPEG"},
        Refusal{"large_tiles_of_a_geotiff", "x.tif",
                [](const ScratchFolder& f, CombineRequest& r) {
                  r.tileSize = 512;
                  return SmallTask(f);
                },
                "512-pixel tiles are built for tile sets"},
        Refusal{"large_tiles_of_two_zooms", "x.mbtiles",
                [](const ScratchFolder& f, CombineRequest& r) {
                  r.tileSize = 512;
                  r.projectFiles.push_back(WriteTask(f.Path(), "z5", 8, 5, 10, 50, 20, 40).projectPath);
                  return SmallTask(f);
                },
                "built from one zoom level"},
        Refusal{"large_tiles_at_the_tasks_zoom", "x.mbtiles",
                [](const ScratchFolder& f, CombineRequest& r) {
                  r.tileSize = 512;
                  r.minZoom = 4;
                  return SmallTask(f);
                },
                "the lowest level must lie below it"},
        Refusal{"unknown_kind", "x.bmp", [](const ScratchFolder& f, CombineRequest&) { return SmallTask(f); },
                "names no known kind"},
        Refusal{"lower_levels_of_an_image", "x.png",
                [](const ScratchFolder& f, CombineRequest& r) {
                  r.minZoom = 2;
                  return SmallTask(f);
                },
                "a PNG or JPEG image holds one zoom level only"},
        Refusal{"output_folder_that_cannot_be_made", "plain/deeper/x.tif",
                [](const ScratchFolder& f, CombineRequest&) {
                  WriteFile(f / "out/plain", "a file where a folder would go");
                  return SmallTask(f);
                },
                "/out/plain/deeper: Not a directory."},
        // Not even root may create files there.
        Refusal{"unwritable_output_folder", "/proc/x.tif",
                [](const ScratchFolder& f, CombineRequest&) { return SmallTask(f); }, "cannot be written"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CombineFolderTest, ForceReplacesAnExistingOutput) {
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 4, 10, 50, 20, 40);
  WriteFile(out + "x.mbtiles", "old");
  CombineRequest request;
  request.projectFiles = {task.projectPath};
  request.outputPath = out + "x.mbtiles";
  request.force = true;
  Combine(request);
  EXPECT_EQ(Sqlite(out + "x.mbtiles").Rows("SELECT 1 FROM tiles").size(), 2u);
  EXPECT_EQ(ReadFile(out + "x.mbtiles").substr(0, 15), "SQLite format 3");
}

TEST_F(CombineFolderTest, MissingOutputFoldersAreMade) {
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 4, 10, 50, 20, 40);
  RunCombine({task.projectPath}, out + "new/deeper/x.mbtiles");
  EXPECT_EQ(Sqlite(out + "new/deeper/x.mbtiles").Rows("SELECT 1 FROM tiles").size(), 2u);
}

// A JPEG saved by a PNG map type's task lies under .jpg: it is read there,
// and the MBTiles it lands in says what its one format value cannot.
TEST_F(CombineFolderTest, AJpegTileOfAPngTaskIsReadAndTheMixIsTold) {
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 4, 10, 50, 20, 40);
  const std::string png = task.TilePath(task.minX, task.topMinRow);
  const std::string jpeg = EncodeSolidImage({200, 10, 10, 255}, "jpg");
  std::filesystem::remove(png);
  WriteFile(png.substr(0, png.size() - 3) + "jpg", jpeg);
  const CombineSummary summary = RunCombine({task.projectPath}, out + "x.mbtiles");
  EXPECT_EQ(summary.dataTiles, 2);
  std::string hex;
  for (unsigned char c : jpeg) hex += "0123456789ABCDEF"[c >> 4], hex += "0123456789ABCDEF"[c & 15];
  EXPECT_EQ(Sqlite(out + "x.mbtiles").Rows("SELECT 1 FROM tiles WHERE hex(tile_data) = '" + hex + "'").size(), 1u);
  EXPECT_EQ(Sqlite(out + "x.mbtiles").Metadata().at("format"), "png");
  EXPECT_EQ(CombineSummaryText(summary, "x.mbtiles", std::nullopt),
            "2 tiles written to x.mbtiles, 0 without data, 0 bad; its tiles mix 1 PNG and 1 JPEG, each kept as "
            "it came, and its metadata, which has room for one format, says png.");
}

}  // namespace
