// quarnel-area-import FILE [--buffer METRES] OUT.geojson
// quarnel-area-import --version
//
// Turns any vector file into a task's area file, so that quarnel-cli can
// take an area without loading GDAL itself. Exit status: 0 written, 1 the
// output could not be written, 2 refused (the message on standard error;
// nothing is written). It bounds its own memory and processor time.

#include <sys/resource.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "AreaGeoJson.h"
#include "AtomicFile.h"
#include "ImportAreaFile.h"
#include "ProgramMain.h"

namespace {

constexpr const char* kUsage = "Usage: quarnel-area-import FILE [--buffer METRES] OUT.geojson\n";

// A hostile file can make GDAL or GEOS take without end: beyond these the
// process fails (memory) or is ended by the kernel (processor time), and the
// caller says which.
constexpr rlim_t kMaxAddressSpace = rlim_t{4} << 30;
constexpr rlim_t kMaxCpuSeconds = 300;

void BoundThisProcess() {
  const auto lower = [](int resource, rlim_t bound) {
    rlimit limit{};
    if (::getrlimit(resource, &limit) != 0) return;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < bound) bound = limit.rlim_max;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < bound) return;
    limit.rlim_cur = bound;
    ::setrlimit(resource, &limit);
  };
  lower(RLIMIT_AS, kMaxAddressSpace);
  lower(RLIMIT_CPU, kMaxCpuSeconds);
}

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

  BoundThisProcess();
  Area area;
  try {
    area = ImportAreaFile(files[0], ParseBufferMetres(bufferText));
  } catch (const AreaError& e) {
    return Refuse(e.what());
  } catch (const std::bad_alloc&) {
    return Refuse("The file " + files[0] + " needs more than " + std::to_string(kMaxAddressSpace >> 30) +
                  " GiB of memory to read");
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
