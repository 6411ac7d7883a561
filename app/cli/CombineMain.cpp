// "quarnel-cli combine": quarnel-cli hands its words after "combine" over
// to this program, so that only a combine pays for loading GDAL.

#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "AppPaths.h"
#include "CliCombine.h"
#include "ProgramInfo.h"
#include "ProgramMain.h"

static int Main(int argc, char** argv) {
  const std::vector<std::string> words(argv + 1, argv + argc);
  if (words.size() == 1 && words[0] == "--version") {
    std::printf("%s\n", VersionLine("quarnel-cli-combine").c_str());
    return 0;
  }
  for (const std::string& word : words) {
    if (word == "--help" || word == "-h") {
      std::fputs(CombineUsageText().c_str(), stdout);
      return 0;
    }
  }
  const auto combine = ParseCombineArguments(words);
  if (const auto* error = std::get_if<std::string>(&combine)) {
    std::fprintf(stderr, "quarnel-cli: %s\nTry 'quarnel-cli combine --help'.\n", error->c_str());
    return 2;
  }
  return RunCliCombine(std::get<CliCombineArguments>(combine), RunningExecutableFolder());
}

int main(int argc, char** argv) { return RunProgram("quarnel-cli-combine", [&] { return Main(argc, argv); }); }
