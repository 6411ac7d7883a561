#pragma once

#include <cstdint>
#include <string>

// The one-line progress display on a terminal: "1200 of 10000 tiles,
// 85.3 tiles/s, 1:43 left". Rate and time left are shown once known.
std::string FormatProgress(int64_t done, int64_t total, double elapsedSeconds);
