// The progress monitor of the main window and the receiving end of the
// workers' reports.
//
// Order of a save: the worker positions are read first, then the log and the
// failed-tile list are written, and only then the positions. A worker records
// a failed tile before it moves on, so every failure behind a position read
// first is already in the list written after it: a kill between any two
// writes can leave positions that lag behind, never positions that skip a
// failed tile no list names.

#include <sys/stat.h>

#include <utility>

#include "HandlerGuard.h"
#include "IniFile.h"
#include "RunSummary.h"
#include "TForm1.h"

namespace {

bool IsTileSavedLine(const std::string& line) {
  constexpr std::string_view kOk = " ->ok!";
  return line.size() > kOk.size() && line[0] == 'T' && line.find(":seq=") != std::string::npos &&
         line.compare(line.size() - kOk.size(), kOk.size(), kOk) == 0;
}

}  // namespace

void TForm1::AppendMemo1(std::string line) {
  Memo1.Append(std::move(line));
  if (view_) view_->Memo1Appended(Memo1.Last());
}

void TForm1::AppendMemo2(std::string line) {
  Memo2.Append(std::move(line));
  if (view_) view_->Memo2Appended(Memo2.Last());
}

void TForm1::ReplaceMemo1(std::vector<std::string> lines) {
  Memo1.Assign(std::move(lines));
  if (view_) view_->Memo1Replaced();
}

void TForm1::ReplaceMemo2(std::vector<std::string> lines) {
  Memo2.Assign(std::move(lines));
  if (view_) view_->Memo2Replaced();
}

void TForm1::AddLogLine(const std::string& line) {
  platform_.RunOnGuiThread([this, &line] {
    if (IsTileSavedLine(line)) ++tilesOk_;
    if (line == kBanText) ++workersBanned_;  // the worker ends after this line
    AppendMemo1(line);
  });
}

void TForm1::AddFailedLine(const std::string& line) {
  platform_.RunOnGuiThread([this, &line] {
    ++tilesFailed_;
    AppendMemo2(line);
  });
}

void TForm1::WorkerDone(int32_t /*threadIndex*/) {
  platform_.RunOnGuiThread([this] { --RunningWorkers; });
}

void TForm1::Timer1Timer() {
  if (!Timer1Enabled || exiting_) return;  // a tick already queued when the timer went off
  RunHandler(platform_, [&] {
    ++TickCount;
    if (TickCount % 4 == 0) SaveProgress();
    if (RunningWorkers == 0) CloseTask();
  });
  NotifyControls();
}

std::vector<TilePosition> TForm1::SnapshotPositions() const {
  std::vector<TilePosition> positions(WorkerSlotsInUse());
  for (std::size_t n = 0; n < positions.size(); ++n)
    if (workers_[n]) positions[n] = workers_[n]->LastPosition();
  return positions;
}

void TForm1::WritePositions(const std::vector<TilePosition>& positions) {
  // Only positive values: 0 means "no tile saved yet" and keeps what the key held.
  std::vector<std::pair<std::string, std::string>> keys;
  for (std::size_t n = 0; n < positions.size(); ++n) {
    const std::string prefix = "T" + std::to_string(n + 1);
    if (positions[n].x > 0) keys.emplace_back(prefix + "X", std::to_string(positions[n].x));
    if (positions[n].y > 0) keys.emplace_back(prefix + "Y", std::to_string(positions[n].y));
  }
  if (keys.empty()) return;
  IniFile project(task_->ProjectFilePath());
  project.WriteStrings("THREADS", keys);
}

void TForm1::SaveView(const MemoLines& view, const std::string& path, Durability durability,
                      SavedFile& saved) {
  // Rewriting an unchanged log of a few hundred thousand lines every four
  // seconds is pure waste; the file on disk is checked so a deleted one returns.
  if (saved.valid && saved.path == path && saved.generation == view.Generation() &&
      saved.lineCount == view.Count()) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && static_cast<uint64_t>(status.st_size) == saved.bytes) return;
  }
  saved.valid = false;
  const uint64_t bytes = view.SaveToFile(path, durability);
  saved = {path, view.Generation(), view.Count(), bytes, true};
}

void TForm1::SaveLogView(Durability durability) { SaveView(Memo1, task_->LogPath, durability, savedLog_); }

void TForm1::SaveFailedView() {
  // The list must be on disk before positions that may lie past its entries.
  SaveView(Memo2, task_->FailedListPath, Durability::PowerLoss, savedFailed_);
}

void TForm1::SaveProgress() {
  const std::vector<TilePosition> positions = SnapshotPositions();
  // The log is rewritten whole every save; flushing it to the device each time
  // would cost more than it protects. The close writes it durably.
  SaveLogView(Durability::ProcessCrash);
  SaveFailedView();
  WritePositions(positions);
}

void TForm1::CloseTask() {
  Timer1Enabled = false;
  platform_.SetTimerEnabled(false);

  AppendMemo1("");
  AppendMemo1(std::string(32, '-'));
  AppendMemo1("Task Stoped!");
  AppendMemo1("");
  AppendMemo1("Now time:" + platform_.NowText());
  AppendMemo1("");
  AppendMemo1("Log file has been saved as " + task_->LogPath);

  // A failed write must not leave the close half done: the workers are
  // released and the button reads "Start" whatever happens, then the error shows.
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
  attempt([&] { SaveLogView(Durability::PowerLoss); });
  const bool listSaved = attempt([&] { SaveFailedView(); });
  // Every worker has reported its end, so these positions are final.
  if (listSaved) attempt([&] { WritePositions(SnapshotPositions()); });
  for (auto& worker : workers_) worker.reset();

  BitBtn1Caption = kStartCaption;
  NotifyControls();
  if (!firstError.empty()) platform_.ShowError(firstError);
  if (view_) view_->RunSummaryReady(FormatRunSummary({tilesOk_, tilesFailed_, task_->FailedListPath, workersBanned_}));
  platform_.ShowMessage("Task stoped!" + std::string(20, ' '));
}

void TForm1::SaveProgressForExit() {
  if (!TaskRunning() || !task_ || exiting_) return;
  exiting_ = true;
  Timer1Enabled = false;
  platform_.SetTimerEnabled(false);
  RunHandler(platform_, [&] {
    const std::vector<TilePosition> positions = SnapshotPositions();
    SaveLogView(Durability::PowerLoss);
    SaveFailedView();
    WritePositions(positions);
  });
}
