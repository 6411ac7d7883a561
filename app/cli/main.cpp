#include <QCoreApplication>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "AppPaths.h"
#include "AreaImport.h"
#include "CliArguments.h"
#include "CliPlatform.h"
#include "CliRepack.h"
#include "CliServerTools.h"
#include "CliSources.h"
#include "CliTaskRun.h"
#include "CliZoomRange.h"
#include "Convert.h"
#include "Form4.h"
#include "ProgramInfo.h"
#include "ProgramMain.h"
#include "StdoutLines.h"
#include "TileHttpClient.h"

namespace {

constexpr int kUsageStatus = 2;

int UsageError(const std::string& message) {
  std::fprintf(stderr, "quarnel-cli: %s\nTry 'quarnel-cli --help'.\n", message.c_str());
  return kUsageStatus;
}

int Convert(CliPlatform& platform, const CliArguments& arguments) {
  TfrmConvert converter(platform);
  converter.Edit1 = arguments.degrees;
  converter.Edit2 = arguments.minutes;
  converter.Edit3 = arguments.seconds;
  platform.RunGuarded([&] { converter.Button1Click(); });
  if (platform.MessagesShown() > 0) return kUsageStatus;
  if (platform.ErrorsShown() > 0) return 1;
  std::printf("%s\n", converter.Edit4.c_str());
  return 0;
}

class RedownloadOutput : public TForm4View {
 public:
  void Memo1Appended(const std::string& line) override { out.Append(line); }
  StdoutLines out{STDOUT_FILENO};
};

int Redownload(CliPlatform& platform, const CliArguments& arguments) {
  RedownloadOutput output;
  TForm4 window(platform, arguments.configPath.value_or(""));
  window.SetView(&output);
  platform.SetBeforeStderr([&] { output.out.Flush(); });
  RedownloadResult result;
  platform.RunGuarded([&] { result = window.RedownloadList(arguments.failedListPath); });
  output.out.Flush();
  platform.SetBeforeStderr(nullptr);
  if (result.notAList) return 2;
  // A list that could not be read or used has said so already.
  if (!(result.errorMessage && result.entries == 0)) platform.WriteStderr(RedownloadSummary(result));
  const bool clean = platform.MessagesShown() == 0 && platform.ErrorsShown() == 0 && result.failed == 0 &&
                     result.skipped == 0 && !result.banned && !result.errorMessage;
  return clean ? 0 : 1;
}

// Why path names no regular file ("No such file or directory"), or nullopt.
std::optional<std::string> NoRegularFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::string(std::strerror(errno));
  if (!S_ISREG(info.st_mode)) return std::string("not a regular file");
  return std::nullopt;
}

std::vector<std::string> ArgumentsOf(int argc, char* argv[]) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

}  // namespace

static int Main(int argc, char* argv[]) {
  // A reader that goes away must not kill a task in the middle of a save.
  ::signal(SIGPIPE, SIG_IGN);

  if (argc < 2) {
    std::fputs(CliUsageText().c_str(), stderr);
    return kUsageStatus;
  }
  const auto parsed = ParseCliArguments(ArgumentsOf(argc, argv));
  if (const auto* error = std::get_if<CliUsageError>(&parsed)) return UsageError(error->message);
  const CliArguments& arguments = std::get<CliArguments>(parsed);

  switch (arguments.mode) {
    case CliArguments::Mode::Help:
      std::fputs(CliUsageText().c_str(), stdout);
      return 0;
    case CliArguments::Mode::Version:
      std::printf("%s\n", VersionLine("quarnel-cli").c_str());
      return 0;
    default:
      break;
  }
  if (arguments.mode == CliArguments::Mode::Combine) {
    const std::string program = RunningExecutableFolder() + kCombineProgram;
    std::vector<char*> words{const_cast<char*>(program.c_str())};
    const std::string configOption = "--config=" + arguments.configPath.value_or("");
    if (arguments.configPath) words.push_back(const_cast<char*>(configOption.c_str()));
    for (const std::string& word : arguments.combineWords) words.push_back(const_cast<char*>(word.c_str()));
    words.push_back(nullptr);
    ::execv(program.c_str(), words.data());
    std::fprintf(stderr, "quarnel-cli: cannot run %s: %s\n", program.c_str(), std::strerror(errno));
    return kUsageStatus;
  }
  // A missing file would silently mean the defaults and the public tile host.
  if (const auto problem = arguments.configPath ? NoRegularFile(*arguments.configPath) : std::nullopt)
    return UsageError("cannot open configuration file " + *arguments.configPath + ": " + *problem);
  if (const auto problem = arguments.projectToOpen ? NoRegularFile(*arguments.projectToOpen) : std::nullopt)
    return UsageError("cannot open project file " + *arguments.projectToOpen + ": " + *problem);
  if (arguments.mode == CliArguments::Mode::Sources) {
    TileHttpClient::GlobalInit();
    return RunSources(arguments);
  }
  // Imported once for every level, before anything is written.
  std::shared_ptr<const Area> area;
  if (arguments.areaFile) {
    try {
      area = std::make_shared<const Area>(ImportAreaFileThrough(
          RunningExecutableFolder() + kAreaImportProgram, *arguments.areaFile, arguments.bufferMetres));
    } catch (const AreaError& refusal) {
      std::fprintf(stderr, "quarnel-cli: %s\n", refusal.what());
      return kUsageStatus;
    } catch (const AreaImportError& failure) {
      std::fprintf(stderr, "quarnel-cli: %s\n", failure.what());
      return 1;
    }
  }

  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName(kApplicationTitle);
  TileHttpClient::GlobalInit();
  CliPlatform platform;

  switch (arguments.mode) {
    case CliArguments::Mode::Convert:
      return Convert(platform, arguments);
    case CliArguments::Mode::Redownload:
      return Redownload(platform, arguments);
    case CliArguments::Mode::Refresh:
      return RunRefresh(platform, arguments);
    case CliArguments::Mode::Repack:
      return RunRepack(platform, arguments);
    default:
      break;
  }
  if (arguments.dryRun) return RunDryRun(platform, arguments, area);
  if (!arguments.zoomRange) {
    CliTaskRun run(platform, arguments, area);
    return run.Run();
  }
  const auto levels = ZoomLevelRuns(arguments, MapsTypeForRun(arguments));
  if (const auto* error = std::get_if<std::string>(&levels)) return UsageError(*error);
  // Each level is an ordinary run with a fresh platform; a refusal or an
  // interrupt ends the range, failed tiles only mark the exit status.
  int status = 0;
  for (const CliArguments& level : std::get<std::vector<CliArguments>>(levels)) {
    std::fprintf(stderr, "quarnel-cli: zoom %d: %s\n", *level.zoom, level.taskName->c_str());
    CliPlatform levelPlatform;
    CliTaskRun run(levelPlatform, level, area);
    const int levelStatus = run.Run();
    if (levelStatus != CliTaskRun::kDone && levelStatus != CliTaskRun::kFailed) return levelStatus;
    status = std::max(status, levelStatus);
  }
  return status;
}

int main(int argc, char* argv[]) { return RunProgram("quarnel-cli", [&] { return Main(argc, argv); }); }
