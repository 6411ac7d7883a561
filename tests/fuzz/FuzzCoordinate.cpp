// The coordinate entries' number reading: never crashes, agrees with the C
// library's strtod on every text it accepts, and ignores surrounding blanks.
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "NumberEntry.h"

namespace {

bool SameValue(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  if (const auto value = ParseCoordinate(text)) {
    if (std::isnan(*value)) std::abort();
    // strtod in the "C" locale reads the same grammar, and more besides.
    if (text.find('\0') == std::string::npos) {
      char* end = nullptr;
      const double reference = std::strtod(text.c_str(), &end);
      if (!SameValue(reference, *value)) std::abort();
    }
    const auto padded = ParseCoordinate(" \t" + text + " ");
    if (!padded || !SameValue(*padded, *value)) std::abort();
  }

  if (const auto whole = ParseWholeNumber(text)) {
    if (ParseWholeNumber(std::to_string(*whole)) != whole) std::abort();
  }

  if (std::isnan(ParseLeadingDecimal(text))) std::abort();
  return 0;
}
