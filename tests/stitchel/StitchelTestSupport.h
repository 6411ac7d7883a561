#pragma once

#include <string>

#include "StitchelLogic.h"

// The source tree's resources folder holds blankimg/ as the executable's folder does.
inline std::string ResourcesFolder() { return std::string(QUARNEL_SOURCE_DIR) + "/resources/"; }

inline CombineRequest StitchelRequestFor(const std::string& project, const std::string& output) {
  return StitchelRequest({.projectFiles = {project}, .outputPath = output}, ResourcesFolder(), "");
}
