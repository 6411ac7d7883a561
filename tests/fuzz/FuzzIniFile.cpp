// Any bytes as an INI file: reading never crashes, and a write keeps the
// file readable with the value it wrote.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "AtomicFile.h"
#include "FuzzScratch.h"
#include "IniFile.h"

namespace {
std::string TempPath() {
  static const FuzzScratch scratch("ini", "fuzz.ini");
  return scratch.File();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = TempPath();
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  WriteFileAtomic(path, bytes, Durability::ProcessCrash);

  IniFile reader(path);
  for (const char* section : {"THREADS", "area", "Proxy", "", "["}) {
    for (const char* key : {"T1X", "ThreadCount", "LeftLongitude", "", "="}) {
      reader.ReadString(section, key, "default");
      reader.ReadInteger(section, key, -7);
    }
  }

  IniFile writer(path);
  try {
    writer.WriteString("THREADS", "T1X", "42");
  } catch (const IniWriteError&) {
    return 0;
  }
  if (IniFile(path).ReadInteger("threads", "t1x", -1) != 42) std::abort();
  return 0;
}
