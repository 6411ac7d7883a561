#include <gtest/gtest.h>

#include <string>

#include "TileBody.h"

namespace {

const std::string kPngStart("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
const std::string kPngEnd("\0\0\0\0IEND\xae\x42\x60\x82", 12);

std::string WebP(uint32_t riffLength, std::size_t payload) {
  std::string bytes = "RIFF";
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((riffLength >> (8 * i)) & 0xff);
  return bytes + "WEBPVP8 " + std::string(payload, 'x');
}

struct BodyCase {
  const char* name;
  std::string bytes;
  bool whole;
};

class TileBodyTest : public testing::TestWithParam<BodyCase> {};

TEST_P(TileBodyTest, OnlyWholeImagesPass) {
  const std::optional<std::string_view> problem = TileBodyProblem(GetParam().bytes);
  EXPECT_EQ(!problem.has_value(), GetParam().whole);
  // No digit may reach a message that failure classifiers search for codes.
  if (problem) {
    EXPECT_EQ(std::string(*problem).find_first_of("0123456789"), std::string::npos) << *problem;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, TileBodyTest,
    testing::Values(
        BodyCase{"Png", kPngStart + std::string(40, '\0') + kPngEnd, true},
        BodyCase{"PngCutShort", kPngStart + std::string(40, '\0'), false},
        BodyCase{"PngSignatureOnly", kPngStart.substr(0, 8), false},
        BodyCase{"Jpeg", std::string("\xff\xd8\xff\xe0") + "data" + "\xff\xd9", true},
        BodyCase{"JpegPaddedAfterEnd", std::string("\xff\xd8\xff\xe0") + "data" + "\xff\xd9" + std::string(3, '\0'),
                 true},
        BodyCase{"JpegCutShort", std::string("\xff\xd8\xff\xe0") + "data", false},
        BodyCase{"Gif", std::string("GIF89a") + "data;", true},
        BodyCase{"GifCutShort", std::string("GIF87a") + "data", false},
        BodyCase{"WebP", WebP(12, 4), true},
        BodyCase{"WebPCutShort", WebP(400, 4), false},
        BodyCase{"Html", "<!DOCTYPE html><html><body>Access blocked</body></html>", false},
        BodyCase{"Json", "{\"error\":\"quota exceeded\",\"code\":429}", false},
        BodyCase{"PlainText", "403 Forbidden", false},
        BodyCase{"Empty", "", false}),
    [](const testing::TestParamInfo<BodyCase>& info) { return info.param.name; });

}  // namespace
