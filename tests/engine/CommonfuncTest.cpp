#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Commonfunc.h"

namespace {

constexpr auto Top = RowOrigin::FromTop;
constexpr auto Bottom = RowOrigin::FromBottom;

TEST(CommonfuncTest, OneOver360IsTheTruncatedExtendedConstant) {
  // The grid-line behaviour below hangs on this exact constant.
  const long double r = 1.0L / 360.0L;
  int exponent = 0;
  const long double mantissa = std::frexp(r, &exponent);
  const auto bits = static_cast<unsigned long long>(std::ldexp(mantissa, 64));
  EXPECT_EQ(bits, 0xB60B60B60B60B60BULL);
  EXPECT_EQ(exponent - 64, -72);
}

struct ColumnCase {
  double longitude;
  int zoom;
  int32_t column;
};

class LongitudeToColumnTest : public testing::TestWithParam<ColumnCase> {};

TEST_P(LongitudeToColumnTest, MatchesReferenceArithmetic) {
  const auto& c = GetParam();
  EXPECT_EQ(LongitudeToColumn(c.longitude, static_cast<uint8_t>(c.zoom)), c.column)
      << c.longitude << " at zoom " << c.zoom;
}

INSTANTIATE_TEST_SUITE_P(GridLines, LongitudeToColumnTest,
                         testing::Values(
                             // 180 stays in the last column for every zoom from 1, 0 at zoom 0.
                             ColumnCase{180, 0, 0}, ColumnCase{180, 1, 1}, ColumnCase{180, 5, 31},
                             ColumnCase{180, 18, 262143}, ColumnCase{180, 30, 1073741823},
                             // Grid lines that fall to the west...
                             ColumnCase{0, 1, 0}, ColumnCase{0, 10, 511}, ColumnCase{-90, 2, 0},
                             ColumnCase{-135, 3, 0}, ColumnCase{168.75, 5, 30},
                             // ...and those that keep their own column.
                             ColumnCase{45, 3, 5}, ColumnCase{90, 2, 3},
                             ColumnCase{-180, 0, 0}, ColumnCase{-180, 12, 0}, ColumnCase{-180, 30, 0},
                             ColumnCase{10, 4, 8}, ColumnCase{20, 4, 8},
                             // Outside -180..180 the column leaves the grid; truncation is toward zero.
                             ColumnCase{-200, 2, 0}, ColumnCase{-600, 2, -4}, ColumnCase{540, 2, 7}));

struct RowCase {
  double latitude;
  int zoom;
  RowOrigin origin;
  int32_t row;
};

class LatitudeToRowTest : public testing::TestWithParam<RowCase> {};

TEST_P(LatitudeToRowTest, MatchesReferenceArithmetic) {
  const auto& c = GetParam();
  EXPECT_EQ(LatitudeToRow(c.latitude, static_cast<uint8_t>(c.zoom), c.origin), c.row)
      << c.latitude << " at zoom " << c.zoom << (c.origin == Top ? " from top" : " from bottom");
}

INSTANTIATE_TEST_SUITE_P(Rows, LatitudeToRowTest,
                         testing::Values(
                             // The equator falls south in both counts.
                             RowCase{0, 1, Top, 1}, RowCase{0, 4, Top, 8}, RowCase{0, 18, Top, 131072},
                             RowCase{0, 1, Bottom, 0}, RowCase{0, 4, Bottom, 7},
                             RowCase{0, 18, Bottom, 131071}, RowCase{0, 0, Top, 0},
                             RowCase{50, 4, Top, 5}, RowCase{40, 4, Top, 6}, RowCase{50, 4, Bottom, 10},
                             RowCase{40, 4, Bottom, 9},
                             // Beyond the grid's northern limit rows go negative.
                             RowCase{89, 2, Top, -1}, RowCase{85.06, 1, Top, 0}, RowCase{-89, 2, Top, 5},
                             RowCase{85.05, 10, Top, 0}, RowCase{-85.05, 10, Top, 1023},
                             RowCase{85.05, 10, Bottom, 1023}, RowCase{-85.05, 10, Bottom, 0}));

// A latitude re-entered from a log or a tile list lies exactly on a grid
// line; the side it falls to hangs on every rounding step of both
// conversions (the double pi, the roundings of exp, tan and asin), so the
// exact values are pinned here.
struct GridLineCase {
  int zoom;
  RowOrigin origin;
  int32_t gridLine;
  double latitude;
  int32_t row;
};

class GridLineLatitudeTest : public testing::TestWithParam<GridLineCase> {};

TEST_P(GridLineLatitudeTest, ExactLatitudeAndTheRowItFallsTo) {
  const auto& c = GetParam();
  const auto zoom = static_cast<uint8_t>(c.zoom);
  EXPECT_EQ(RowToLatitude(c.gridLine, zoom, c.origin), c.latitude);
  EXPECT_EQ(LatitudeToRow(c.latitude, zoom, c.origin), c.row);
}

INSTANTIATE_TEST_SUITE_P(GridLines, GridLineLatitudeTest, testing::Values(
    GridLineCase{10, Top, 1, 0x1.541534691dffbp+6, 1},
    GridLineCase{10, Top, 3, 0x1.53d65409d7bcdp+6, 3},
    GridLineCase{10, Top, 100, 0x1.437dc66adee96p+6, 100},
    GridLineCase{10, Top, 257, 0x1.097db37cc431dp+6, 256},
    GridLineCase{10, Top, 511, 0x1.67ff6bf51369dp-2, 510},
    GridLineCase{10, Top, 513, -0x1.67ff6bf513676p-2, 512},
    GridLineCase{10, Top, 589, -0x1.a1db140ec1a91p+4, 589},
    GridLineCase{10, Top, 1021, -0x1.53d65409d7bcdp+6, 1020},
    GridLineCase{10, Bottom, 1, -0x1.541534691dffdp+6, 1},
    GridLineCase{10, Bottom, 3, -0x1.53d65409d7bcdp+6, 2},
    GridLineCase{10, Bottom, 100, -0x1.437dc66adee96p+6, 100},
    GridLineCase{10, Bottom, 257, -0x1.097db37cc431cp+6, 257},
    GridLineCase{10, Bottom, 511, -0x1.67ff6bf51361bp-2, 510},
    GridLineCase{10, Bottom, 513, 0x1.67ff6bf5136d7p-2, 513},
    GridLineCase{10, Bottom, 589, 0x1.a1db140ec1a92p+4, 589},
    GridLineCase{10, Bottom, 1021, 0x1.53d65409d7bcdp+6, 1021},
    GridLineCase{17, Top, 1, 0x1.54341cfd43ff7p+6, 1},
    GridLineCase{17, Top, 3, 0x1.5433a0c0db846p+6, 3},
    GridLineCase{17, Top, 100, 0x1.541c090add039p+6, 99},
    GridLineCase{17, Top, 257, 0x1.53f59df1af495p+6, 257},
    GridLineCase{17, Top, 65535, 0x1.67fffffdb08d5p-9, 65534},
    GridLineCase{17, Top, 65537, -0x1.67fffffdafa7cp-9, 65536},
    GridLineCase{17, Top, 65613, -0x1.b11fbf8b52ccdp-3, 65613},
    GridLineCase{17, Top, 131069, -0x1.5433a0c0db846p+6, 131068},
    GridLineCase{17, Bottom, 1, -0x1.54341cfd43ff7p+6, 1},
    GridLineCase{17, Bottom, 3, -0x1.5433a0c0db847p+6, 2},
    GridLineCase{17, Bottom, 100, -0x1.541c090add039p+6, 99},
    GridLineCase{17, Bottom, 257, -0x1.53f59df1af497p+6, 257},
    GridLineCase{17, Bottom, 65535, -0x1.67fffffdaebp-9, 65534},
    GridLineCase{17, Bottom, 65537, 0x1.67fffffdb072p-9, 65536},
    GridLineCase{17, Bottom, 65613, 0x1.b11fbf8b52ccp-3, 65612},
    GridLineCase{17, Bottom, 131069, 0x1.5433a0c0db847p+6, 131068}));

TEST(CommonfuncTest, ColumnToLongitudeSpansTheWorld) {
  for (int z = 0; z <= 30; ++z) {
    const auto zoom = static_cast<uint8_t>(z);
    EXPECT_EQ(ColumnToLongitude(0, zoom), -180.0L) << z;
    EXPECT_EQ(ColumnToLongitude(std::ldexp(1.0, z), zoom), 180.0L) << z;
  }
  EXPECT_EQ(ColumnToLongitude(1, 3), -135.0L);
  EXPECT_EQ(ColumnToLongitude(9, 4), 22.5L);
}

TEST(CommonfuncTest, RowToLatitudeEdgesOfTheGrid) {
  constexpr double kLimit = 85.0511287798066;
  for (int z = 0; z <= 20; ++z) {
    const auto zoom = static_cast<uint8_t>(z);
    const double size = std::ldexp(1.0, z);
    EXPECT_NEAR(RowToLatitude(0, zoom, Top), kLimit, 1e-12) << z;
    EXPECT_NEAR(RowToLatitude(size, zoom, Top), -kLimit, 1e-12) << z;
    EXPECT_NEAR(RowToLatitude(size, zoom, Bottom), kLimit, 1e-12) << z;
    EXPECT_NEAR(RowToLatitude(0, zoom, Bottom), -kLimit, 1e-12) << z;
    if (z >= 1) {
      EXPECT_EQ(RowToLatitude(size / 2, zoom, Top), 0.0) << z;
    }
  }
}

TEST(CommonfuncTest, BothRowCountsDescribeTheSameProjection) {
  for (int z : {1, 4, 12}) {
    const auto zoom = static_cast<uint8_t>(z);
    const int32_t size = 1 << z;
    for (int32_t k = 0; k <= size; k += std::max(1, size / 16))
      EXPECT_NEAR(RowToLatitude(k, zoom, Top), RowToLatitude(size - k, zoom, Bottom), 1e-9) << z << " " << k;
  }
  EXPECT_NEAR(RowToLatitude(5, 4, Top), 55.7765730186677, 1e-12);
  EXPECT_NEAR(RowToLatitude(7, 4, Top), 21.9430455334382, 1e-12);
}

TEST(CommonfuncTest, PoleLatitudesFailInsteadOfOverflowing) {
  // The sine reaches 1 or the logarithm meets 0: the row would be infinite.
  EXPECT_THROW(LatitudeToRow(90, 4, Top), GridConversionError);
  EXPECT_THROW(LatitudeToRow(-90, 4, Top), GridConversionError);
  EXPECT_THROW(LatitudeToRow(std::nan(""), 4, Top), GridConversionError);
  EXPECT_THROW(LongitudeToColumn(std::nan(""), 4), GridConversionError);
  EXPECT_THROW(LongitudeToColumn(1e12, 20), GridConversionError);
  // Counted from the bottom, the rounded tangent stays finite: rows far
  // outside the grid, until they no longer fit 32 bits.
  EXPECT_EQ(LatitudeToRow(90, 4, Bottom), 103);
  EXPECT_EQ(LatitudeToRow(-90, 4, Bottom), -104);
  EXPECT_THROW(LatitudeToRow(90, 30, Bottom), GridConversionError);
  EXPECT_THROW(LatitudeToRow(-90, 30, Bottom), GridConversionError);
}

}  // namespace
