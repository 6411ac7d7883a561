#include <gtest/gtest.h>

#include <vector>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "TextFormat.h"

namespace {

struct GeneralCase {
  double value;
  const char* text;
};

class FormatGeneralTest : public testing::TestWithParam<GeneralCase> {};

TEST_P(FormatGeneralTest, ShortestFormWithFifteenDigits) {
  EXPECT_EQ(FormatGeneral(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FormatGeneralTest,
    testing::Values(GeneralCase{10, "10"}, GeneralCase{10.5, "10.5"}, GeneralCase{-0.25, "-0.25"},
                    GeneralCase{0, "0"}, GeneralCase{-0.0, "0"}, GeneralCase{22.5, "22.5"},
                    GeneralCase{-180, "-180"}, GeneralCase{0.1, "0.1"}, GeneralCase{1.0 / 3, "0.333333333333333"},
                    GeneralCase{55.776573018667705, "55.7765730186677"},
                    GeneralCase{21.943045533438166, "21.9430455334382"},
                    // Scientific only below 0.00001 and from 1E15 up, exponent bare.
                    GeneralCase{1e-6, "1E-6"}, GeneralCase{-2.5e-7, "-2.5E-7"}, GeneralCase{0.00001, "0.00001"},
                    GeneralCase{0.000012345, "0.000012345"}, GeneralCase{999999999999999, "999999999999999"},
                    GeneralCase{1e15, "1E15"}, GeneralCase{1.5e20, "1.5E20"}, GeneralCase{1e100, "1E100"},
                    GeneralCase{123456789012345678.0, "1.23456789012346E17"},
                    // Rounding to 15 digits can carry into the next decade.
                    GeneralCase{9.9999999999999999e-6, "0.00001"}, GeneralCase{0.9999999999999999, "1"},
                    GeneralCase{-0.5, "-0.5"}));

TEST(FormatFixedTest, MatchesCPrintfInTheCLocale) {
  const double values[] = {0,       22.5,      -180,      85.0511287798066, -85.0511287798066,
                           1.0 / 3, -1.0 / 3,  1e-15,     -1e-15,           0.5e-14,
                           1.5e-14, 2.5e-14,   123456.789, 1e20,            -1e20,
                           1e300,   0.000030517578125, 55.776573018667705, 179.99999999999997,
                           std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                           -0.0};
  for (double value : values) {
    char expected[400];
    std::snprintf(expected, sizeof expected, "%20.14f", value);
    EXPECT_EQ(FormatFixed20_14(value), expected) << value;
  }
  EXPECT_EQ(FormatFixed20_14(0.0), "    0.00000000000000");
  EXPECT_EQ(FormatFixed20_14(std::nan("")), "                 nan");
}

struct IntCase {
  const char* text;
  std::optional<int32_t> value;
};

class ParseInt32Test : public testing::TestWithParam<IntCase> {};

TEST_P(ParseInt32Test, DecimalOrHexOrNothing) { EXPECT_EQ(ParseInt32(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseInt32Test,
    testing::Values(IntCase{"0", 0}, IntCase{"42", 42}, IntCase{"-7", -7}, IntCase{"+7", 7},
                    IntCase{"  12\t", 12}, IntCase{"2147483647", 2147483647},
                    IntCase{"-2147483648", std::numeric_limits<int32_t>::min()},
                    IntCase{"0x10", 16}, IntCase{"0X1f", 31}, IntCase{"0xFFFFFFFF", -1},
                    IntCase{"2147483648", std::nullopt}, IntCase{"-2147483649", std::nullopt},
                    IntCase{"0x100000000", std::nullopt}, IntCase{"0x", std::nullopt},
                    IntCase{"-0x10", std::nullopt}, IntCase{"0x-1", std::nullopt}, IntCase{"", std::nullopt},
                    IntCase{"   ", std::nullopt}, IntCase{"abc", std::nullopt}, IntCase{"12abc", std::nullopt},
                    IntCase{"1 2", std::nullopt}, IntCase{"+-1", std::nullopt}, IntCase{"++1", std::nullopt},
                    IntCase{"1.5", std::nullopt}, IntCase{"-", std::nullopt}));

// Qt puts the user's locale into LC_ALL; a comma locale must not reach the files.
TEST(TextFormatLocaleTest, FilesKeepTheDecimalPointUnderACommaLocale) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  const char* commaLocale = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8", "ru_RU.UTF-8"})
    if (std::setlocale(LC_NUMERIC, name)) {
      commaLocale = name;
      break;
    }
  if (!commaLocale) GTEST_SKIP() << "no locale with a decimal comma is installed";

  const std::string general = FormatGeneral(10.5);
  const std::string fixed = FormatFixed20_14(22.5);
  const std::string scientific = FormatGeneral(1.5e-7);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(general, "10.5") << commaLocale;
  EXPECT_EQ(fixed, "   22.50000000000000") << commaLocale;
  EXPECT_EQ(scientific, "1.5E-7") << commaLocale;
}

TEST(TextFormatTest, LocalDateTimeUsesTheUsersLocaleAndZone) {
  const char* savedTz = std::getenv("TZ");
  const char* savedLcAll = std::getenv("LC_ALL");
  const std::string tz = savedTz ? savedTz : "";
  const std::string lcAll = savedLcAll ? savedLcAll : "";
  ::setenv("TZ", "UTC", 1);
  ::setenv("LC_ALL", "C", 1);
  ::tzset();
  const std::string text = LocalDateTimeText(86400 * 365 + 3723);
  savedTz ? ::setenv("TZ", tz.c_str(), 1) : ::unsetenv("TZ");
  savedLcAll ? ::setenv("LC_ALL", lcAll.c_str(), 1) : ::unsetenv("LC_ALL");
  ::tzset();
  EXPECT_EQ(text, "01/01/71 01:02:03");
}

TEST(SplitTextLines, HandlesBothLineEndings) {
  EXPECT_EQ(SplitTextLines(""), std::vector<std::string>{});
  EXPECT_EQ(SplitTextLines("a\r\nb\r\n"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitTextLines("a\nb"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitTextLines("\r\n\r\nx"), (std::vector<std::string>{"", "", "x"}));
  EXPECT_EQ(SplitTextLines("a\rb\r\n"), std::vector<std::string>{"a\rb"});
}

}  // namespace
