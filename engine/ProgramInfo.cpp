#include "ProgramInfo.h"

std::string VersionLine(const std::string& program) { return program + " " + kProjectVersion; }

std::optional<std::string> VersionOrHelp(const std::vector<std::string>& args, const std::string& program,
                                         const std::string& usage) {
  for (const std::string& arg : args) {
    if (arg == "--version") return VersionLine(program) + "\n";
    if (arg == "--help" || arg == "-h") return usage;
  }
  return std::nullopt;
}
