// The life of a tile in a worker.
//
// Every worker numbers the task's whole range the same way: column by
// column, each column from its first row to its last, starting at 1. Tile
// seq belongs to the worker whose index is seq mod N, so N workers share the
// range without talking to each other. A resumed worker also passes over
// every tile up to and including the one at its saved position. Rather than
// stepping through tiles that are not its own, the worker jumps from one of
// its tiles to the next (seq += N) and turns seq back into a column and row;
// the tiles it fetches, and their order, are those of the plain walk. A task
// over an area numbers its whole rectangle the same way, and the worker
// jumps over the runs outside the area too (TileSelection::NextWorkerSeq):
// no request and no line for them.
//
// Before each of its tiles the worker looks at the stop request. It then
// asks the task for the tile's address and fetches it into a buffer that it
// reuses from tile to tile, on the one road every tile fetch takes
// (TileFetcher: the rate cap, repeats, waits, the image check). From there a
// tile takes one of these roads:
//
//   fetched     the body goes to a temporary file beside the tile, which is
//               renamed into place, so a killed process never leaves half a
//               tile. "Tn:seq=..., name ->ok!" is logged and only now does
//               the worker's last position (LastX, LastY) move: the monitor
//               saves it as the point to resume from, so it must never name
//               a tile that is not on disk. A tile that cannot be written is
//               logged and recorded as failed, and the worker goes on.
//   repeated    ("10054" silently; "Connection Closed Gracefully" after one
//               log line) the same request goes out again at once, at most
//               Network.RepeatLimit times per tile; then the tile fails.
//   waited      (a 429, 500, 502, 503 or 504 status) one log line, then a wait as long as
//               Retry-After says (else 1 s, 2 s, 4 s ...), at most
//               Network.MaxRetryWait, before asking again; these repeats
//               count against RepeatLimit too. A stop request between
//               repeats or during a wait abandons the tile: it is neither
//               recorded nor blanked, and a resumed task fetches it.
//   banned      ("302", "403", an X-Blocked answer) the tile is logged and
//               recorded, the ban line follows, and this worker closes; the
//               others go on.
//   failed      ("404", any other message, an answer that is no whole image,
//               or none) the tile is logged and recorded, and the blank image
//               is put in its place unless a file is already there: an
//               existing tile is never replaced by a blank.
//
// Every tile saved or failed is also told to the task's FailureWatch, which
// stops the whole task when the server is plainly dead or wrong. A saved
// tile's validators and expiry, when the server sent any, are handed to the
// task's FreshWriter, which keeps them for a later refresh without the
// worker waiting for its disk.
//
// An owner that is ending asks the worker to abandon its work: a fetch in
// flight breaks off, and its tile is neither recorded nor blanked.
//
// Whatever road ends the run (end of share, stop request, ban, a bad proxy
// port, an error nobody expected), the closing step runs exactly once: the
// client is destroyed and "Tn Finished." is reported as the worker's end.

#include "TDownThread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <exception>
#include <limits>
#include <stdexcept>

#include "AtomicFile.h"
#include "FailureWatch.h"
#include "FreshWriter.h"
#include "Ftl.h"
#include "RequestPacer.h"
#include "TileHttpClient.h"
#include "Unitclasstask.h"

namespace {

void AppendNumber(std::string& out, int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

uint64_t PackPosition(int32_t x, int32_t y) {
  return (uint64_t{static_cast<uint32_t>(x)} << 32) | static_cast<uint32_t>(y);
}

// A body this large is not worth keeping allocated for the next tile.
constexpr std::size_t kKeptBufferCapacity = std::size_t{4} << 20;

// Two 32-bit spans multiplied can pass 63 bits; count in 128 and clamp to
// what the walk can reach.
int64_t ClampToWalk(__int128 value) {
  constexpr __int128 kMax = std::numeric_limits<int64_t>::max() / 2;
  if (value < -1) return -1;
  return value > kMax ? static_cast<int64_t>(kMax) : static_cast<int64_t>(value);
}

}  // namespace

TDownThread::TDownThread(bool createSuspended, const DownloadTask* task, int32_t threadIndex,
                         TDownThreadSink& sink, std::string blankImagePath, RequestPacer* pacer,
                         FailureWatch* watch, FreshWriter* fresh)
    : task_(task),
      threadIndex_(threadIndex),
      sink_(sink),
      blankImagePath_(std::move(blankImagePath)),
      pacer_(pacer),
      watch_(watch),
      fresh_(fresh) {
  if (!createSuspended) Start();
}

TDownThread::~TDownThread() {
  Terminate();
  WaitFor();
}

void TDownThread::Start() {
  if (started_) return;
  started_ = true;
  thread_ = std::thread([this] { Execute(); });
}

void TDownThread::Terminate() { terminated_.store(true); }

void TDownThread::Abandon() {
  abandoned_.store(true);
  terminated_.store(true);
}

void TDownThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

TilePosition TDownThread::LastPosition() const {
  const uint64_t packed = last_.load();
  return {static_cast<int32_t>(static_cast<uint32_t>(packed >> 32)),
          static_cast<int32_t>(static_cast<uint32_t>(packed))};
}

void TDownThread::SetLast(int32_t x, int32_t y) { last_.store(PackPosition(x, y)); }

void TDownThread::Execute() {
  // Nothing may leave the thread body: the closing step below must always run.
  const char* unexpected = nullptr;
  std::string what;
  try {
    Run();
  } catch (const std::exception& e) {
    what = e.what();
    unexpected = what.c_str();
  } catch (...) {
    unexpected = "unknown error";
  }
  if (unexpected != nullptr) {
    try {
      BeginLine();
      msg_ += " Unexpected error: ";
      msg_ += unexpected;
      Report(WorkerEvent::Error);
    } catch (...) {
    }
  }
  Close();
}

void TDownThread::Close() {
  fetcher_.reset();
  http_.reset();
  try {
    BeginLine();
    msg_ += " Finished.";
  } catch (...) {
  }
  try {
    Report(WorkerEvent::Ended);
  } catch (...) {
  }
}

void TDownThread::Run() {
  if (task_ == nullptr) throw std::invalid_argument("no download task");
  const DownloadTask& task = *task_;
  const TaskParameters& params = task.Parameters;

  http_ = std::make_unique<TileHttpClient>(params.Network);
  http_->SetAbandonFlag(&abandoned_);
  if (params.UseProxy) {
    if (const std::optional<std::string> problem = ApplyProxy(params, *http_)) {
      BeginLine();
      msg_ += ' ';
      msg_ += *problem;
      Report(WorkerEvent::Note);
      return;
    }
  }
  fetcher_ = std::make_unique<TileFetcher>(*http_, params.Network, pacer_, terminated_);

  const int64_t width = int64_t{task.MaxX} - task.MinX + 1;
  const int64_t height = int64_t{task.MaxY} - task.MinY + 1;
  const int64_t workers = params.ThreadCount < 1 ? 1 : params.ThreadCount;
  if (width <= 0 || height <= 0 || threadIndex_ < 0 || threadIndex_ >= workers) return;
  const int64_t total = ClampToWalk(__int128{width} * height);

  int64_t skip = 0;
  if (threadIndex_ < static_cast<int32_t>(task.ResumeX.size())) {
    const int32_t resumeX = task.ResumeX[threadIndex_];
    const int32_t resumeY = task.ResumeY[threadIndex_];
    // 0 stands for "no position", so column 5, row 0 is no position either.
    if (resumeX != 0 && resumeY != 0) {
      skip = ClampToWalk(__int128{int64_t{resumeX} - task.MinX} * height + (int64_t{resumeY} - task.MinY) + 1);
    }
  }

  // The first tile after the resume point whose number falls to this worker
  // (and, over an area, lies inside it); then the next one, and so on.
  const int64_t first = (skip < 0 ? 0 : skip) + 1;
  const TileSelection* inside = task.Inside.get();
  const auto next = [&](int64_t from) -> std::optional<int64_t> {
    if (inside) return inside->NextWorkerSeq(workers, threadIndex_, from);
    const int64_t seq = from + ((threadIndex_ - from) % workers + workers) % workers;
    return seq <= total ? std::optional<int64_t>(seq) : std::nullopt;
  };
  for (std::optional<int64_t> seq = next(first); seq; seq = next(*seq + workers)) {
    if (Terminated()) return;
    const int32_t x = static_cast<int32_t>(task.MinX + (*seq - 1) / height);
    const int32_t y = static_cast<int32_t>(task.MinY + (*seq - 1) % height);
    bool stopWorker = false;
    FetchTile(x, y, *seq, stopWorker);
    if (stopWorker) return;
  }
}

void TDownThread::FetchTile(int32_t x, int32_t y, int64_t seq, bool& stopWorker) {
  const std::string url = task_->TileUrl(x, y);
  TileFetchNotes notes;
  notes.repeating = [&](const std::string& message) {
    BeginLine();
    AppendTileXY(x, y);
    msg_ += ':';
    msg_ += message;
    Report(WorkerEvent::Waiting, {x, y});
  };
  notes.waiting = [&](const std::string& message, std::chrono::seconds wait) {
    BeginLine();
    AppendTileXY(x, y);
    msg_ += ':';
    msg_ += message;
    msg_ += ": waiting ";
    AppendNumber(msg_, wait.count());
    msg_ += " s before asking again.";
    Report(WorkerEvent::Waiting, {x, y});
  };
  const TileFetchResult result = fetcher_->Fetch(url, buffer_, notes);
  if (result.status == TileFetchResult::Status::Fetched) {
    if (SaveTile(x, y, seq, url) && fresh_ && !result.freshness.Empty())
      fresh_->Add({x, y, NowMilliseconds(), result.freshness});
  } else if (result.status == TileFetchResult::Status::Failed && abandoned_.load()) {
    stopWorker = true;  // broken off on purpose: no failure of the tile's own
  } else if (result.status == TileFetchResult::Status::Failed) {
    HandleFailure(result.outcome, result.message, x, y, url, stopWorker);
  }
  if (buffer_.capacity() > kKeptBufferCapacity) std::string().swap(buffer_);
  else buffer_.clear();
}

bool TDownThread::SaveTile(int32_t x, int32_t y, int64_t seq, const std::string& url) {
  const std::string name = task_->TileFileName(x, y);
  const std::string path = task_->TileFolder + name;
  try {
    WriteTileBody(path, buffer_, !task_->TileFolderWasEmpty);
  } catch (const std::exception& e) {
    BeginLine();
    msg_ += ' ';
    msg_ += e.what();
    msg_ += "->";
    msg_ += path;
    Report(WorkerEvent::Failed, {x, y}, path + '|' + url);
    if (watch_) watch_->Failed(FetchOutcome::OtherFailure, e.what(), url);
    return false;
  }
  bytesSaved_.fetch_add(buffer_.size(), std::memory_order_relaxed);
  BeginLine();
  msg_ += ":seq=";
  AppendNumber(msg_, seq);
  msg_ += ", ";
  msg_ += name;
  msg_ += " ->ok!";
  Report(WorkerEvent::Saved, {x, y});
  SetLast(x, y);
  if (watch_) watch_->Saved();
  return true;
}

void TDownThread::HandleFailure(FetchOutcome outcome, const std::string& message, int32_t x, int32_t y,
                                const std::string& url, bool& stopWorker) {
  const std::string name = task_->TileFileName(x, y);
  const std::string path = task_->TileFolder + name;
  if (outcome == FetchOutcome::NoMessage) {
    msg_.assign(name).append(":failed ->").append(url);
  } else {
    BeginLine();
    msg_.append(1, ' ').append(message).append("->").append(url);
  }
  Report(WorkerEvent::Failed, {x, y}, path + '|' + url);
  if (watch_) watch_->Failed(outcome, message, url);

  if (outcome == FetchOutcome::Banned) {
    msg_ = kBanText;
    Report(WorkerEvent::Banned, {x, y});
    stopWorker = true;
    return;
  }
  if (outcome == FetchOutcome::NotFound) {
    msg_ = kNotFoundText;
    Report(WorkerEvent::NotFound, {x, y});
  }
  PutBlankImage(path);
  BeginLine();
  AppendTileXY(x, y);
  msg_ += " got a blank image!";
  Report(WorkerEvent::Blank, {x, y});
}

void TDownThread::PutBlankImage(const std::string& path) {
  if (task_->IsVector()) blankImage_.emplace();  // an empty tile, never a picture
  if (!blankImage_) {
    try {
      blankImage_ = ReadWholeFile(blankImagePath_);
    } catch (const std::exception&) {
      return;  // a missing blank image changes nothing but the disk
    }
  }
  PutTilePlaceholder(path, *blankImage_);  // an existing file is never replaced by a blank
}

void TDownThread::BeginLine() {
  msg_.assign(1, 'T');
  AppendNumber(msg_, int64_t{threadIndex_} + 1);
}

void TDownThread::AppendTileXY(int32_t x, int32_t y) {
  msg_ += ':';
  AppendNumber(msg_, x);
  msg_ += '-';
  AppendNumber(msg_, y);
}

void TDownThread::Report(WorkerEvent event, TilePosition tile, std::string_view listed) {
  sink_.Report({event, threadIndex_, tile, msg_, listed});
}
