#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

// Requests per target as a scripted server's handler sees them. The handler
// runs on several connection threads at once, hence the lock.
class RequestCounter {
 public:
  // Counts one request and returns how many came before it for that target.
  int Next(const std::string& target) {
    std::lock_guard lock(mutex_);
    ++total_;
    return counts_[target]++;
  }
  std::map<std::string, int> Counts() const {
    std::lock_guard lock(mutex_);
    return counts_;
  }
  int64_t Total() const {
    std::lock_guard lock(mutex_);
    return total_;
  }
  int Max() const {
    std::lock_guard lock(mutex_);
    int most = 0;
    for (const auto& [target, count] : counts_) most = count > most ? count : most;
    return most;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, int> counts_;
  int64_t total_ = 0;
};

// A seeded, order-independent choice for one request: the same seed, target
// and attempt always give the same number, whichever thread asks first.
inline uint64_t SeededDraw(uint64_t seed, std::string_view target, int attempt) {
  uint64_t h = seed ^ 0x9E3779B97F4A7C15ull;
  for (unsigned char c : target) h = (h ^ c) * 0x100000001B3ull;
  h ^= static_cast<uint64_t>(attempt) * 0xBF58476D1CE4E5B9ull;
  h ^= h >> 31;
  h *= 0x94D049BB133111EBull;
  h ^= h >> 29;
  return h;
}
