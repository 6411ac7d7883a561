#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "TileFreshness.h"
#include "UniqueFd.h"

// Appends lines to a task's NAME_fresh.txt without a worker ever waiting for
// the disk. Add formats the line and puts it in memory under a short lock; a
// thread of the writer's own appends what has gathered once a second (sooner
// when much has) in one write, opening the file for the first lines. At most
// kMaxPendingBytes wait: beyond that a line is dropped and counted, which
// costs nothing but a whole fetch at the next refresh. A file whose last line
// a crash cut short gets its line end first, so the cut line stays one line
// that the reader passes over.
class FreshWriter {
 public:
  static constexpr std::size_t kWakeBytes = std::size_t{256} << 10;
  static constexpr std::size_t kMaxPendingBytes = std::size_t{32} << 20;

  explicit FreshWriter(std::string path);
  // Writes what is left.
  ~FreshWriter();
  FreshWriter(const FreshWriter&) = delete;
  FreshWriter& operator=(const FreshWriter&) = delete;

  void Add(const FreshRecord& record);
  void AddLine(const std::string& line);
  // Returns once every line handed in so far is written (or dropped).
  void Flush();

  const std::string& Path() const { return path_; }
  int64_t Dropped() const;
  // The first write that failed; nothing is written after it.
  std::optional<std::string> Problem() const;

 private:
  void Run();
  bool Open();
  void Drain();
  void WriteAll(const std::string& bytes);

  std::string path_;
  UniqueFd fd_;
  std::mutex writeMutex_;  // one drain at a time, so lines keep their order
  mutable std::mutex mutex_;  // guards everything below
  std::condition_variable wake_;
  std::string pending_;
  int64_t dropped_ = 0;
  std::optional<std::string> problem_;
  bool stopping_ = false;
  std::thread thread_;
};
