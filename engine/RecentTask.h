#pragma once

#include <string>

// The task most recently started in the main window, kept in the
// configuration (section Recent, key LastTask) so that the map viewer and the
// combiner, started without arguments, open it.

inline constexpr const char* kRecentSection = "Recent";
inline constexpr const char* kLastTaskKey = "LastTask";

// Records the project file's full path. A configuration that cannot be
// written costs only this convenience, so it never throws.
void RememberLastTask(const std::string& configPath, const std::string& projectFilePath);

// The recorded path, or empty when none is recorded or the file is gone.
std::string LastTask(const std::string& configPath);
