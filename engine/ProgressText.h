#pragma once

#include <cstdint>
#include <string>

// The one-line progress display on a terminal: "1200 of 10000 tiles,
// 85.3 tiles/s, 1:43 left". Rate and time left are shown once known; the
// rate counts only what this run did (done less doneBefore).
std::string FormatProgress(int64_t done, int64_t total, double elapsedSeconds, int64_t doneBefore = 0);
// The window's line, with the failed tiles: "1200 of 10000 tiles, 3 failed,
// 85.3 tiles/s, 1:43 left".
std::string FormatProgress(int64_t done, int64_t total, int64_t failed, double elapsedSeconds,
                           int64_t doneBefore = 0);
