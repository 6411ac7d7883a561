// Any bytes as a failed-tile list: reading and splitting never crash, and a
// split keeps every byte of the line.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "AtomicFile.h"
#include "Ftl.h"
#include "FuzzScratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const FtlEntry entry = SplitFtlLine(bytes);
  const std::string joined = entry.path.empty() && bytes.find('|') == std::string::npos
                                 ? entry.url
                                 : entry.path + "|" + entry.url;
  if (joined != bytes) std::abort();

  static const FuzzScratch scratch("ftl", "list.ftl");
  const std::string& path = scratch.File();
  WriteFileAtomic(path, bytes, Durability::ProcessCrash);
  std::size_t total = 0;
  for (const std::string& line : ReadFtlLines(path)) total += line.size();
  if (total > bytes.size()) std::abort();
  return 0;
}
