// Integer text and addresses: parsing never crashes, and what parses as an
// integer reads back the same after printing.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "TextFormat.h"
#include "TileHttpClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  if (const auto value = ParseInt32(text)) {
    if (ParseInt32(std::to_string(*value)) != value) std::abort();
  }

  const SplitUrl url = SplitAddress(text);
  BuildRequestText(url, "", "", "", "agent");
  BuildRequestText(url, "proxy", "user", "secret", "agent");

  FormatGeneral(static_cast<double>(text.size()) / 7.0);
  return 0;
}
