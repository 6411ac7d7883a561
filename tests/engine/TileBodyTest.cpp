#include <gtest/gtest.h>

#include <zlib.h>

#include <random>
#include <string>

#include "TestFiles.h"
#include "TileBody.h"

namespace {

const std::string kCutShort = "The image is cut short: its end is missing.";
const std::string kDamaged = "The image is damaged: its structure does not hold together.";
const std::string kPngEnd("\0\0\0\0IEND\xae\x42\x60\x82", 12);

std::string Fixture(const std::string& name) { return ReadFile(std::string(QUARNEL_TEST_DATA_DIR) + "/engine/tiles/" + name); }

std::string Random(std::size_t count) {
  std::mt19937 draw(26);
  std::string bytes;
  for (std::size_t i = 0; i < count; ++i) bytes += static_cast<char>(draw());
  return bytes;
}

std::string BigEndian(uint32_t value) {
  std::string bytes;
  for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>(value >> shift);
  return bytes;
}

std::string Chunk(const std::string& type, const std::string& data) {
  const std::string covered = type + data;
  return BigEndian(static_cast<uint32_t>(data.size())) + covered +
         BigEndian(crc32(0L, reinterpret_cast<const Bytef*>(covered.data()), static_cast<uInt>(covered.size())));
}

// A PNG built chunk by chunk: 16 x 16 RGB unless told otherwise.
std::string Png(const std::string& chunks, uint8_t depth = 8, uint8_t colour = 2, uint32_t side = 16) {
  const std::string header = BigEndian(side) + BigEndian(side) + std::string{char(depth), char(colour), 0, 0, 0};
  return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", header) + chunks + kPngEnd;
}

std::string WithByte(std::string bytes, std::size_t at, char value) { return bytes[at] = value, bytes; }

std::string RiffLength(std::string webp, uint32_t length) {
  for (int i = 0; i < 4; ++i) webp[4 + i] = static_cast<char>(length >> (8 * i));
  return webp;
}

struct BodyCase {
  const char* name;
  std::string bytes;
  std::string problem;  // empty: a whole image
};

class TileBodyTest : public testing::TestWithParam<BodyCase> {};

TEST_P(TileBodyTest, OnlyWholeImagesPass) {
  const std::optional<std::string_view> problem = TileBodyProblem(GetParam().bytes);
  EXPECT_EQ(std::string(problem.value_or("")), GetParam().problem);
}

std::vector<BodyCase> Bodies() {
  const std::string png = Fixture("tile.png"), jpeg = Fixture("tile.jpg"), gif = Fixture("tile.gif");
  const std::string webp = Fixture("tile.webp");
  const std::string idat = Chunk("IDAT", "pixels");
  return {
      {"Png", png, ""},
      {"PngPaddedAfterEnd", png + "\r\n", ""},
      {"PngBuiltWithPalette", Png(Chunk("PLTE", "abc") + idat, 8, 3), ""},
      {"Jpeg", jpeg, ""},
      {"JpegPaddedAfterEnd", jpeg + std::string(3, '\0'), ""},
      {"ProgressiveJpeg", Fixture("progressive.jpg"), ""},
      {"Gif", gif, ""},
      {"WebP", webp, ""},
      {"LosslessWebP", Fixture("lossless.webp"), ""},
      {"PngGarbageBetweenGoodEnds", std::string("\x89PNG\r\n\x1a\n", 8) + Random(500) + kPngEnd, kDamaged},
      {"PngBadCrc", WithByte(png, png.size() - 20, 'x'), kDamaged},
      {"PngWithoutIdat", Png(""), kDamaged},
      {"PngIdatBeforeHeader", std::string("\x89PNG\r\n\x1a\n", 8) + idat + Png(idat).substr(8), kDamaged},
      {"PngPaletteMissing", Png(idat, 8, 3), kDamaged},
      {"PngBadDepth", Png(idat, 3, 2), kDamaged},
      {"PngZeroWide", Png(idat, 8, 2, 0), kDamaged},
      {"PngHuge", Png(idat, 8, 2, 1u << 20), kDamaged},
      {"PngTrailingBytes", png + "more", kDamaged},
      {"PngCutShort", png.substr(0, png.size() - 5), kCutShort},
      {"JpegGarbageBetweenGoodEnds", std::string("\xff\xd8\xff\xe0", 4) + "data" + "\xff\xd9", kDamaged},
      {"JpegWithoutFrame", jpeg.substr(0, 2) + jpeg.substr(jpeg.find("\xff\xda")), kDamaged},
      {"JpegCutShort", jpeg.substr(0, jpeg.size() - 40), kCutShort},
      {"GifGarbageBetweenGoodEnds", "GIF89a" + Random(500) + ";", kDamaged},
      {"GifCutShort", gif.substr(0, gif.size() - 30), kCutShort},
      {"WebPRiffShorterThanBody", RiffLength(webp, static_cast<uint32_t>(webp.size() - 20)), kDamaged},
      {"WebPChunkBeyondRiff", WithByte(webp, 17, 0x40), kDamaged},
      {"WebPCutShort", webp.substr(0, webp.size() - 10), kCutShort},
      {"Html", "<!DOCTYPE html><html><body>Access blocked</body></html>",
       "The answer is a text or web page, not an image."},
      {"Empty", "", "The answer is empty, not an image."},
      {"Unknown", "\x01\x02 binary", "The answer is not a PNG, JPEG, GIF or WebP image."},
  };
}

INSTANTIATE_TEST_SUITE_P(Bodies, TileBodyTest, testing::ValuesIn(Bodies()),
                         [](const testing::TestParamInfo<BodyCase>& info) { return info.param.name; });

}  // namespace
