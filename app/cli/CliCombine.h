#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "CombineRequest.h"

// quarnel-cli combine PROJECT.qrnl [PROJECT.qrnl ...] OUTPUT [--force] [--overviews]
//                     [--clip] [--min-zoom N] [--tile-size 256|512] [--palette] [--config FILE]
struct CliCombineArguments : CombineChoices {
  std::optional<std::string> configPath;  // where Hosts.Attribution is read
};

// The usage of "quarnel-cli combine", for --help.
std::string CombineUsageText();

// words: everything after "combine". A string is the usage error.
std::variant<CliCombineArguments, std::string> ParseCombineArguments(const std::vector<std::string>& words);

// Exit status: 0 written, 1 written but some tiles were bad, or the write
// failed; 2 refused (nothing written); 130 interrupted (nothing written).
int RunCliCombine(const CliCombineArguments& arguments, const std::string& executableFolder);

