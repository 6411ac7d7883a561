// quarnel-area-import FILE [--buffer METRES] OUT.geojson
// quarnel-area-import --version
//
// Turns any vector file into a task's area file, so that quarnel-cli can
// take an area without loading GDAL itself. Exit status: 0 written, 1 the
// output could not be written, 2 refused (the message on standard error;
// nothing is written).

#include <cstdio>
#include <string>
#include <vector>

#include "AreaGeoJson.h"
#include "AtomicFile.h"
#include "ImportAreaFile.h"
#include "ProgramMain.h"

namespace {

constexpr const char* kUsage = "Usage: quarnel-area-import FILE [--buffer METRES] OUT.geojson\n";

int Refuse(const std::string& message, bool usage = false) {
  std::fprintf(stderr, "quarnel-area-import: %s\n%s", message.c_str(), usage ? kUsage : "");
  return 2;
}

}  // namespace

static int Main(int argc, char** argv) {
  std::vector<std::string> files;
  std::string bufferText = "0";
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--buffer") {
      if (i + 1 == argc) return Refuse("--buffer needs a number of metres", true);
      bufferText = argv[++i];
    } else if (word.starts_with("--buffer=")) {
      bufferText = word.substr(9);
    } else if (word == "--help" || word == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (word == "--version") {
      std::printf("quarnel-area-import %s\n", QUARNEL_VERSION);
      return 0;
    } else if (word.starts_with("--")) {
      return Refuse("unknown option " + word, true);
    } else {
      files.push_back(word);
    }
  }
  if (files.size() != 2) return Refuse("give one file to read and one area file to write", true);

  Area area;
  try {
    area = ImportAreaFile(files[0], ParseBufferMetres(bufferText));
  } catch (const AreaError& e) {
    return Refuse(e.what());
  }
  try {
    WriteAreaGeoJson(files[1], area);
  } catch (const FileWriteError& e) {
    std::fprintf(stderr, "quarnel-area-import: %s\n", e.what());
    return 1;
  }
  return 0;
}

int main(int argc, char** argv) { return RunProgram("quarnel-area-import", [&] { return Main(argc, argv); }); }
