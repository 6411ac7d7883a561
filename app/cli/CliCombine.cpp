#include "CliCombine.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "AppPaths.h"
#include "Combine.h"
#include "MapTypeZoom.h"
#include "ProgressLine.h"

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
  bool Show(int64_t done, int64_t total) {
    if (!terminal_) return !interrupted;
    const auto now = std::chrono::steady_clock::now();
    if (now - shown_ >= std::chrono::milliseconds(250) || done == total) {
      shown_ = now;
      const double elapsed = std::chrono::duration<double>(now - start_).count();
      std::fprintf(stderr, "\r%s\033[K", FormatProgress(done, total, elapsed).c_str());
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
  bool visible_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point shown_{};
};

}  // namespace

std::variant<CliCombineArguments, std::string> ParseCombineArguments(const std::vector<std::string>& words) {
  CliCombineArguments result;
  std::vector<std::string> paths;
  for (const std::string& word : words) {
    if (word == "--force")
      result.force = true;
    else if (word == "--overviews")
      result.overviews = true;
    else if (word.rfind("--", 0) == 0)
      return "unknown combine option " + word;
    else
      paths.push_back(word);
  }
  if (paths.size() < 2) return std::string("combine needs PROJECT.qrnl ... OUTPUT");
  result.outputPath = paths.back();
  paths.pop_back();
  result.projectFiles = std::move(paths);
  if (!OutputKindOf(result.outputPath))
    return "the output " + result.outputPath + " must end with .tif, .tiff, .mbtiles, .png, .jpg or /";
  return result;
}

int RunCliCombine(const CliCombineArguments& arguments, const std::string& executableFolder) {
  CombineRequest request;
  request.projectFiles = arguments.projectFiles;
  request.outputPath = arguments.outputPath;
  request.blankImagePath = BlankImagePathIn(executableFolder);
  request.force = arguments.force;
  request.overviews = arguments.overviews;
  request.zoomAllowed = &ZoomInMapTypeRange;
  ProgressDisplay progress;
  request.progress = [&](int64_t done, int64_t total) { return progress.Show(done, total); };
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
    std::fprintf(stderr, "quarnel-cli: %lld tiles written to %s, %lld without data, %lld bad.\n",
                 static_cast<long long>(summary.dataTiles), arguments.outputPath.c_str(),
                 static_cast<long long>(summary.noDataTiles), static_cast<long long>(summary.badTiles));
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
