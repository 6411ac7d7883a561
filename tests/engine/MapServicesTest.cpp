#include <gtest/gtest.h>

#include "MapServices.h"

namespace {

struct ServiceCase {
  int32_t mapsType, x, y, zoom;
  const char* url;
  const char* fileName;
};

class TileAddressTest : public testing::TestWithParam<ServiceCase> {};

TEST_P(TileAddressTest, AddressAndFileName) {
  const auto& c = GetParam();
  EXPECT_EQ(BuildTileUrl(TileHosts{}, c.mapsType, c.x, c.y, c.zoom), c.url);
  EXPECT_EQ(BuildTileFileName(c.mapsType, c.x, c.y, c.zoom), c.fileName);
}

INSTANTIATE_TEST_SUITE_P(
    Services, TileAddressTest,
    testing::Values(
        ServiceCase{0, 2, 5, 3, "http://mt1.google.com/vt/lyrs=m@115&s=Gal&x=2&y=5&z=3", "gm_2_5_3.png"},
        ServiceCase{1, 1, 4, 3, "http://khm0.google.com/kh/v=51&s=Galileo&x=1&y=4&z=3", "gs_1_4_3.jpg"},
        ServiceCase{2, 0, 0, 1, "http://mt0.google.com/vt/v=w2p.115&s=&x=0&y=0&z=1", "gt_0_0_1.png"},
        ServiceCase{3, 3, 2, 4, "http://maps.yimg.com/hx/tl?v=4.3&r=1&x=3&y=5&z=5", "yn_3_2_4.png"},
        ServiceCase{4, 0, 0, 0, "http://maps.yimg.com/ae/ximg?v=1.9&t=a&s=256&r=1&x=0&y=-0.5&z=1", "ys_0_0_0.jpg"},
        ServiceCase{5, 1, 0, 1, "http://r0.ortho.tiles.virtualearth.net/tiles/r3.png?g=394", "mn_1_0_1.png"},
        ServiceCase{5, 0, 0, 0, "http://r0.ortho.tiles.virtualearth.net/tiles/r.png?g=394", "mn_0_0_0.png"},
        ServiceCase{6, 3, 0, 2, "http://a0.ortho.tiles.virtualearth.net/tiles/a33.jpeg?g=394", "ms_3_0_2.jpg"},
        ServiceCase{7, 0, 3, 2, "http://h3.ortho.tiles.virtualearth.net/tiles/h00.jpeg?g=394", "mh_0_3_2.jpg"},
        ServiceCase{8, 8, 5, 4, "http://tile.openstreetmap.org/4/8/5.png", "os_8_5_4.png"},
        ServiceCase{8, 0, -1, 2, "http://tile.openstreetmap.org/2/0/-1.png", "os_0_-1_2.png"},
        // Outside the table: no address, a name without prefix and extension.
        ServiceCase{9, 8, 5, 4, "", "_8_5_4."}, ServiceCase{-1, 8, 5, 4, "", "_8_5_4."}));

TEST(MapServicesTest, GalileoPrefixLength) {
  EXPECT_EQ(GalileoPrefix(2, 5), "Gal");
  EXPECT_EQ(GalileoPrefix(1, 4), "Galileo");
  EXPECT_EQ(GalileoPrefix(0, 0), "");
  EXPECT_EQ(GalileoPrefix(4, 0), "Gali");
  EXPECT_EQ(GalileoPrefix(5, 1), "");
  EXPECT_EQ(GalileoPrefix(3, -5), "");  // negative length: rows north of the grid
  for (int32_t x = 0; x < 50; ++x)
    for (int32_t y = 0; y < 10; ++y)
      EXPECT_EQ(GalileoPrefix(x, y), std::string("Galileo").substr(0, static_cast<std::size_t>((3 * x + y) % 8)));
}

TEST(MapServicesTest, YahooRowCountsFromTheMiddle) {
  EXPECT_EQ(YahooRow(2, 4), "5");
  EXPECT_EQ(YahooRow(0, 0), "-0.5");
  EXPECT_EQ(YahooRow(0, 1), "0");
  EXPECT_EQ(YahooRow(1, 1), "-1");
  EXPECT_EQ(YahooRow(0, 18), "131071");
}

TEST(MapServicesTest, QuadkeyOfBottomRowsEqualsTheUsualQuadkey) {
  constexpr int32_t zoom = 4;
  for (int32_t x = 0; x < (1 << zoom); ++x)
    for (int32_t topRow = 0; topRow < (1 << zoom); ++topRow) {
      std::string usual;
      for (int32_t i = zoom - 1; i >= 0; --i)
        usual += static_cast<char>('0' + ((x >> i) & 1) + 2 * ((topRow >> i) & 1));
      EXPECT_EQ(Quadkey(x, (1 << zoom) - 1 - topRow, zoom), usual) << x << "," << topRow;
    }
  EXPECT_EQ(Quadkey(1, 0, 1), "3");
  EXPECT_EQ(Quadkey(3, 0, 2), "33");
  EXPECT_EQ(Quadkey(0, 3, 2), "00");
  EXPECT_EQ(Quadkey(5, 5, 0), "");
  EXPECT_EQ(Quadkey(0, 0, 30).size(), 30u);
}

TEST(MapServicesTest, RowOriginsPerService) {
  for (int32_t type = 0; type < kMapsTypeCount; ++type)
    EXPECT_EQ(RowOriginOf(type), type >= 5 && type <= 7 ? RowOrigin::FromBottom : RowOrigin::FromTop) << type;
  ASSERT_NE(FindMapService(8), nullptr);
  EXPECT_STREQ(FindMapService(8)->label, "OpenStreet Maps");
  EXPECT_EQ(FindMapService(9), nullptr);
}

struct HostCase {
  std::size_t keyIndex;
  const char* hostValue;
  int32_t mapsType, x, y, zoom;
  const char* url;
};

class TileHostTest : public testing::TestWithParam<HostCase> {};

TEST_P(TileHostTest, ConfiguredHostOrTemplate) {
  const auto& c = GetParam();
  TileHosts hosts;
  hosts.ByKeyIndex(c.keyIndex) = c.hostValue;
  EXPECT_EQ(BuildTileUrl(hosts, c.mapsType, c.x, c.y, c.zoom), c.url);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, TileHostTest,
    testing::Values(
        HostCase{7, "127.0.0.1:8080", 8, 8, 5, 4, "http://127.0.0.1:8080/4/8/5.png"},
        HostCase{7, "https://tile.example.test/", 8, 8, 5, 4, "https://tile.example.test/4/8/5.png"},
        HostCase{7, "HTTP://tile.example.test", 8, 8, 5, 4, "http://tile.example.test/4/8/5.png"},
        // Street and terrain share the Google map hosts.
        HostCase{0, "g{n}.example.test", 2, 0, 3, 2, "http://g3.example.test/vt/v=w2p.115&s=Gal&x=0&y=3&z=2"},
        HostCase{6, "ve{n}.example.test", 7, 0, 3, 2, "http://ve3.example.test/tiles/h00.jpeg?g=394"},
        HostCase{0, "https://tiles.example.test:8443/{z}/{x}/{y}.png?n={n}&q={q}", 0, 2, 5, 3,
                 "https://tiles.example.test:8443/3/2/5.png?n=1&q=212"},
        HostCase{4, "127.0.0.1/ve/{q}/{x}/{y}/{z}", 5, 1, 0, 1, "http://127.0.0.1/ve/3/1/0/1"},
        HostCase{2, "127.0.0.1:9/{z}/{x}/{y}/", 3, 3, 2, 4, "http://127.0.0.1:9/4/3/2/"},
        HostCase{7, "127.0.0.1/tms/{z}/{x}/{-y}.png", 8, 8, 5, 4, "http://127.0.0.1/tms/4/8/10.png"},
        HostCase{7, "127.0.0.1/{z}/{x}/{-y}/{y}", 8, 0, 0, 0, "http://127.0.0.1/0/0/0/0"}));

struct NameCase {
  const char* name;
  bool looksLikeTile;
};

class TileFileNameShapeTest : public testing::TestWithParam<NameCase> {};

TEST_P(TileFileNameShapeTest, RefusesAnythingButATileName) {
  EXPECT_EQ(LooksLikeTileFileName(GetParam().name), GetParam().looksLikeTile) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, TileFileNameShapeTest,
    testing::Values(NameCase{"os_8_5_4.png", true}, NameCase{"mn_-1_3_2.jpg", true}, NameCase{"gm_2_5_30.PNG", true},
                    NameCase{"x_0_0_0.jp2", true}, NameCase{"_8_5_4.", false}, NameCase{"os_8_5_4.", false},
                    NameCase{"os_8_5_4", false}, NameCase{"os_8_5.png", false}, NameCase{"../os_8_5_4.png", false},
                    NameCase{"os_8_5_4.png/", false}, NameCase{"os_8_5_4.png.sh", false},
                    NameCase{"os_8_5_4.p/g", false}, NameCase{"os_8_5_4..png", false},
                    NameCase{"os_8a_5_4.png", false}, NameCase{"os__5_4.png", false}, NameCase{"os_-_5_4.png", false},
                    NameCase{"o s_8_5_4.png", false}, NameCase{"os_8_5_4.png\n", false}, NameCase{"", false},
                    NameCase{"/etc/os_8_5_4.png", false}, NameCase{"os1_8_5_4.png", false}));

}  // namespace
