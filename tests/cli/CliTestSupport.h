#pragma once

#include <string>

#include "TestFiles.h"
#include "TextFormat.h"

namespace clitest {

// The value of the first "key=" line of an INI text; empty when absent.
inline std::string IniValue(const std::string& text, const std::string& key) {
  for (const std::string& line : SplitTextLines(text))
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  return {};
}

}  // namespace clitest
