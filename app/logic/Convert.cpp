#include "Convert.h"

#include <cmath>
#include <string_view>

#include "NumberEntry.h"
#include "TextFormat.h"

namespace {

// "-0" is a number too: the sign is read from the text, not from the value.
bool WrittenNegative(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n\v\f");
  return first != std::string_view::npos && text[first] == '-';
}

}  // namespace

std::string ConvertDmsText(const std::string& degrees, const std::string& minutes,
                           const std::string& seconds) {
  std::optional<int32_t> wholeDegrees = ParseWholeNumber(degrees);
  if (!wholeDegrees) return {};
  std::optional<int32_t> wholeMinutes = ParseWholeNumber(minutes);
  if (!wholeMinutes) return {};
  const float singleSeconds = static_cast<float>(ParseLeadingDecimal(seconds));

  // A minus on any of the three parts makes the whole angle negative: people
  // write -12 34 56 (or 12 -34 56) for 12 degrees 34 minutes 56 seconds west.
  const bool negative = WrittenNegative(degrees) || WrittenNegative(minutes) || WrittenNegative(seconds);
  // The sum in extended precision, the result rounded to single precision:
  // the digits the converter has always shown depend on both.
  const long double sum = std::fabs(static_cast<long double>(*wholeDegrees)) +
                          std::fabs(static_cast<long double>(*wholeMinutes)) * (1.0L / 60.0L) +
                          std::fabs(static_cast<long double>(singleSeconds)) * (1.0L / 3600.0L);
  const float result = static_cast<float>(negative ? -sum : sum);
  return FormatGeneral(static_cast<double>(result));
}

void TfrmConvert::Button1Click() {
  std::string result = ConvertDmsText(Edit1, Edit2, Edit3);
  if (result.empty()) {
    platform_.ShowMessage("Input Error.");
    return;
  }
  Edit4 = result;
}
