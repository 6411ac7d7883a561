#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "Ftl.h"

class DownloadTask;

// Bringing a task's saved tiles up to date without fetching every one again.
//
// The life of a refresh: it holds the task against downloads and other
// refreshes (TaskLock), then rewrites NAME_fresh.txt with only the newest
// line of each tile, reading it from its end (one bit per cell of the
// rectangle says which tiles it has met; an area's tiles lie anywhere in
// it). A refresh that stopped before it had seen every tile left its start
// behind ("R" without "E"): this one continues it, judging tiles as of that
// start and by the age it was asked for, so what it already asked is not
// asked again. Then it writes its own start and walks the tiles
// with a line, and after them the saved tiles without one (their file's time
// stands for their last check). A tile that is due (RefreshDue) and on disk
// (blank placeholders aside) goes to a queue that the task's thread count of
// fetchers empties, each on the workers' road (TileFetcher: the rate cap,
// repeats, waits, the image check; FailureWatch: the stop rules) with
// If-None-Match / If-Modified-Since:
//
//   304          the file stays; the check is written down
//   200          the body, checked whole, replaces the file atomically (an
//                identical body leaves it and counts as unchanged); a body
//                that is no whole image is a failure, whatever the settings
//   404, failure the file stays; the tile is counted and asked again next time
//   ban          the refresh stops
//
// A stop (Ctrl+C, Stop, a ban, the failure watch) lets each fetcher finish
// the tile in hand. Only a refresh that has seen every tile writes its "E".
//
// A task kept in one file is refreshed the same way, with the store in the
// files' place: its validators table holds the checks (no NAME_fresh.txt),
// its metadata the "R" of a refresh that stopped (cleared by one that ends),
// its writer's lock holds the task, and a replaced tile is written into it.
struct RefreshRequest {
  const DownloadTask* task = nullptr;
  ProxyConfig proxy;
  std::optional<int32_t> olderThanDays;
  std::string blankImagePath;  // a tile with these bytes is a placeholder, not a saved tile
};

struct RefreshCounts {
  int64_t due = 0;  // found so far
  int64_t unchanged = 0;
  int64_t replaced = 0;
  int64_t failed = 0;  // kept on failure, 404 included
  int64_t Checked() const { return unchanged + replaced + failed; }
};

struct RefreshResult {
  RefreshCounts counts;
  bool finished = false;   // every due tile was asked for
  bool continued = false;  // it took up a refresh that had stopped
  std::string stopReason;  // a ban or the failure watch stopped it
  std::optional<std::string> error;  // it could not begin: nothing was asked
};

struct RefreshControl {
  // Looked at before each tile and in every wait. The refresh raises it
  // itself when a ban or the failure watch stops it.
  std::atomic<bool>* stop = nullptr;
  // A replaced or failed tile; called from the fetchers, one at a time.
  std::function<void(const std::string& line)> line;
  // The counts, at most a few times a second, and once at the end.
  std::function<void(const RefreshCounts& counts)> progress;
};

RefreshResult RefreshTask(const RefreshRequest& request, const RefreshControl& control);

// "Refresh: 3 unchanged, 2 replaced, 1 kept on failure." and, for one that
// stopped, that the next refresh continues it.
std::string RefreshSummary(const RefreshResult& result);
