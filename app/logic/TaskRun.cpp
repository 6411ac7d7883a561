#include "TaskRun.h"

#include <unistd.h>

#include <algorithm>
#include <deque>
#include <string_view>
#include <utility>

#include "FetchFailure.h"
#include "MapServices.h"
#include "ProjectFile.h"
#include "RecentTask.h"

namespace {

// The lines of a file for a view: only the newest are kept.
class ViewTail {
 public:
  void operator()(std::string_view line) {
    lines_.emplace_back(line);
    if (lines_.size() > TaskRun::kViewLines) lines_.pop_front();
  }
  std::vector<std::string> Take() {
    return {std::make_move_iterator(lines_.begin()), std::make_move_iterator(lines_.end())};
  }

 private:
  std::deque<std::string> lines_;
};

// FNV-1a: the failed list's paths are counted, not kept.
uint64_t PathHash(std::string_view path) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : path) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

}  // namespace

TaskRun::TaskRun(Platform& platform, TaskParameters parameters, TaskRunObserver& observer, TaskRunOptions options)
    : platform_(platform), observer_(observer), options_(options) {
  task_ = std::make_unique<DownloadTask>(std::move(parameters));
  if (!task_->StorePath.empty()) {
    // A resume must find its store; the store's writer lock keeps others off.
    store_ = TileStore::OpenForWriting(task_->StorePath, !task_->Parameters.Resume);
  } else {
    lock_ = std::make_unique<TaskLock>(task_->TileFolder);
  }
  if (lock_ && !lock_->Held())
    throw TaskBusyError("The task " + task_->Parameters.TaskFileName + " is " + lock_->Refusal() +
                        ": start it again once that has ended.");
  doneBefore_ = task_->TilesBeforeResume();
}

TaskRun::~TaskRun() { End(); }

// Serving while waiting is what keeps this safe: a worker waits in its
// hand-over until this thread runs it, so a plain join here could wait forever.
void TaskRun::End() {
  ending_ = true;
  cancelPrepare_ = true;
  if (prepareThread_.joinable()) {
    platform_.ServeUntil([this] { return prepareHandedOver_; });
    if (prepareThread_.joinable()) prepareThread_.join();
  }
  if (runningWorkers_ > 0) {
    if (Active()) state_ = State::Exiting;  // no tick closes the run meanwhile
    for (auto& worker : workers_)
      if (worker) worker->Abandon();
    platform_.ServeUntil([this] { return runningWorkers_ == 0; });
  }
  // Each worker has made its last report: these only join.
  for (auto& worker : workers_) {
    if (!worker) continue;
    bytesOfReleased_ += worker->BytesSaved();
    worker.reset();
  }
}

void TaskRun::Prepare(const std::string& nowText, const std::string& configPath) {
  ShowPrepared(PrepareFiles(nowText, configPath));
}

PreparedViews TaskRun::PrepareFiles(const std::string& nowText, const std::string& configPath,
                                    const std::atomic<bool>* cancel) {
  try {
    return PrepareLockedFiles(nowText, configPath, cancel);
  } catch (...) {
    lock_.reset();  // a run that never starts holds nobody off
    store_.reset();
    throw;
  }
}

PreparedViews TaskRun::PrepareLockedFiles(const std::string& nowText, const std::string& configPath,
                                          const std::atomic<bool>* cancel) {
  task_->ClearStaleTemporaries();
  task_->WriteFiles(nowText, cancel);
  // A replaced task's validators belong to tiles it no longer has.
  if (!task_->Parameters.Resume) {
    if (store_) store_->ClearValidators();
    else ::unlink(FreshFilePathForTileFolder(task_->TileFolder).c_str());
  }
  RememberLastTask(configPath, task_->ProjectFilePath());

  ViewTail logLines, failedLines;
  log_.Open(task_->LogPath, std::ref(logLines));
  listed_.clear();
  failed_.Open(task_->FailedListPath, [&](std::string_view line) {
    CountListed(line);
    failedLines(line);
  });
  return {logLines.Take(), failedLines.Take()};
}

void TaskRun::ShowPrepared(PreparedViews views) {
  observer_.LogLoaded(std::move(views.logLines));
  observer_.FailedLoaded(std::move(views.failedLines));
}

void TaskRun::PrepareInBackground(const std::string& nowText, const std::string& configPath,
                                  std::function<void(std::optional<std::string>)> done) {
  state_ = State::Preparing;
  cancelPrepare_ = false;
  prepareHandedOver_ = false;
  prepareThread_ = std::thread([this, nowText, configPath, done = std::move(done)] {
    std::optional<std::string> error;
    PreparedViews views;
    try {
      views = PrepareFiles(nowText, configPath, &cancelPrepare_);
    } catch (const TaskSetupCancelled&) {
      error = std::string();
    } catch (const std::exception& e) {
      error = e.what();
    }
    platform_.RunOnGuiThread([&] {
      prepareHandedOver_ = true;
      state_ = State::Idle;
      if (ending_) return;  // the front end that asked is going
      if (!error) ShowPrepared(std::move(views));
      done(error);
    });
  });
}

void TaskRun::StartWorkers(const std::string& blankImagePath) {
  pacer_ = std::make_unique<RequestPacer>(task_->Parameters.Network.MaxRequestsPerSecond);
  watch_ = std::make_unique<FailureWatch>(task_->Parameters.Network.StopAfterFailures, [this](const std::string& reason) {
    platform_.RunOnGuiThread([this, &reason] { StopForFailures(reason); });
  });
  if (store_) {
    writer_ = std::make_unique<TileStoreWriter>(std::move(store_), task_->Parameters.Zoom,
                                                RowOriginOf(task_->Parameters.MapsType), task_->Parameters.ThreadCount);
  } else {
    fresh_ = std::make_unique<FreshWriter>(FreshFilePathForTileFolder(task_->TileFolder));
  }
  state_ = State::Running;
  if (!options_.startWorkers) return;
  for (int32_t n = 0; n < task_->Parameters.ThreadCount; ++n) {
    workers_[n] = std::make_unique<TDownThread>(false, task_.get(), n, *this, blankImagePath, pacer_.get(),
                                                watch_.get(), fresh_.get(), writer_.get());
    ++runningWorkers_;
  }
}

int32_t TaskRun::WorkerSlotsInUse() const { return std::clamp(task_->Parameters.ThreadCount, 0, kMaxWorkers); }

void TaskRun::Stop() {
  if (Preparing()) {
    cancelPrepare_ = true;
    return;
  }
  if (!Active()) return;
  state_ = State::Closing;
  for (int32_t n = 0; n < WorkerSlotsInUse(); ++n) {
    if (workers_[n]) workers_[n]->Terminate();
    AppendLog("Thread" + std::to_string(n + 1) + "will be terminated by user. please wait...");
  }
}

void TaskRun::AppendLog(const std::string& line, LogLineKind kind) {
  log_.Add(line);
  observer_.LogLineAdded(line, kind);
}

void TaskRun::Report(const WorkerReport& report) {
  platform_.RunOnGuiThread([this, &report] { Take(report); });
}

void TaskRun::Take(const WorkerReport& report) {
  switch (report.event) {
    case WorkerEvent::Saved:
      ++saved_;
      SettleListed(report.tile);
      break;
    case WorkerEvent::Blank:
      ++blank_;
      break;
    case WorkerEvent::Banned:
      ++banned_;  // the worker ends after this report
      break;
    default:
      break;
  }
  const std::string line(report.line);
  AppendLog(line, LogLineKindOf(report.event));
  if (report.event == WorkerEvent::Failed) {
    const std::string listed(report.listed);
    CountListed(listed);
    ++failedTiles_;
    failed_.Add(listed);
    observer_.FailedLineAdded(listed);
  }
  if (report.event == WorkerEvent::Ended && --runningWorkers_ == 0) observer_.WorkersEnded();
}

void TaskRun::StopForFailures(const std::string& reason) {
  if (state_ != State::Running) return;
  state_ = State::Closing;
  stopReason_ = ReadableFailure(reason);  // shown in a message box or on stderr
  AppendLog(reason, LogLineKind::Failure);
  for (auto& worker : workers_)
    if (worker) worker->Terminate();
}

void TaskRun::CountListed(std::string_view line) {
  const std::size_t bar = line.find('|');
  if (bar != std::string_view::npos) listed_.insert(PathHash(line.substr(0, bar)));
}

void TaskRun::SettleListed(TilePosition tile) {
  if (listed_.empty()) return;
  std::string path = task_->TileFolder + task_->TileFileName(tile.x, tile.y);
  if (listed_.erase(PathHash(path)) > 0) settled_.push_back(std::move(path));
}

RunCounts TaskRun::Counts() const {
  RunCounts counts{saved_,      failedTiles_,     task_->FailedListPath,
                   banned_,     blank_,           bytesOfReleased_,
                   doneBefore_, task_->TotalTiles, static_cast<int64_t>(listed_.size()),
                   stopReason_, listSaved_};
  for (const auto& worker : workers_)
    if (worker) counts.bytes += worker->BytesSaved();
  return counts;
}

void TaskRun::Tick() {
  if (!Active()) return;  // a tick queued before the close or the exit
  // The set-up thread has handed over; it only has to return.
  if (prepareThread_.joinable()) prepareThread_.join();
  ++ticks_;
  if (ticks_ % kTicksPerSave == 0) SaveProgress(Durability::ProcessCrash);
  if (runningWorkers_ == 0) Close();
}

std::vector<TilePosition> TaskRun::SnapshotPositions() const {
  std::vector<TilePosition> positions(WorkerSlotsInUse());
  for (std::size_t n = 0; n < positions.size(); ++n)
    if (workers_[n]) positions[n] = workers_[n]->LastPosition();
  return positions;
}

void TaskRun::WritePositions(const std::vector<TilePosition>& positions) {
  // Only positive values: 0 means "no tile saved yet" and keeps what the key held.
  std::vector<std::pair<int32_t, int32_t>> pairs;
  for (const TilePosition& position : positions) pairs.emplace_back(position.x, position.y);
  WriteProjectPositions(task_->ProjectFilePath(), pairs);
}

// The log is flushed to the device only at the close and the exit: during
// the run a lost tail costs nothing a resume does not fetch again. The list
// always is, since positions written after it may lie past its entries.
void TaskRun::SaveProgress(Durability logDurability) {
  const std::vector<TilePosition> positions = SnapshotPositions();
  log_.Save(logDurability);
  SaveFailedList(Durability::PowerLoss);
  WritePositions(positions);
}

// Saved tiles leave the list only after its new lines are on disk, so the
// rewrite starts from a file that names every failure.
void TaskRun::SaveFailedList(Durability durability) {
  failed_.Save(durability);
  if (settled_.empty()) return;
  const std::unordered_set<std::string_view> settled(settled_.begin(), settled_.end());
  ViewTail kept;
  failed_.RemoveLines(
      [&](std::string_view line) {
        const std::size_t bar = line.find('|');
        return bar != std::string_view::npos && settled.count(line.substr(0, bar)) > 0;
      },
      std::ref(kept), durability);
  settled_.clear();
  observer_.FailedLoaded(kept.Take());
}

void TaskRun::Close() {
  observer_.TimerOff();
  // Every worker has ended: nothing more is handed to the writer.
  if (fresh_) {
    fresh_->Flush();
    if (const std::optional<std::string> problem = fresh_->Problem())
      AppendLog(*problem + ": some tiles' validators are not kept, so a refresh fetches those tiles whole.");
  }
  AppendLog("");
  AppendLog(std::string(32, '-'));
  AppendLog("Task Stoped!");
  AppendLog("");
  AppendLog("Now time:" + platform_.NowText());
  AppendLog("");
  // Its last line says whether it was saved, so it is shown only once that is known.
  const std::string savedLine = "Log file has been saved as " + task_->LogPath;
  log_.Add(savedLine);

  // A failed write must not leave the close half done: the workers are
  // released and the run is Idle whatever happens; the front end shows the error.
  std::string firstError;
  auto attempt = [&firstError](auto&& write) {
    try {
      write();
      return true;
    } catch (const std::exception& error) {
      if (firstError.empty()) firstError = error.what();
      return false;
    }
  };
  const bool logSaved = attempt([&] { log_.Save(Durability::PowerLoss); });
  observer_.LogLineAdded(logSaved ? savedLine : "Log file could not be saved as " + task_->LogPath + ".",
                         LogLineKind::Plain);
  listSaved_ = attempt([&] { SaveFailedList(Durability::PowerLoss); });
  // Every worker has reported its end, so these positions are final.
  if (listSaved_) attempt([&] { WritePositions(SnapshotPositions()); });
  for (auto& worker : workers_) {
    if (!worker) continue;
    bytesOfReleased_ += worker->BytesSaved();
    worker.reset();
  }
  fresh_.reset();
  writer_.reset();  // every tile was settled before its worker ended: this writes the journal back
  lock_.reset();
  state_ = State::Idle;
  observer_.Closed(Counts(), firstError);
}

void TaskRun::SaveForExit() {
  if (!Active()) return;
  state_ = State::Exiting;
  observer_.TimerOff();
  const std::vector<TilePosition> positions = SnapshotPositions();
  log_.Save(Durability::PowerLoss);
  SaveFailedList(Durability::PowerLoss);
  WritePositions(positions);
  if (fresh_) fresh_->Flush();
  lock_.reset();  // nothing more is written but the tiles in hand
}

std::unique_ptr<TaskRun> CreateTaskRun(Platform& platform, TaskParameters parameters, TaskRunObserver& observer,
                                       TaskRunOptions options) {
  try {
    return std::make_unique<TaskRun>(platform, std::move(parameters), observer, options);
  } catch (const TaskBusyError& refusal) {
    platform.ShowMessage(refusal.what());
    return nullptr;
  } catch (const TileStoreError& refusal) {
    platform.ShowMessage(refusal.what());
    return nullptr;
  } catch (const TaskSetupError& error) {
    if (!error.userMessage.empty()) platform.ShowMessage(error.userMessage);
  } catch (const std::exception&) {
  }
  platform.ShowMessage("Error: Create task failure.");
  return nullptr;
}
