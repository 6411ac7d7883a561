#pragma once

#include <cstdint>
#include <string>

// Limits that keep a hung or hostile server from hanging a worker or a Stop.
// Read from the configuration's "Network" section at every Start.
struct NetworkSettings {
  static constexpr const char* kDefaultUserAgent = "Mozilla/3.0 (compatible; Indy Library)";

  int32_t ConnectTimeout = 30;  // seconds
  int32_t ReadTimeout = 60;     // seconds without a single byte
  std::string UserAgent = kDefaultUserAgent;
  int32_t RepeatLimit = 5;      // immediate repeats after a reset or an early close
  int64_t MaxBodyBytes = int64_t{64} << 20;
  int32_t MaxRequestsPerSecond = 0;  // across all workers of a task; 0: no cap
  int32_t MaxRetryWait = 120;        // seconds, the longest wait a "429"/"503" answer gets
  std::string CaFile;                // PEM certificates trusted beside the system's; empty: none
};
