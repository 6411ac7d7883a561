#include "NumberEntry.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <optional>
#include <string>

namespace {

struct CoordinateCase {
  std::string text;
  std::optional<double> value;
};

class CoordinateEntry : public ::testing::TestWithParam<CoordinateCase> {};

TEST_P(CoordinateEntry, ReadsOnlyPlainDecimalNumbers) {
  const CoordinateCase& c = GetParam();
  EXPECT_EQ(ParseCoordinate(c.text), c.value) << "'" << c.text << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Table, CoordinateEntry,
    ::testing::Values(CoordinateCase{"10", 10.0}, CoordinateCase{"-10.5", -10.5}, CoordinateCase{"+3.25", 3.25},
                      CoordinateCase{"  12.5  ", 12.5}, CoordinateCase{"\t7\t", 7.0}, CoordinateCase{".5", 0.5},
                      CoordinateCase{"5.", 5.0}, CoordinateCase{"1e1", 10.0}, CoordinateCase{"-2.5E-1", -0.25},
                      CoordinateCase{"1E+2", 100.0}, CoordinateCase{"", std::nullopt},
                      CoordinateCase{"   ", std::nullopt}, CoordinateCase{"10,5", std::nullopt},
                      CoordinateCase{"abc", std::nullopt}, CoordinateCase{"12abc", std::nullopt},
                      CoordinateCase{"1 2", std::nullopt}, CoordinateCase{"--1", std::nullopt},
                      CoordinateCase{"+-1", std::nullopt}, CoordinateCase{"-", std::nullopt},
                      CoordinateCase{".", std::nullopt}, CoordinateCase{"1e", std::nullopt},
                      CoordinateCase{"1e+", std::nullopt}, CoordinateCase{"inf", std::nullopt},
                      CoordinateCase{"-infinity", std::nullopt}, CoordinateCase{"nan", std::nullopt},
                      CoordinateCase{"0x10", std::nullopt}, CoordinateCase{"0x1p3", std::nullopt},
                      CoordinateCase{"1e999", std::nullopt},
                      // Out of range either way: decided by the value, not by the exponent's sign.
                      CoordinateCase{"2" + std::string(400, '0') + "E-20", std::nullopt},
                      CoordinateCase{"0." + std::string(400, '0') + "1E+5", 0.0},
                      CoordinateCase{"-1e-999", -0.0}));

TEST(CoordinateEntryLocale, IgnoresTheProcessDecimalSeparator) {
  // A locale with a decimal comma, where one is installed; "C" otherwise.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  EXPECT_EQ(ParseCoordinate("10.5"), 10.5);
  EXPECT_EQ(ParseCoordinate("10,5"), std::nullopt);
  std::setlocale(LC_NUMERIC, saved.c_str());
  if (!comma) GTEST_SKIP() << "no decimal-comma locale installed; checked under the C locale only";
}

struct WholeCase {
  std::string text;
  std::optional<int32_t> value;
};

class WholeNumberEntry : public ::testing::TestWithParam<WholeCase> {};

TEST_P(WholeNumberEntry, ReadsDecimalAndHexadecimalWholeNumbers) {
  const WholeCase& c = GetParam();
  EXPECT_EQ(ParseWholeNumber(c.text), c.value) << "'" << c.text << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Table, WholeNumberEntry,
    ::testing::Values(WholeCase{"12", 12}, WholeCase{"-12", -12}, WholeCase{"+7", 7}, WholeCase{"  34", 34},
                      WholeCase{"$1F", 31}, WholeCase{"0x10", 16}, WholeCase{"0X10", 16}, WholeCase{"-$10", -16},
                      WholeCase{"2147483647", 2147483647}, WholeCase{"-2147483648", INT32_MIN},
                      WholeCase{"2147483648", std::nullopt}, WholeCase{"99999999999", std::nullopt},
                      WholeCase{"", std::nullopt}, WholeCase{"12 ", std::nullopt}, WholeCase{"12.5", std::nullopt},
                      WholeCase{"abc", std::nullopt}, WholeCase{"$", std::nullopt}, WholeCase{"0x", std::nullopt},
                      WholeCase{"--1", std::nullopt}, WholeCase{"-", std::nullopt},
                      WholeCase{"$G", std::nullopt}));

struct LeadingCase {
  std::string text;
  double value;
};

class LeadingDecimal : public ::testing::TestWithParam<LeadingCase> {};

TEST_P(LeadingDecimal, TakesTheLongestLeadingNumber) {
  EXPECT_EQ(ParseLeadingDecimal(GetParam().text), GetParam().value) << "'" << GetParam().text << "'";
}

INSTANTIATE_TEST_SUITE_P(Table, LeadingDecimal,
                         ::testing::Values(LeadingCase{"56.789", 56.789}, LeadingCase{"56,789", 56.0},
                                           LeadingCase{"", 0.0}, LeadingCase{"abc", 0.0},
                                           LeadingCase{"30abc", 30.0}, LeadingCase{"  -1.5e1x", -15.0},
                                           LeadingCase{"2e", 2.0}, LeadingCase{"2e+x", 2.0},
                                           LeadingCase{".25", 0.25}, LeadingCase{"-.", 0.0},
                                           LeadingCase{"inf", 0.0},
                                           LeadingCase{"1" + std::string(400, '0') + "E-9x", HUGE_VAL}));

}  // namespace
