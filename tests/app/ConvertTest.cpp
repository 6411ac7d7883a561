#include "Convert.h"

#include <gtest/gtest.h>

#include <string>

#include "FakePlatform.h"

namespace {

struct ConversionCase {
  std::string degrees, minutes, seconds;
  std::string result;
};

class Converter : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Converter, KeepsTheSinglePrecisionDigits) {
  const ConversionCase& c = GetParam();
  FakePlatform platform;
  TfrmConvert form(platform);
  form.Edit1 = c.degrees;
  form.Edit2 = c.minutes;
  form.Edit3 = c.seconds;
  form.Button1Click();
  EXPECT_EQ(form.Edit4, c.result);
  EXPECT_TRUE(platform.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Examples, Converter,
    ::testing::Values(ConversionCase{"12", "34", "56", "12.5822219848633"}, ConversionCase{"45", "30", "0", "45.5"},
                      ConversionCase{"180", "0", "0", "180"}, ConversionCase{"0", "0", "0", "0"},
                      ConversionCase{"-12", "30", "0", "-12.5"}, ConversionCase{"-12", "-30", "0", "-12.5"},
                      // A minus on any part makes the whole angle negative, "-0" included.
                      ConversionCase{"-0", "30", "0", "-0.5"}, ConversionCase{"12", "34", "-56", "-12.5822219848633"},
                      ConversionCase{"0", "0", "36", "0.00999999977648258"},
                      ConversionCase{"39", "54", "15.12", "39.9042015075684"},
                      ConversionCase{"116", "23", "29.5", "116.391525268555"},
                      ConversionCase{"12", "34", "56.789", "12.5824413299561"},
                      ConversionCase{"12", "34", "56,789", "12.5822219848633"},
                      ConversionCase{"12", "34", "", "12.5666666030884"},
                      ConversionCase{"12", "34", "abc", "12.5666666030884"},
                      ConversionCase{"0", "0", "30abc", "0.00833333376795053"},
                      ConversionCase{"500", "75", "300", "501.333343505859"},
                      ConversionCase{"$C", "0x22", "56", "12.5822219848633"}));

TEST(ConverterInputError, KeepsThePreviousResult) {
  FakePlatform platform;
  TfrmConvert form(platform);
  form.Edit4 = "45.5";
  const std::pair<std::string, std::string> bad[] = {
      {"", "30"}, {"45", ""}, {"12.5", "0"}, {"45 ", "0"}, {"4294967296", "0"}, {"2147483648", "0"}, {"x", "0"}};
  for (const auto& [degrees, minutes] : bad) {
    platform.messages.clear();
    form.Edit1 = degrees;
    form.Edit2 = minutes;
    form.Edit3 = "0";
    form.Button1Click();
    EXPECT_EQ(platform.messages, std::vector<std::string>{"Input Error."}) << degrees << " / " << minutes;
    EXPECT_EQ(form.Edit4, "45.5");
  }
}

TEST(ConverterCaption, QuotesBothUnits) {
  EXPECT_STREQ(TfrmConvert::Caption, "Convert \"Degrees,Minutes,Seconds\" to \"Degrees\"");
}

}  // namespace
