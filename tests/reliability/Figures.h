#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

// Every reliability test states what it measured as one line
//   figure: <name> <key>=<value> ...
// printed and appended to the suite's figures file, which the last test of
// the suite prints as a summary.

using FigureValues = std::vector<std::pair<std::string, std::string>>;

std::string FigureLine(const std::string& name, const FigureValues& values);
void ReportFigure(const std::string& name, const FigureValues& values);

template <typename T>
std::pair<std::string, std::string> Fig(std::string key, const T& value) {
  if constexpr (std::is_convertible_v<T, std::string>) {
    return {std::move(key), std::string(value)};
  } else {
    return {std::move(key), std::to_string(value)};
  }
}
