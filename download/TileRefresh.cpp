#include "TileRefresh.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "AtomicFile.h"
#include "FailureWatch.h"
#include "FreshWriter.h"
#include "RequestPacer.h"
#include "TaskLock.h"
#include "TaskTiles.h"
#include "TileBody.h"
#include "TileFetch.h"
#include "TileHttpClient.h"
#include "TileStore.h"
#include "UniqueFd.h"
#include "Unitclasstask.h"

namespace {

constexpr std::size_t kPiece = std::size_t{64} << 10;
constexpr std::size_t kQueuedTiles = 256;
constexpr auto kProgressEvery = std::chrono::milliseconds(250);

// The cells of the task's rectangle numbered column by column from 0, one
// bit each. A task over an area numbers its rectangle too: only the tiles
// inside are its own, but they lie anywhere in it.
class TileSet {
 public:
  explicit TileSet(const DownloadTask& task)
      : inside_(task.Inside.get()), minX_(task.MinX), minY_(task.MinY),
        height_(std::max<int64_t>(int64_t{task.MaxY} - task.MinY + 1, 0)),
        total_(std::max<int64_t>(int64_t{task.MaxX} - task.MinX + 1, 0) * height_),
        bits_(static_cast<std::size_t>((total_ + 63) / 64)) {}

  std::optional<int64_t> Number(int32_t x, int32_t y) const {
    const int64_t column = int64_t{x} - minX_, row = int64_t{y} - minY_;
    if (column < 0 || row < 0 || row >= height_ || column * height_ + row >= total_) return std::nullopt;
    return column * height_ + row;
  }
  bool Has(int64_t number) const { return (bits_[Word(number)] >> (number % 64)) & 1; }
  void Add(int64_t number) { bits_[Word(number)] |= uint64_t{1} << (number % 64); }
  // Whether the task fetches this tile of its rectangle.
  bool Owns(int32_t x, int32_t y) const { return !inside_ || inside_->Contains(x, y); }

  // Each tile of the task in the walk's order, while keepGoing says so.
  template <typename Visit, typename KeepGoing>
  void ForEachTile(Visit visit, KeepGoing keepGoing) const {
    if (inside_) {
      struct Stopped {};
      try {
        inside_->ForEachRun([&](int32_t x, int32_t firstY, int32_t lastY) {
          for (int64_t y = firstY; y <= lastY; ++y) {
            if (!keepGoing()) throw Stopped{};
            visit(x, static_cast<int32_t>(y));
          }
        });
      } catch (const Stopped&) {
      }
      return;
    }
    for (int64_t number = 0; number < total_ && keepGoing(); ++number)
      visit(static_cast<int32_t>(minX_ + number / height_), static_cast<int32_t>(minY_ + number % height_));
  }

 private:
  static std::size_t Word(int64_t number) { return static_cast<std::size_t>(number / 64); }
  const TileSelection* inside_;
  int64_t minX_, minY_, height_, total_;
  std::vector<uint64_t> bits_;
};

void ReadAt(int fd, char* into, std::size_t count, off_t at, const std::string& path) {
  while (count > 0) {
    const ssize_t n = ::pread(fd, into, count, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw FileWriteError("Cannot read file " + path + ": " + std::strerror(n < 0 ? errno : EIO));
    into += n;
    count -= static_cast<std::size_t>(n);
    at += n;
  }
}

// What the newest lines of the file said, now that it holds only them.
struct Compacted {
  std::optional<int64_t> unfinishedStart;
  std::optional<int32_t> unfinishedDays;  // the age that refresh was asked for
  std::size_t bytes = 0;
  std::size_t tooLong = 0;  // lines no writer writes, dropped
};

// Rewrites the file with the newest line of each tile of the range, marking
// those tiles in seen.
Compacted CompactFreshFile(const std::string& path, TileSet& seen) {
  Compacted compacted;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 && errno == ENOENT) return compacted;
  AtomicFileWriter out(path, Durability::ProcessCrash);
  bool markerSeen = false;
  compacted.tooLong = ReadLinesNewestFirst(path, [&](std::string_view line) {
    const std::optional<FreshLine> parsed = ParseFreshLine(line);
    if (!parsed) return;
    if (parsed->kind != FreshLine::Kind::Tile) {
      if (!markerSeen && parsed->kind == FreshLine::Kind::RefreshStarted) {
        compacted.unfinishedStart = parsed->start;
        compacted.unfinishedDays = parsed->olderThanDays;
      }
      markerSeen = true;
      return;
    }
    const std::optional<int64_t> number = seen.Number(parsed->record.x, parsed->record.y);
    if (!number || seen.Has(*number)) return;
    seen.Add(*number);
    out.Append(line);
    out.Append("\n");
    compacted.bytes += line.size() + 1;
  });
  out.Commit();
  return compacted;
}

// Each whole line of the first size bytes of a file, in order.
template <typename Visit>
void ReadLinesInOrder(const std::string& path, std::size_t size, Visit visit) {
  if (size == 0) return;
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) throw FileWriteError("Cannot open file " + path + ": " + std::strerror(errno));
  std::string pending, piece(kPiece, '\0');
  for (std::size_t at = 0; at < size;) {
    const std::size_t count = std::min(kPiece, size - at);
    ReadAt(file.Get(), piece.data(), count, static_cast<off_t>(at), path);
    pending.append(piece, 0, count);
    at += count;
    std::size_t start = 0;
    for (std::size_t lf; (lf = pending.find('\n', start)) != std::string::npos; start = lf + 1)
      visit(std::string_view(pending).substr(start, lf - start));
    pending.erase(0, start);
  }
}

struct Job {
  int32_t x = 0;
  int32_t y = 0;
  TileFreshness known;
};

// Tiles waiting for a fetcher; the producer waits while it is full.
class JobQueue {
 public:
  explicit JobQueue(const std::atomic<bool>& stop) : stop_(stop) {}
  // Waits while the queue is full, unless the refresh is stopping.
  void Push(Job job) {
    std::unique_lock lock(mutex_);
    while (jobs_.size() >= kQueuedTiles && !stop_) changed_.wait_for(lock, std::chrono::milliseconds(100));
    jobs_.push_back(std::move(job));
    changed_.notify_all();
  }
  std::optional<Job> Pop() {
    std::unique_lock lock(mutex_);
    while (jobs_.empty() && !closed_) changed_.wait(lock);
    if (jobs_.empty()) return std::nullopt;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    changed_.notify_all();
    return job;
  }
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }

 private:
  const std::atomic<bool>& stop_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;
  bool closed_ = false;
};

std::string TileBytes(const std::string& path) {
  try {
    return ReadWholeFile(path);
  } catch (const std::exception&) {
    return {};
  }
}

// What a refresh already knows of the tiles: each checked tile's record, in
// the order written (a later one replaces an earlier).
using KnownChecks = std::function<void(const std::function<void(const FreshRecord&)>& visit)>;

class Refresher {
 public:
  // tiles is used by one thread at a time (tilesMutex_); checked writes a check down.
  Refresher(const RefreshRequest& request, const RefreshControl& control, std::atomic<bool>& stop, TaskTiles& tiles,
            std::function<void(const FreshRecord&)> checked)
      : request_(request), task_(*request.task), control_(control), stop_(stop), tiles_(tiles),
        checked_(std::move(checked)), queue_(stop), pacer_(task_.Parameters.Network.MaxRequestsPerSecond),
        watch_(task_.Parameters.Network.StopAfterFailures, [this](const std::string& reason) { StopFor(reason); }) {}

  void Run(const KnownChecks& known, TileSet& seen, int64_t reference, bool continuing,
           std::optional<int32_t> olderThanDays) {
    continuing_ = continuing;
    olderThanDays_ = olderThanDays;
    const int32_t threads = std::clamp(task_.Parameters.ThreadCount, 1, kMaxWorkers);
    std::vector<std::thread> fetchers;
    for (int32_t i = 0; i < threads; ++i) fetchers.emplace_back([this] { Fetch(); });
    FindDueTiles(known, seen, reference);
    queue_.Close();
    for (std::thread& fetcher : fetchers) fetcher.join();
    Progress(true);
  }

  RefreshCounts Counts() const {
    std::lock_guard lock(mutex_);
    return counts_;
  }
  std::string StopReason() const {
    std::lock_guard lock(mutex_);
    return stopReason_;
  }

 private:
  // A saved tile (placeholders aside) and when it was saved, where that is
  // known: a file's time; 0 in a store, whose every fetch writes a check.
  std::optional<int64_t> SavedTileTime(int32_t x, int32_t y) const {
    std::lock_guard lock(tilesMutex_);
    if (tiles_.Probe(x, y) != SavedTile::Data) return std::nullopt;
    return tiles_.SavedAt(x, y).value_or(0);
  }

  void Offer(int32_t x, int32_t y, int64_t checked, const TileFreshness& known, int64_t reference) {
    if (!RefreshDue(checked, known.expires, reference, olderThanDays_, continuing_)) return;
    if (!SavedTileTime(x, y)) return;
    {
      std::lock_guard lock(mutex_);
      ++counts_.due;
    }
    queue_.Push({x, y, known});
  }

  void FindDueTiles(const KnownChecks& known, const TileSet& seen, int64_t reference) {
    known([&](const FreshRecord& record) {
      if (stop_ || !seen.Owns(record.x, record.y)) return;
      Offer(record.x, record.y, record.checked, record.freshness, reference);
    });
    // The saved tiles no check names: their file's time is their last check.
    seen.ForEachTile(
        [&](int32_t x, int32_t y) {
          if (seen.Has(*seen.Number(x, y))) return;
          const std::optional<int64_t> saved = SavedTileTime(x, y);
          if (saved) Offer(x, y, *saved, {}, reference);
        },
        [this] { return !stop_; });
  }

  void Fetch() {
    TileHttpClient client(task_.Parameters.Network);
    if (const std::optional<std::string> problem = ApplyProxy(request_.proxy, client)) {
      StopFor(*problem);
      return;
    }
    TileFetcher fetcher(client, task_.Parameters.Network, &pacer_, stop_);
    std::string body;
    while (std::optional<Job> job = queue_.Pop()) {
      if (stop_) continue;  // empty the queue so the producer is never left waiting
      AskAgain(fetcher, *job, body);
    }
  }

  void AskAgain(TileFetcher& fetcher, const Job& job, std::string& body) {
    const std::string url = task_.TileUrl(job.x, job.y);
    const TileFetchResult result = fetcher.FetchIfChanged(url, job.known.validators, body);
    const int64_t now = NowMilliseconds();
    switch (result.status) {
      case TileFetchResult::Status::Abandoned:
        return;
      case TileFetchResult::Status::NotModified: {
        // A 304 need not repeat the validators: what it leaves out stays as it was.
        TileFreshness fresh = result.freshness;
        if (fresh.validators.etag.empty()) fresh.validators.etag = job.known.validators.etag;
        if (fresh.validators.lastModified.empty()) fresh.validators.lastModified = job.known.validators.lastModified;
        Checked({job.x, job.y, now, fresh});
        Count(&RefreshCounts::unchanged);
        watch_.Saved();
        return;
      }
      case TileFetchResult::Status::Fetched:
        // A saved tile is never given up for a body that is no image, whatever the settings say.
        if (const std::optional<std::string_view> problem = TileBodyProblem(body)) {
          Fail(FetchOutcome::OtherFailure, std::string(*problem), url);
          return;
        }
        Replace(job, url, body, result.freshness, now);
        return;
      case TileFetchResult::Status::Failed:
        Fail(result.outcome, result.message, url);
        return;
    }
  }

  void Fail(FetchOutcome outcome, const std::string& message, const std::string& url) {
    Count(&RefreshCounts::failed);
    Line(message + "->" + url);
    watch_.Failed(outcome, message, url);
    if (outcome == FetchOutcome::Banned) StopFor(kBanText);
  }

  void Replace(const Job& job, const std::string& url, const std::string& body, const TileFreshness& fresh,
               int64_t now) {
    std::unique_lock tilesLock(tilesMutex_);
    std::string saved, problem;
    const std::string name = tiles_.NameOf(job.x, job.y);
    const bool same = tiles_.Read(job.x, job.y, saved, problem) == SavedTile::Data && saved == body;
    if (same) {
      tilesLock.unlock();
      Count(&RefreshCounts::unchanged);
    } else {
      try {
        tiles_.Write(job.x, job.y, body);
        tilesLock.unlock();
      } catch (const std::exception& error) {
        tilesLock.unlock();
        Count(&RefreshCounts::failed);
        Line(std::string(error.what()) + "->" + url);
        watch_.Failed(FetchOutcome::OtherFailure, error.what(), url);
        return;
      }
      Count(&RefreshCounts::replaced);
      Line(name + ": replaced");
    }
    Checked({job.x, job.y, now, fresh});
    watch_.Saved();
  }

  // Under the tiles' lock: a store writes its checks down on the same connection.
  void Checked(const FreshRecord& record) {
    std::lock_guard lock(tilesMutex_);
    checked_(record);
  }

  void Count(int64_t RefreshCounts::*counter) {
    {
      std::lock_guard lock(mutex_);
      ++(counts_.*counter);
    }
    Progress(false);
  }

  void Line(const std::string& line) {
    std::lock_guard lock(lineMutex_);
    if (control_.line) control_.line(line);
  }

  void Progress(bool last) {
    if (!control_.progress) return;
    RefreshCounts counts;
    {
      std::lock_guard lock(mutex_);
      const auto now = std::chrono::steady_clock::now();
      if (!last && now - lastProgress_ < kProgressEvery) return;
      lastProgress_ = now;
      counts = counts_;
    }
    std::lock_guard lock(lineMutex_);
    control_.progress(counts);
  }

  void StopFor(const std::string& reason) {
    {
      std::lock_guard lock(mutex_);
      if (!stopReason_.empty()) return;
      stopReason_ = reason;
    }
    stop_ = true;
    Line(reason);
  }

  const RefreshRequest& request_;
  const DownloadTask& task_;
  const RefreshControl& control_;
  std::atomic<bool>& stop_;
  TaskTiles& tiles_;
  mutable std::mutex tilesMutex_;
  const std::function<void(const FreshRecord&)> checked_;
  JobQueue queue_;
  RequestPacer pacer_;
  FailureWatch watch_;
  bool continuing_ = false;
  std::optional<int32_t> olderThanDays_;
  mutable std::mutex mutex_;  // guards the counts, the reason and the progress clock
  std::mutex lineMutex_;      // one report at a time
  RefreshCounts counts_;
  std::string stopReason_;
  std::chrono::steady_clock::time_point lastProgress_{};
};

std::string TaskNameOf(const DownloadTask& task) {
  std::string base = task.TileFolder;
  while (!base.empty() && base.back() == '/') base.pop_back();
  const std::size_t slash = base.rfind('/');
  return slash == std::string::npos ? base : base.substr(slash + 1);
}

// A store keeps a stopped refresh's "R" marker in its metadata until one ends.
constexpr const char* kRefreshStartedKey = "quarnel_refresh_started";

RefreshResult RefreshFolder(const RefreshRequest& request, const RefreshControl& control, std::atomic<bool>& stop,
                            const std::string& blank) {
  RefreshResult result;
  const DownloadTask& task = *request.task;
  const TaskLock lock(task.TileFolder);
  if (!lock.Held()) {
    result.error = "The task " + TaskNameOf(task) + " is " + lock.Refusal() + ": refresh it once that has ended.";
    return result;
  }
  const std::string freshPath = FreshFilePathForTileFolder(task.TileFolder);
  TileSet seen(task);
  Compacted compacted;
  std::unique_ptr<FreshWriter> writer;
  try {
    compacted = CompactFreshFile(freshPath, seen);
    writer = std::make_unique<FreshWriter>(freshPath);
  } catch (const std::exception& error) {
    result.error = error.what();
    return result;
  }
  if (compacted.tooLong > 0 && control.line) {
    control.line("Dropped " + std::to_string(compacted.tooLong) +
                 (compacted.tooLong == 1 ? " line" : " lines") + " longer than " +
                 std::to_string(kLongestFreshLine >> 10) + " KiB from " + freshPath + ".");
  }
  const int64_t reference = compacted.unfinishedStart.value_or(NowMilliseconds());
  result.continued = compacted.unfinishedStart.has_value();
  // A refresh taken up judges by the age it was started with, unless another is asked now.
  const std::optional<int32_t> olderThanDays =
      request.olderThanDays ? request.olderThanDays : compacted.unfinishedDays;
  writer->AddLine(RefreshMarkerLine('R', reference, olderThanDays));

  const auto tiles = OpenFolderTiles(task, blank);
  Refresher refresher(request, control, stop, *tiles, [&](const FreshRecord& record) { writer->Add(record); });
  const KnownChecks known = [&](const std::function<void(const FreshRecord&)>& visit) {
    ReadLinesInOrder(freshPath, compacted.bytes, [&](std::string_view line) {
      const std::optional<FreshLine> parsed = ParseFreshLine(line);
      if (parsed && parsed->kind == FreshLine::Kind::Tile) visit(parsed->record);
    });
  };
  try {
    refresher.Run(known, seen, reference, result.continued, olderThanDays);
  } catch (const std::exception& error) {
    result.error = error.what();
  }
  result.counts = refresher.Counts();
  result.stopReason = refresher.StopReason();
  result.finished = !stop && !result.error;
  if (result.finished) writer->AddLine(RefreshMarkerLine('E', reference));
  writer->Flush();
  if (const std::optional<std::string> problem = writer->Problem(); problem && !result.error) result.error = problem;
  return result;
}

// The same over a task kept in one file: the checks live in the store's
// validators table, the tiles fetched anew go into the store, and the
// store's writer lock holds the task against downloads. The checks already
// there are walked on a reading connection of their own.
RefreshResult RefreshStore(const RefreshRequest& request, const RefreshControl& control, std::atomic<bool>& stop,
                           const std::string& blank) {
  RefreshResult result;
  const DownloadTask& task = *request.task;
  std::unique_ptr<TaskTiles> tiles;
  std::unique_ptr<TileStore> reading;
  try {
    tiles = OpenTaskTiles(task, blank, TilesAccess::Write);
    reading = TileStore::OpenReadOnly(tiles->Store()->Path());
  } catch (const TileStoreError& refusal) {
    result.error = std::string(refusal.what()) +
                   (refusal.kind == TileStoreError::Kind::Locked ? " Refresh it once that has ended." : "");
    return result;
  }
  TileStore& store = *tiles->Store();
  const std::string marker = store.Metadata(kRefreshStartedKey).value_or("");
  std::optional<FreshLine> unfinished = ParseFreshLine(marker);
  if (unfinished && unfinished->kind != FreshLine::Kind::RefreshStarted) unfinished.reset();
  const int64_t reference = unfinished ? unfinished->start : NowMilliseconds();
  result.continued = unfinished.has_value();
  const std::optional<int32_t> olderThanDays =
      request.olderThanDays ? request.olderThanDays : unfinished ? unfinished->olderThanDays : std::nullopt;
  std::string started = RefreshMarkerLine('R', reference, olderThanDays);
  started.pop_back();

  const int32_t zoom = task.Parameters.Zoom;
  std::vector<StoredValidators> pending;
  const auto writeDown = [&] { store.PutValidators(std::exchange(pending, {})); };
  TileSet seen(task);
  Refresher refresher(request, control, stop, *tiles, [&](const FreshRecord& r) {
    pending.push_back({zoom, r.x, StoreRow(task, r.y), r.checked, r.freshness.expires, r.freshness.validators.etag,
                       r.freshness.validators.lastModified});
    if (pending.size() >= kQueuedTiles) writeDown();
  });
  const KnownChecks known = [&](const std::function<void(const FreshRecord&)>& visit) {
    reading->ForEachValidators([&](const StoredValidators& v) {
      const int32_t y = StoreRow(task, v.y);
      const std::optional<int64_t> number = seen.Number(v.x, y);
      if (v.zoom != zoom || !number) return;
      seen.Add(*number);
      visit({v.x, y, v.checked, {{v.etag, v.lastModified}, v.expires}});
    });
  };
  try {
    store.SetMetadata(kRefreshStartedKey, started);
    refresher.Run(known, seen, reference, result.continued, olderThanDays);
    result.finished = !stop;
    writeDown();
    if (result.finished) store.SetMetadata(kRefreshStartedKey, "");
  } catch (const std::exception& error) {
    result.error = error.what();
    result.finished = false;
  }
  result.counts = refresher.Counts();
  result.stopReason = refresher.StopReason();
  return result;
}

}  // namespace

RefreshResult RefreshTask(const RefreshRequest& request, const RefreshControl& control) {
  std::atomic<bool> never{false};
  std::atomic<bool>& stop = control.stop ? *control.stop : never;
  const std::string blank = request.blankImagePath.empty() ? "" : TileBytes(request.blankImagePath);
  if (StoredInOneFile(request.task->Parameters)) return RefreshStore(request, control, stop, blank);
  return RefreshFolder(request, control, stop, blank);
}

std::string RefreshSummary(const RefreshResult& result) {
  const RefreshCounts& c = result.counts;
  std::string text = "Refresh: " + std::to_string(c.unchanged) + " unchanged, " + std::to_string(c.replaced) +
                     " replaced, " + std::to_string(c.failed) + " kept on failure.";
  if (!result.finished) text += " Stopped: the next refresh continues where this one stopped.";
  return text;
}
