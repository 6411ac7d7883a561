#include "Convert.h"

#include "NumberEntry.h"
#include "TextFormat.h"

std::string ConvertDmsText(const std::string& degrees, const std::string& minutes,
                           const std::string& seconds) {
  std::optional<int32_t> wholeDegrees = ParseWholeNumber(degrees);
  if (!wholeDegrees) return {};
  std::optional<int32_t> wholeMinutes = ParseWholeNumber(minutes);
  if (!wholeMinutes) return {};
  const float singleSeconds = static_cast<float>(ParseLeadingDecimal(seconds));

  // The sum in extended precision, the result rounded to single precision:
  // the digits users know from the original tool depend on both.
  const long double sum = static_cast<long double>(*wholeDegrees) +
                          static_cast<long double>(*wholeMinutes) * (1.0L / 60.0L) +
                          static_cast<long double>(singleSeconds) * (1.0L / 3600.0L);
  const float result = static_cast<float>(sum);
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
