#pragma once

#include <string>

#include "Platform.h"

// Degrees, minutes and seconds to decimal degrees. The arithmetic is done in
// single precision, as the converter's answers have always been, so 12 34 56
// gives 12.5822219848633 rather than 12.5822222222222.
class TfrmConvert {
 public:
  explicit TfrmConvert(Platform& platform) : platform_(platform) {}

  static constexpr const char* Caption = "Convert \"Degrees,Minutes,Seconds\" to \"Degrees\"";

  std::string Edit1;  // degrees
  std::string Edit2;  // minutes
  std::string Edit3;  // seconds
  std::string Edit4;  // result (read-only)

  // "convert": on bad degrees or minutes shows "Input Error." and keeps Edit4.
  void Button1Click();

 private:
  Platform& platform_;
};

// The conversion itself; empty when degrees or minutes are not whole numbers.
std::string ConvertDmsText(const std::string& degrees, const std::string& minutes,
                           const std::string& seconds);
