#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "CombineTestSupport.h"
#include "TestFiles.h"
#include "TileImage.h"

namespace {

// A PNG signature and an IHDR chunk claiming width x height, then junk.
std::string PngHeader(uint32_t width, uint32_t height) {
  std::string bytes("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
  for (uint32_t value : {width, height})
    for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>(value >> shift & 0xFF);
  return bytes + std::string("\x08\x06\0\0\0", 5) + std::string(64, 'x');
}

// A download that stopped a few bytes before the end.
std::string Cut(const std::string& bytes) { return bytes.substr(0, bytes.size() - 5); }

struct TileCase {
  const char* name;
  std::string bytes;
  TileBytes::Kind kind;
  const char* problem;  // part of the problem text of a bad tile
};

std::vector<TileCase> TileCases() {
  return {
      {"png", EncodeSolidImage({1, 2, 3, 255}, "png"), TileBytes::Kind::Data, ""},
      {"jpeg", EncodeSolidImage({1, 2, 3, 255}, "jpg"), TileBytes::Kind::Data, ""},
      {"blank", BlankImageBytes(), TileBytes::Kind::NoData, ""},
      {"wide_png", EncodeSolidImage({1, 2, 3, 255}, "png", 512, 256), TileBytes::Kind::Bad, "512 x 256"},
      {"small_jpeg", EncodeSolidImage({1, 2, 3, 255}, "jpg", 128, 128), TileBytes::Kind::Bad, "128 x 128"},
      {"huge_header", PngHeader(50000, 50000), TileBytes::Kind::Bad, "50000 x 50000"},
      {"html", "<html>404</html>", TileBytes::Kind::Bad, "neither PNG nor JPEG"},
      {"empty", "", TileBytes::Kind::Bad, "neither PNG nor JPEG"},
      {"cut_header", PngHeader(256, 256).substr(0, 20), TileBytes::Kind::Bad, "header"},
      {"cut_png", Cut(EncodeSolidImage({1, 2, 3, 255}, "png")), TileBytes::Kind::Bad, "cut short"},
      {"cut_jpeg", Cut(EncodeSolidImage({1, 2, 3, 255}, "jpg")), TileBytes::Kind::Bad, "cut short"},
  };
}

class ReadTileTest : public testing::TestWithParam<TileCase> {};

TEST_P(ReadTileTest, ClassifiesFromTheBytesAlone) {
  ScratchFolder folder("tileimage");
  WriteFile(folder / "tile", GetParam().bytes);
  const TileBytes tile = ReadTile(folder / "tile", BlankImageBytes());
  EXPECT_EQ(tile.kind, GetParam().kind) << tile.problem;
  EXPECT_NE(tile.problem.find(GetParam().problem), std::string::npos) << tile.problem;
}

INSTANTIATE_TEST_SUITE_P(Tiles, ReadTileTest, testing::ValuesIn(TileCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadTileTest, MissingFileIsNoData) {
  ScratchFolder folder("tileimage");
  EXPECT_EQ(ReadTile(folder / "absent.png", "").kind, TileBytes::Kind::NoData);
}

// A FIFO would block an unguarded open until a writer came; a guard against
// a hang makes the failure a failure instead of a stuck test run.
TEST(ReadTileTest, AFifoOrAFolderIsBadWithoutWaiting) {
  ScratchFolder folder("tileimage");
  const std::string fifo = folder / "fifo.png";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::symlink(fifo.c_str(), (folder / "link.png").c_str()), 0);
  folder.MakeFolder("folder.png");
  for (const char* name : {"fifo.png", "link.png", "folder.png"}) {
    auto read = std::async(std::launch::async, [&] { return ReadTile(folder / name, ""); });
    if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      const int unblock = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      ADD_FAILURE() << name << " blocked the read";
      read.wait();
      ::close(unblock);
      continue;
    }
    const TileBytes tile = read.get();
    EXPECT_EQ(tile.kind, TileBytes::Kind::Bad) << name;
    EXPECT_EQ(tile.problem, "not a file") << name;
  }
}

TEST(DecodeTileTest, DecodesPngAndJpegAndRefusesABrokenBody) {
  std::vector<uint8_t> rgba(4 * 256 * 256);
  std::string problem;
  ASSERT_TRUE(DecodeTileRgba(EncodeSolidImage({10, 200, 30, 128}, "png"), rgba.data(), problem)) << problem;
  EXPECT_EQ((std::vector<uint8_t>(rgba.end() - 4, rgba.end())), (std::vector<uint8_t>{10, 200, 30, 128}));
  ASSERT_TRUE(DecodeTileRgba(EncodeSolidImage({10, 200, 30, 255}, "jpg"), rgba.data(), problem)) << problem;
  EXPECT_NEAR(rgba[4 * 300 + 1], 200, 3);
  EXPECT_EQ(rgba[4 * 300 + 3], 255);

  const std::string png = EncodeSolidImage({10, 200, 30, 255}, "png");
  EXPECT_FALSE(DecodeTileRgba(png.substr(0, png.size() / 2), rgba.data(), problem));
  EXPECT_FALSE(problem.empty());
}

}  // namespace
