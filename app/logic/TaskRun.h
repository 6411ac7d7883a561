#pragma once

// The life of a task
//
// A front end (the window's Start, quarnel-cli) turns the entries into a
// TaskParameters value (ParametersForStart) and hands it to CreateTaskRun,
// which builds the DownloadTask; a set-up that refuses shows "Error: Create
// task failure." and no run exists. The run is Idle. Preparing writes the
// task's files (project file, tile list, log header, failed list), takes the
// log and the failed list over as growing files and gives the front end
// their lines for its views; an error there leaves the run Idle, created but
// never started. A task's tile list can take minutes, so PrepareInBackground
// does that work on a thread of its own (the run is Preparing, and Stop
// cancels it with nothing written) and hands the result to the front end
// through Platform::RunOnGuiThread. StartWorkers creates the workers and the
// run is Running; the front end enables its timer and calls Tick every second.
//
// While it runs, workers hand over WorkerReport values (TDownThreadSink).
// The run counts from a report's event; its line reaches the log file's
// unsaved lines and, with its kind, the front end's view, and nothing else:
// the run keeps no copy of the log. Every
// fourth tick saves: positions read first, the new lines appended to the log
// and to the failed list, then the positions written, so that no saved
// position ever lies past a failure that no list on disk names. A listed
// tile that a worker saves (a resumed task fetches its failed tiles again)
// leaves the list at that save, and the front end's view is loaded anew.
//
// The saved tiles' validators and expiry go to the task's NAME_fresh.txt
// through a FreshWriter that outlives the workers; the close writes what it
// still holds. A task kept in one file opens its store at the set-up (a
// store that is damaged, another's, or no store refuses the task there,
// before anything is written), and its tiles and validators go through one
// TileStoreWriter that outlives the workers and commits the rest at the close.
//
// Stop asks every worker to end and the run is Closing; the workers finish
// the tile in hand. A dead or wrong server does the same through the task's
// FailureWatch: one log line says why, and the front end hears the reason
// when the run closes. The first tick that finds no worker left closes the run,
// whether it was stopped or ran to its end: the front end's timer goes off,
// the closing lines are added, everything is saved a last time, the workers
// are released, the run is Idle again and the front end hears the counts.
// A run that closed stays, with its task and parameters, until the next
// Start replaces it.
//
// A front end that must end while the run is Running or Closing calls
// SaveForExit: the run is Exiting, saves the log, the list and the positions
// once more without waiting for any worker, and is never saved or closed
// again. It then calls End (the destructor does too), which stops the
// set-up and the workers and waits for them while it serves their
// hand-overs (Platform::ServeUntil). Fetches in flight break off, their
// tiles left for a resume; what the workers report meanwhile reaches the
// view but no file.
//
// The hand-over rule, one for both front ends. Every call into a run is
// serialised: the front end's handlers and ticks, and the routines that
// workers hand over through Platform::RunOnGuiThread. A worker waits until
// its routine has run. Where a routine runs is the front end's business
// (the window runs it on its GUI thread; quarnel-cli on the worker itself,
// under the lock its main thread holds around every handler and tick). So
// a front end must never wait for a worker while it holds that
// serialisation: the close releases only workers that have reported their
// end, and End waits only while it serves.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <atomic>
#include <functional>
#include <thread>
#include <unordered_set>

#include "FailureWatch.h"
#include "FreshWriter.h"
#include "GrowingTextFile.h"
#include "LogLineKind.h"
#include "Platform.h"
#include "RequestPacer.h"
#include "RunSummary.h"
#include "TDownThread.h"
#include "TaskLock.h"
#include "TileStore.h"
#include "TileStoreWriter.h"
#include "TaskParameters.h"
#include "Unitclasstask.h"

// What a run tells its front end. All calls come serialised with the
// front end's own calls (see the hand-over rule above).
class TaskRunObserver {
 public:
  virtual ~TaskRunObserver() = default;
  // The lines the log and the failed list hold at Prepare, in order.
  virtual void LogLoaded(std::vector<std::string> /*lines*/) {}
  virtual void FailedLoaded(std::vector<std::string> /*lines*/) {}
  virtual void LogLineAdded(const std::string& /*line*/, LogLineKind /*kind*/) {}
  virtual void FailedLineAdded(const std::string& /*line*/) {}
  // The last worker has reported its end; the next tick closes the run.
  virtual void WorkersEnded() {}
  // The close and the exit begin by stopping the front end's timer.
  virtual void TimerOff() {}
  // The close is done; firstError is the first save that failed in it, if any.
  virtual void Closed(const RunCounts& /*counts*/, const std::string& /*firstError*/) {}
};

// A task that another run, here or in another process, downloads or
// refreshes: the set-up refuses it before anything is written.
class TaskBusyError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How a run is driven. Tests drive a run by hand, with no worker thread.
struct TaskRunOptions {
  bool startWorkers = true;
};

// What preparing hands to the front end's views: the newest lines of each file.
struct PreparedViews {
  std::vector<std::string> logLines;
  std::vector<std::string> failedLines;
};

class TaskRun : public TDownThreadSink {
 public:
  enum class State { Idle, Preparing, Running, Closing, Exiting };
  static constexpr int32_t kTicksPerSave = 4;
  // How many of a file's lines Prepare hands to a view; the views keep no more.
  static constexpr std::size_t kViewLines = 20000;

  // The task set-up; throws what DownloadTask throws, TaskBusyError, and
  // TileStoreError for a store that cannot be written into. The
  // task stays locked until the run closes or its preparing fails. The
  // thread count is lowered to the task's tile count when that is smaller.
  TaskRun(Platform& platform, TaskParameters parameters, TaskRunObserver& observer, TaskRunOptions options = {});
  // Ends the run (End) first.
  ~TaskRun() override;
  TaskRun(const TaskRun&) = delete;
  TaskRun& operator=(const TaskRun&) = delete;

  // Writes the task's files, remembers the task in the configuration and
  // loads the views. Throws on the first file that fails.
  void Prepare(const std::string& nowText, const std::string& configPath);
  // The file work of Prepare alone, safe on any thread while the run is
  // Preparing; a set cancel ends it with TaskSetupCancelled and nothing written.
  PreparedViews PrepareFiles(const std::string& nowText, const std::string& configPath,
                             const std::atomic<bool>* cancel = nullptr);
  void ShowPrepared(PreparedViews views);
  // Prepares on a thread of its own; done runs through RunOnGuiThread with
  // nullopt when the run is ready to start, else the error's text (empty
  // text: Stop cancelled it). The run must outlive the thread.
  void PrepareInBackground(const std::string& nowText, const std::string& configPath,
                           std::function<void(std::optional<std::string> error)> done);
  void StartWorkers(const std::string& blankImagePath);
  void Stop();
  // The monitor's tick; a save that fails throws and ends the tick there.
  void Tick();
  void SaveForExit();
  // Stops the set-up and the workers (TDownThread::Abandon) and returns once
  // each has ended, serving their hand-overs meanwhile; a set-up stopped here
  // hands its front end nothing. Called on the serialised side, never from a
  // hand-over.
  void End();

  State CurrentState() const { return state_; }
  // Running or Closing: workers may still report.
  bool Active() const { return state_ == State::Running || state_ == State::Closing; }
  bool Preparing() const { return state_ == State::Preparing; }
  int32_t RunningWorkers() const { return runningWorkers_; }
  int32_t Ticks() const { return ticks_; }
  RunCounts Counts() const;
  const TaskParameters& Parameters() const { return task_->Parameters; }
  const DownloadTask& Task() const { return *task_; }
  // Bytes waiting in memory for the next save (both files).
  std::size_t UnsavedBytes() const { return log_.UnsavedBytes() + failed_.UnsavedBytes(); }

  // TDownThreadSink: hands the report's effect over and waits for it.
  void Report(const WorkerReport& report) override;

  // The reason the run was stopped without the user; empty when it was not.
  const std::string& StopReason() const { return stopReason_; }

 private:
  PreparedViews PrepareLockedFiles(const std::string& nowText, const std::string& configPath,
                                   const std::atomic<bool>* cancel);
  void StopForFailures(const std::string& reason);
  void Take(const WorkerReport& report);
  void CountListed(std::string_view line);
  void SettleListed(TilePosition tile);
  void SaveFailedList(Durability durability);
  int32_t WorkerSlotsInUse() const;
  void AppendLog(const std::string& line, LogLineKind kind = LogLineKind::Plain);
  void SaveProgress(Durability logDurability);
  void Close();
  std::vector<TilePosition> SnapshotPositions() const;
  void WritePositions(const std::vector<TilePosition>& positions);

  Platform& platform_;
  TaskRunObserver& observer_;
  TaskRunOptions options_;
  std::unique_ptr<DownloadTask> task_;
  std::unique_ptr<RequestPacer> pacer_;  // shared by the workers, outlives them
  std::unique_ptr<FailureWatch> watch_;  // likewise
  std::unique_ptr<TaskLock> lock_;  // keeps other downloads and refreshes off the task
  std::unique_ptr<FreshWriter> fresh_;          // the saved tiles' validators; outlives the workers
  std::unique_ptr<TileStore> store_;            // a task in one file, from the set-up to the start
  std::unique_ptr<TileStoreWriter> writer_;     // then its one writer; outlives the workers
  std::thread prepareThread_;
  std::atomic<bool> cancelPrepare_{false};
  bool prepareHandedOver_ = false;  // the set-up thread has only to return
  bool ending_ = false;
  std::string stopReason_;
  int64_t doneBefore_ = 0;
  // The tiles the failed list names, each once (hashes of their paths).
  std::unordered_set<uint64_t> listed_;
  // Listed tiles saved since the last save, whose entries that save takes out.
  std::vector<std::string> settled_;
  bool listSaved_ = true;
  std::array<std::unique_ptr<TDownThread>, kMaxWorkers> workers_;
  GrowingTextFile log_;
  GrowingTextFile failed_;
  State state_ = State::Idle;
  int32_t runningWorkers_ = 0;
  int32_t ticks_ = 0;
  int64_t saved_ = 0;
  int64_t failedTiles_ = 0;
  int64_t blank_ = 0;
  int32_t banned_ = 0;
  uint64_t bytesOfReleased_ = 0;
};

// The set-up for a front end: the run, or null after "Error: Create task
// failure." (and the set-up's own message, when it has one) was shown.
std::unique_ptr<TaskRun> CreateTaskRun(Platform& platform, TaskParameters parameters,
                                       TaskRunObserver& observer, TaskRunOptions options = {});
