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
