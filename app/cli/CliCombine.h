#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

// quarnel-cli combine PROJECT.qrnl [PROJECT.qrnl ...] OUTPUT [--force] [--overviews]
//                     [--clip] [--min-zoom N] [--config FILE]
struct CliCombineArguments {
  std::vector<std::string> projectFiles;
  std::string outputPath;
  bool force = false;
  bool overviews = false;
  bool clip = false;  // cut a GeoTIFF or image to the task's area
  std::optional<int> minZoom;
  std::optional<std::string> configPath;  // where Hosts.Attribution is read
};

// words: everything after "combine". A string is the usage error.
std::variant<CliCombineArguments, std::string> ParseCombineArguments(const std::vector<std::string>& words);

// Exit status: 0 written, 1 written but some tiles were bad, or the write
// failed; 2 refused (nothing written); 130 interrupted (nothing written).
int RunCliCombine(const CliCombineArguments& arguments, const std::string& executableFolder);

