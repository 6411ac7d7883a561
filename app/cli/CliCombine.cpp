#include "CliCombine.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "AppPaths.h"
#include "Combine.h"
#include "MapTypeZoom.h"
#include "ProgressText.h"

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted = true; }

// SIGINT and SIGTERM stop the combine at the next tile; the temporary is removed.
class InterruptFlag {
 public:
  InterruptFlag() {
    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &oldInt_);
    ::sigaction(SIGTERM, &action, &oldTerm_);
  }
  ~InterruptFlag() {
    ::sigaction(SIGINT, &oldInt_, nullptr);
    ::sigaction(SIGTERM, &oldTerm_, nullptr);
  }

 private:
  struct sigaction oldInt_ {}, oldTerm_ {};
};

class ProgressDisplay {
 public:
  void Stage(CombineStage stage) { label_ = StageLabel(stage); }
  bool Show(int64_t done, int64_t total) {
    if (!terminal_) return !interrupted;
    const auto now = std::chrono::steady_clock::now();
    if (now - shown_ >= std::chrono::milliseconds(250) || done == total) {
      shown_ = now;
      const double elapsed = std::chrono::duration<double>(now - start_).count();
      std::fprintf(stderr, "\r%s%s\033[K", label_, FormatProgress(done, total, elapsed).c_str());
      visible_ = true;
    }
    return !interrupted;
  }
  void Clear() {
    if (visible_) std::fputs("\r\033[K", stderr);
    visible_ = false;
  }

 private:
  bool terminal_ = ::isatty(STDERR_FILENO) == 1;
  const char* label_ = "";
  bool visible_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point shown_{};
};

}  // namespace

std::string CombineUsageText() {
  return "Usage:\n"
         "  quarnel-cli [--config FILE] combine PROJECT.qrnl [PROJECT.qrnl ...] OUTPUT [--force]\n"
         "              [--overviews] [--clip] [--min-zoom N] [--tile-size 256|512] [--palette]\n"
         "\n"
         "Puts finished tasks into one file; the OUTPUT's ending picks its kind:\n"
         "  .tif            one GeoTIFF in EPSG:3857\n"
         "  .mbtiles, .pmtiles, .gpkg, .sqlitedb\n"
         "                  a tile set of the tasks' zoom levels, the tiles' own bytes\n"
         "  .png, .jpg      one image with its world file, .prj and .aux.xml (one task)\n"
         "  a path ending in /\n"
         "                  a {z}/{x}/{y}.png (or .jpg) tile folder\n"
         "\n"
         "  --force         replace OUTPUT when it exists\n"
         "  --overviews     add overviews to a GeoTIFF\n"
         "  --clip          cut a GeoTIFF or image to the task's area outline\n"
         "  --min-zoom N    build a tile set's levels from the tasks' lowest zoom down to N\n"
         "  --tile-size 512 write 512-pixel tiles for high-density screens: each tile of the\n"
         "                  level above the tasks' is its four tiles side by side, the levels\n"
         "                  below (down to --min-zoom) are built from those\n"
         "  --palette       build lower levels from palette PNGs as palette PNGs of at most\n"
         "                  256 colours, as small as the tiles they come from\n"
         "  --config FILE   configuration whose Hosts.Attribution the tile set records\n"
         "\n"
         "A missing folder of OUTPUT is made. Exit status: 0 written, 1 written with bad\n"
         "tiles or the write failed, 2 refused, 130 interrupted.\n";
}

std::variant<CliCombineArguments, std::string> ParseCombineArguments(const std::vector<std::string>& words) {
  CliCombineArguments result;
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::string word = words[i];
    std::optional<std::string> value;
    if (const auto equals = word.find('='); word.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = word.substr(equals + 1);
      word.resize(equals);
    }
    const bool takesValue = word == "--min-zoom" || word == "--config" || word == "--tile-size";
    if (takesValue && !value) {
      if (i + 1 >= words.size()) return word + " needs a value";
      value = words[++i];
    }
    if (word == "--force" && !value) {
      result.force = true;
    } else if (word == "--overviews" && !value) {
      result.overviews = true;
    } else if (word == "--clip" && !value) {
      result.clip = true;
    } else if (word == "--min-zoom") {
      int zoom = -1;
      const auto [end, error] = std::from_chars(value->data(), value->data() + value->size(), zoom);
      if (value->empty() || error != std::errc() || end != value->data() + value->size() || zoom < 0 || zoom > 30)
        return "--min-zoom needs a zoom level from 0 to 30, not \"" + *value + "\"";
      result.minZoom = zoom;
    } else if (word == "--tile-size") {
      if (*value != "256" && *value != "512") return "--tile-size needs 256 or 512, not \"" + *value + "\"";
      result.tileSize = std::stoi(*value);
    } else if (word == "--palette" && !value) {
      result.palette = true;
    } else if (word == "--config") {
      result.configPath = *value;
    } else if (word.rfind("--", 0) == 0) {
      return "unknown combine option " + word;
    } else {
      paths.push_back(word);
    }
  }
  if (paths.size() < 2) return std::string("combine needs PROJECT.qrnl ... OUTPUT");
  result.outputPath = paths.back();
  paths.pop_back();
  result.projectFiles = std::move(paths);
  if (!OutputKindOf(result.outputPath))
    return "the output " + result.outputPath + " must end with " + OutputEndingsText();
  return result;
}

int RunCliCombine(const CliCombineArguments& arguments, const std::string& executableFolder) {
  // As a download does: a configuration named but missing is refused, not taken for empty.
  if (arguments.configPath && !std::filesystem::is_regular_file(*arguments.configPath)) {
    std::fprintf(stderr, "quarnel-cli: cannot open configuration file %s\n", arguments.configPath->c_str());
    return 2;
  }
  CombineRequest request =
      CombineRequestFor(arguments, BlankImagePathIn(executableFolder),
                        ConfigFilePath(executableFolder, arguments.configPath.value_or(std::string())),
                        &ZoomInMapTypeRange);
  ProgressDisplay progress;
  request.progress = [&](int64_t done, int64_t total) { return progress.Show(done, total); };
  request.stage = [&](CombineStage stage) { progress.Stage(stage); };
  request.report = [&](const std::string& line) {
    progress.Clear();
    std::printf("%s\n", line.c_str());
  };

  interrupted = false;
  const InterruptFlag flag;
  try {
    const CombineSummary summary = Combine(request);
    progress.Clear();
    std::fflush(stdout);
    const std::string text = CombineSummaryText(summary, arguments.outputPath, arguments.minZoom);
    std::fprintf(stderr, "quarnel-cli: %s\n", text.c_str());
    return summary.badTiles > 0 ? 1 : 0;
  } catch (const CombineCancelled& cancelled) {
    progress.Clear();
    std::fprintf(stderr, "quarnel-cli: %s\n", cancelled.what());
    return 130;
  } catch (const CombineWriteFailure& failure) {
    progress.Clear();
    std::fprintf(stderr, "quarnel-cli: %s\n", failure.what());
    return 1;
  } catch (const CombineError& refusal) {
    progress.Clear();
    std::fprintf(stderr, "quarnel-cli: %s\n", refusal.what());
    return 2;
  }
}
