// Source documents and pasted addresses come from anyone: reading them
// never crashes, and whatever reading of an address is offered keeps to the grid.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "SourceImport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    ImportSourceDocument(text, "http://h.test/a/caps.xml?x=1");
  } catch (const SourceImportError&) {
    // A refusal is an answer.
  }
  for (const TileAddressReading& reading : ReadTileAddress(text)) {
    if (reading.zoom < 0 || reading.zoom > 30 || reading.x < 0 || reading.y < 0 ||
        reading.x >= (int64_t{1} << reading.zoom) || reading.y >= (int64_t{1} << reading.zoom))
      std::abort();
  }
  std::string key;
  TakeKeyOut(text, key);
  return 0;
}
