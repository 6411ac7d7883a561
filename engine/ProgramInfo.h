#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ProjectVersion.h"

// "PROGRAM VERSION", the first line of every program's --version.
std::string VersionLine(const std::string& program);

// A window program's answer to --version or --help (whichever comes first
// among args, the program name excluded), given before the toolkit starts so
// that neither needs a display; nullopt when the program is to start.
std::optional<std::string> VersionOrHelp(const std::vector<std::string>& args, const std::string& program,
                                         const std::string& usage);
