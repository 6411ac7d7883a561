#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

#include "CombineReaders.h"
#include "PngCodec.h"
#include "TestFiles.h"
#include "TileImage.h"
#include "TileOrder.h"
#include "TilePixels.h"
#include "TileSetReaders.h"

namespace {

using namespace combinetest;
using Pixels = std::vector<uint8_t>;

// A 2 x 2 task at zoom 6 (columns 32-33, rows 24-25): the four children of one tile at zoom 5.
TaskOnDisk FourChildren(const std::string& folder) { return WriteTask(folder, "four", 8, 6, 0.5, 40, 10.5, 33); }
constexpr PyramidTile kParent{5, 16, 12};

// A tile of opaque noise, as RGB PNG or as a palette PNG of 24 colours; pixels gives what it holds.
std::string NoiseTile(unsigned seed, bool palette, Pixels& pixels) {
  std::mt19937 random(seed);
  pixels.assign(4 * 256 * 256, 255);
  if (!palette) {
    for (std::size_t i = 0; i < pixels.size(); ++i)
      if (i % 4 != 3) pixels[i] = static_cast<uint8_t>(random());
    return EncodePngRgba(pixels.data(), 256);
  }
  uint8_t colours[24 * 4];
  for (int i = 0; i < 24 * 4; ++i) colours[i] = i % 4 == 3 ? 255 : static_cast<uint8_t>(random());
  // Blocks of one colour, as a map's areas are, an odd size so that edges fall inside 2 x 2 blocks.
  Pixels blocks(52 * 52), indices(256 * 256);
  for (uint8_t& block : blocks) block = static_cast<uint8_t>(random() % 24);
  for (std::size_t i = 0; i < indices.size(); ++i) {
    indices[i] = blocks[(i / 256 / 5) * 52 + (i % 256) / 5];
    std::memcpy(&pixels[4 * i], &colours[4 * indices[i]], 4);
  }
  return EncodePngPalette(indices.data(), 256, colours, 24);
}

// The parent's pixel at (px, py) as averaging the children makes it: each
// 2 x 2 block's rounded mean; transparent over a missing child.
Rgba Averaged(const std::vector<const Pixels*>& children, int px, int py, int side = 256) {
  const int half = side / 2, quadrant = (py / half) * 2 + px / half;
  const Pixels* child = children[static_cast<std::size_t>(quadrant)];
  if (!child) return {0, 0, 0, 0};
  const int cx = 2 * (px % half), cy = 2 * (py % half);
  Rgba mean{};
  for (int c = 0; c < 4; ++c) {
    int sum = 0;
    for (int dy = 0; dy < 2; ++dy)
      for (int dx = 0; dx < 2; ++dx) sum += (*child)[4 * ((cy + dy) * 256 + cx + dx) + c];
    mean[c] = static_cast<uint8_t>((sum + 2) / 4);
  }
  return mean;
}

std::string Combined(const TaskOnDisk& task, const std::string& output, int32_t minZoom, bool palette = false,
                     int32_t tileSize = 256) {
  CombineRequest request;
  request.projectFiles = {task.projectPath};
  request.outputPath = output;
  request.minZoom = minZoom;
  request.palette = palette;
  request.tileSize = tileSize;
  Combine(request);
  return ReadTileSet(OutputKind::MBTiles, output).at({kParent.zoom, kParent.x, kParent.y});
}

struct ParentCase {
  const char* name;
  bool palette;      // the children are palette PNGs
  bool oneMissing;   // the first child is not there
};

class ParentTest : public testing::TestWithParam<ParentCase> {};

// The parent is its children halved, pixel for pixel, whatever their kind;
// a missing child leaves its quarter transparent.
TEST_P(ParentTest, IsItsFourChildrenHalved) {
  ScratchFolder folder("lower");
  const TaskOnDisk task = FourChildren(folder.Path());
  std::vector<Pixels> pixels(4);
  std::vector<const Pixels*> children(4);
  for (int i = 0; i < 4; ++i) {
    const int32_t x = task.minX + i % 2, y = task.topMinRow + i / 2;
    WriteFile(task.TilePath(x, y), NoiseTile(static_cast<unsigned>(i + 7), GetParam().palette, pixels[i]));
    children[static_cast<std::size_t>(i)] = &pixels[static_cast<std::size_t>(i)];
  }
  if (GetParam().oneMissing) {
    std::filesystem::remove(task.TilePath(task.minX, task.topMinRow));
    children[0] = nullptr;
  }
  const std::string parent = Combined(task, folder / "out.mbtiles", 5);
  Pixels rgba(4 * 256 * 256);
  std::string problem;
  ASSERT_TRUE(DecodeTileRgba(parent, rgba.data(), problem)) << problem;
  for (int py = 0; py < 256; ++py)
    for (int px = 0; px < 256; ++px) {
      const uint8_t* got = &rgba[4 * (py * 256 + px)];
      ASSERT_EQ((Rgba{got[0], got[1], got[2], got[3]}), Averaged(children, px, py)) << px << "," << py;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ParentTest,
                         testing::Values(ParentCase{"rgb", false, false}, ParentCase{"rgb_missing", false, true},
                                         ParentCase{"palette", true, false},
                                         ParentCase{"palette_missing", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Four children of one colour make their parent that colour without
// averaging: it must be what averaging gives, transparent colours included.
TEST(OneColourTest, ShortcutGivesWhatAveragingGives) {
  const std::vector<Rgba> colours = {{10, 200, 30, 255}, {10, 200, 30, 128}, {10, 200, 30, 1}, {10, 200, 30, 0}};
  for (const Rgba& colour : colours) {
    uint32_t packed = 0;
    std::memcpy(&packed, colour.data(), 4);
    Pixels tile(4 * 256 * 256), halved(4 * 128 * 128), shortcut(4 * 128 * 128);
    FillPixels(packed, tile.data(), 256 * 256);
    HalveTile(tile.data(), halved.data());
    FillPixels(HalvedColour(packed), shortcut.data(), 128 * 128);
    EXPECT_EQ(halved, shortcut) << int(colour[3]);
  }
}

// Equal tiles are stored once in MBTiles, and every reader sees each place's
// own bytes: SQLite through the tiles view, GDAL as a raster.
TEST(OneColourTest, EqualTilesAreStoredOnceAndReadBackWhole) {
  ScratchFolder folder("lower");
  // One tile at zoom 4 (columns 32-35, rows 24-27 at zoom 6): every lower tile is all sea.
  const TaskOnDisk task = WriteTask(folder.Path(), "sea", 8, 6, 0.5, 40, 22, 22.5);
  const std::string sea = EncodeSolidImage({20, 60, 200, 255}, "png");
  WriteEveryTile(task, sea);
  const std::string output = folder / "sea.mbtiles";
  Combined(task, output, 4);

  const TileMap tiles = ReadTileSet(OutputKind::MBTiles, output);
  Sqlite db(output);
  // The task's bytes, and one encoding of the sea for every lower tile.
  EXPECT_EQ(db.Rows("SELECT count(*) FROM images"), (std::vector<std::vector<std::string>>{{"2"}}));
  EXPECT_EQ(db.Rows("SELECT count(*) FROM map")[0][0], std::to_string(tiles.size()));
  int64_t taskTiles = 0;
  for (const auto& [place, bytes] : tiles)
    if (std::get<0>(place) == 6) {
      EXPECT_EQ(bytes, sea);
      ++taskTiles;
    }
  EXPECT_EQ(taskTiles, 16);
  const Dataset gdal(output);
  ASSERT_NE(gdal.handle, nullptr);
  EXPECT_EQ(gdal.Pixel(GDALGetRasterXSize(gdal.handle) / 2, GDALGetRasterYSize(gdal.handle) / 2),
            (Rgba{20, 60, 200, 255}));
}

// PMTiles points equal contents at one offset; the reference reader gives each place its bytes.
TEST(OneColourTest, PMTilesKeepsOneCopyOfEqualTiles) {
  if (!PMTilesReaderPresent()) GTEST_SKIP() << "node or the PMTiles reader is missing: run scripts/setup.sh";
  ScratchFolder folder("lower");
  // One tile at zoom 4 (columns 32-35, rows 24-27 at zoom 6): every lower tile is all sea.
  const TaskOnDisk task = WriteTask(folder.Path(), "sea", 8, 6, 0.5, 40, 22, 22.5);
  const std::string sea = EncodeSolidImage({20, 60, 200, 255}, "png");
  for (int32_t x = task.minX; x <= task.maxX; ++x)
    for (int32_t y = task.topMinRow; y <= task.topMaxRow; ++y) WriteFile(task.TilePath(x, y), sea);
  CombineRequest request;
  request.projectFiles = {task.projectPath};
  request.outputPath = folder / "sea.pmtiles";
  request.minZoom = 4;
  Combine(request);
  const auto asked = PlacesOver(6, task.minX, task.maxX, task.topMinRow, task.topMaxRow, 4);
  const PMTilesRead read = ReadPMTiles(folder / "sea.pmtiles", asked);
  EXPECT_EQ(read.tiles.size(), asked.size());
  EXPECT_EQ(JsonField(read.header, "numTileContents"), "2");
  for (const auto& [place, bytes] : read.tiles)
    if (std::get<0>(place) == 6) {
      EXPECT_EQ(bytes, sea);
    }
}

// A 512-pixel tile is its four children side by side, untouched; its
// metadata says 512 and the children's level is not written.
TEST(LargeTileTest, IsItsFourChildrenSideBySide) {
  ScratchFolder folder("lower");
  const TaskOnDisk task = FourChildren(folder.Path());
  std::vector<Pixels> pixels(4);
  for (int i = 0; i < 4; ++i)
    WriteFile(task.TilePath(task.minX + i % 2, task.topMinRow + i / 2),
              NoiseTile(static_cast<unsigned>(i + 3), i % 2 == 1, pixels[static_cast<std::size_t>(i)]));
  const std::string output = folder / "hd.mbtiles";
  const std::string parent = Combined(task, output, 5, false, 512);
  Pixels rgba(4 * 512 * 512);
  bool palette = false;
  ASSERT_TRUE(DecodePngRgba(parent, 512, rgba.data(), palette));
  for (int y = 0; y < 512; ++y)
    for (int i = 0; i < 2; ++i) {
      const Pixels& child = pixels[static_cast<std::size_t>((y / 256) * 2 + i)];
      ASSERT_EQ(std::memcmp(&rgba[4 * (y * 512 + 256 * i)], &child[4 * (y % 256) * 256], 4 * 256), 0) << y;
    }
  Sqlite db(output);
  EXPECT_EQ(db.Metadata()["tilesize"], "512");
  EXPECT_EQ(db.Metadata()["maxzoom"], "5");
  EXPECT_EQ(db.Rows("SELECT count(*) FROM tiles WHERE zoom_level = 6")[0][0], "0");
}

// With --palette, a parent of palette tiles is a palette PNG close to the averaged one.
TEST(PaletteTest, ParentIsAPalettePngCloseToTheAverage) {
  ScratchFolder folder("lower");
  const TaskOnDisk task = FourChildren(folder.Path());
  std::vector<Pixels> pixels(4);
  std::vector<const Pixels*> children;
  for (int i = 0; i < 4; ++i) {
    WriteFile(task.TilePath(task.minX + i % 2, task.topMinRow + i / 2),
              NoiseTile(static_cast<unsigned>(i + 11), true, pixels[static_cast<std::size_t>(i)]));
    children.push_back(&pixels[static_cast<std::size_t>(i)]);
  }
  const std::string parent = Combined(task, folder / "out.mbtiles", 5, true);
  ASSERT_GT(parent.size(), 26u);
  EXPECT_EQ(parent[25], 3) << "colour type";
  Pixels rgba(4 * 256 * 256);
  std::string problem;
  ASSERT_TRUE(DecodeTileRgba(parent, rgba.data(), problem)) << problem;
  double sum = 0;
  int worst = 0;
  for (int py = 0; py < 256; ++py)
    for (int px = 0; px < 256; ++px) {
      const Rgba expected = Averaged(children, px, py);
      for (int c = 0; c < 4; ++c) {
        const int distance = std::abs(int{rgba[4 * (py * 256 + px) + c]} - int{expected[c]});
        worst = std::max(worst, distance);
        sum += distance;
      }
    }
  // 96 random colours and their blends at the edges, in kPaletteColours.
  EXPECT_LT(sum / (4.0 * 256 * 256), 5.0);
  EXPECT_LE(worst, 64);
}

}  // namespace
