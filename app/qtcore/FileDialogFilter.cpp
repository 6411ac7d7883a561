#include "FileDialogFilter.h"

#include <vector>

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  while (true) {
    const auto end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

std::string QtPatterns(const std::string& patterns) {
  std::string joined;
  for (const std::string& pattern : Split(patterns, ';')) {
    if (pattern.empty()) continue;
    if (!joined.empty()) joined += ' ';
    joined += pattern;
  }
  return joined;
}

}  // namespace

std::string ToQtFileFilter(const std::string& filter) {
  if (filter.empty()) return {};
  const std::vector<std::string> parts = Split(filter, '|');
  std::string result;
  for (std::size_t i = 0; i < parts.size(); i += 2) {
    const std::string& label = parts[i];
    const std::string patterns = i + 1 < parts.size() ? QtPatterns(parts[i + 1]) : std::string();
    std::string entry;
    if (patterns.empty() || label.find('(') != std::string::npos)
      entry = label;
    else
      entry = label + " (" + patterns + ")";
    if (entry.empty()) continue;
    if (!result.empty()) result += ";;";
    result += entry;
  }
  return result;
}
