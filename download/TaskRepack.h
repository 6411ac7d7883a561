#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

// Moving a task's tiles between its folder (NAME/) and its store
// (NAME.mbtiles). The project file's record of the storage is what the
// resume and every reader follow, so the order of the steps is what keeps a
// task whole in one of its two forms whenever the repack is killed:
//
//   1. The task is locked against downloads and refreshes. What an earlier,
//      killed repack left is removed: its temporaries and whichever form the
//      record does not name. A file or folder that stands where the new form
//      goes, and no repack put there, is refused.
//   2. A marker (.NAME.repacking) says a repack is at work. The new form is written under a temporary name beside the old
//      (.NAME.repack.mbtiles, or the folder .NAME.repack/): every tile with
//      data, every placeholder, and the validators a refresh asks with
//      (NAME_fresh.txt's lines become the store's table, or the other way).
//   3. It is checked against the old: every tile present, its bytes equal,
//      and nothing more.
//   4. It is renamed into place. The record still names the old form.
//   5. The project file's record is swapped, in one atomic rewrite: from
//      here the new form is the task.
//   6. The old form is removed, then the marker.
//
// A repack to the form the record already names finishes what a killed one
// left, and changes nothing else.

class RepackError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct RepackRequest {
  std::string projectPath;
  bool toStore = true;
  std::string blank;                      // the placeholder image's bytes
  const std::atomic<bool>* stop = nullptr;  // before the swap, a stop leaves the old form alone
  std::function<void(int64_t done, int64_t total)> progress;  // now and then, while tiles are written
};

struct RepackResult {
  int64_t tiles = 0;         // with data
  int64_t placeholders = 0;
  bool alreadyThere = false;     // the record named that form already
  bool removedLeftover = false;  // an earlier repack's remains were removed
};

// Throws RepackError naming what refused: the project file, a task being
// downloaded or refreshed, a store that is damaged or no store, a tile that
// cannot be read, a check that finds a tile missing or changed, a stop.
RepackResult RepackTask(const RepackRequest& request);

// "Repacked the task into one file: 1200 tiles, 3 placeholders." and the like.
std::string RepackSummary(const RepackResult& result, bool toStore);
