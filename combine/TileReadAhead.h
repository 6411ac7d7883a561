#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TileImage.h"
#include "TileOrder.h"

// Reads tiles on a thread of its own, a bounded number ahead of the writer,
// so that opening and reading the task's files overlaps writing the output.
//
// walk runs on the reader thread and hands every tile path, in the order the
// writer will take them, to the visit it is given. Next gives them back in
// that order. prepare, when given, runs on the reader thread on every tile
// read (to decode it while the writer writes). Destroying the read-ahead
// stops the walk at its next tile and joins the thread, so a writer may
// throw at any point.

// Where a path's tile goes: its place, and how many files in a row are
// offered for that place (tasks that overlap), this one included.
struct TileSpot {
  PyramidTile place;
  int32_t candidates = 1;
};

class TileReadAhead {
 public:
  using Visit = std::function<void(const std::string& path, const TileSpot& spot)>;
  using Prepare = std::function<void(TileBytes& tile)>;
  using Read = std::function<void(const std::string& path, TileBytes& tile)>;
  // Reads every tile with ReadTile and this blank.
  TileReadAhead(const std::string& blank, std::function<void(const Visit&)> walk, Prepare prepare = {},
                std::size_t depth = 64);
  // Reads every tile with read (ReadVectorTile for a vector task).
  TileReadAhead(Read read, std::function<void(const Visit&)> walk, Prepare prepare = {}, std::size_t depth = 64);
  ~TileReadAhead();
  TileReadAhead(const TileReadAhead&) = delete;
  TileReadAhead& operator=(const TileReadAhead&) = delete;

  // The next tile of the walk into path and tile (their storage is swapped
  // with the reader's, not copied); false after the last one. Rethrows what
  // the walk threw, once the tiles before it are taken.
  bool Next(std::string& path, TileSpot& spot, TileBytes& tile);
  bool Next(std::string& path, TileBytes& tile) {
    TileSpot spot;
    return Next(path, spot, tile);
  }

 private:
  struct Slot {
    std::string path;
    TileSpot spot;
    TileBytes tile;
  };
  struct Stopped {};
  void Run(const std::function<void(const Visit&)>& walk);
  void Put(const std::string& path, const TileSpot& spot);

  const Read read_;
  const Prepare prepare_;
  std::vector<Slot> slots_;
  std::size_t head_ = 0, count_ = 0;  // head_ and the slot it names belong to the writer
  std::size_t tail_ = 0;              // the reader's alone
  bool finished_ = false, stop_ = false;
  bool readerWaits_ = false, writerWaits_ = false;
  std::exception_ptr failure_;
  std::mutex mutex_;
  std::condition_variable readerWake_, writerWake_;
  std::thread reader_;
};
