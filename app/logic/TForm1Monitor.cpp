// The window's side of a running task: the timer drives the run's monitor,
// and what the run reports is drawn into the views and the controls.

#include <algorithm>
#include <utility>

#include "HandlerGuard.h"
#include "ProgressLine.h"
#include "TForm1.h"

void TForm1::LogLoaded(std::vector<std::string> lines) {
  Memo1.Assign(std::move(lines));
  if (view_) view_->Memo1Replaced();
}

void TForm1::FailedLoaded(std::vector<std::string> lines) {
  Memo2.Assign(std::move(lines));
  if (view_) view_->Memo2Replaced();
}

void TForm1::LogLineAdded(const std::string& line) {
  Memo1.Append(line);
  if (view_) view_->Memo1Appended(line);
}

void TForm1::FailedLineAdded(const std::string& line) {
  Memo2.Append(line);
  if (view_) view_->Memo2Appended(line);
}

void TForm1::TimerOff() {
  Timer1Enabled = false;
  platform_.SetTimerEnabled(false);
}

// The timer's second is the clock of the rate: a tick is one second of the run.
// A resumed run counts the tiles before its resume point as done.
void TForm1::ShowProgress() {
  const RunCounts counts = run_->Counts();
  if (levels_) {
    ShowRangeProgress(counts);
    return;
  }
  const int64_t done = counts.Done();
  ProgressBar1Position = static_cast<int32_t>(std::min<int64_t>(done, ProgressBar1Max));
  LabelProgress = FormatProgress(done, ProgressBar1Max, counts.failed, run_->Ticks(), counts.doneBefore);
}

void TForm1::Closed(const RunCounts& counts, const std::string& firstError) {
  ShowProgress();
  const std::string level = levels_ ? LevelText() + ": " : std::string();
  if (LevelClosed(counts, firstError)) {  // the next level follows; the range's end brings the messages
    if (view_) view_->RunSummaryReady(level + FormatRunSummary(counts));
    NotifyControls();
    return;
  }
  LabelProgress = level + FormatRunSummary(counts);
  BitBtn1Caption = kStartCaption;
  NotifyControls();
  if (!firstError.empty()) platform_.ShowError(firstError);
  if (view_) view_->RunSummaryReady(LabelProgress);
  if (!counts.stopReason.empty()) platform_.ShowMessage(counts.stopReason);
  platform_.ShowMessage("Task stoped!" + std::string(20, ' '));
}

void TForm1::Timer1Timer() {
  if (!Timer1Enabled || !run_) return;  // a tick already queued when the timer went off
  RunHandler(platform_, [&] { run_->Tick(); });
  if (run_->Active()) ShowProgress();
  NotifyControls();
}

void TForm1::SaveProgressForExit() {
  if (!run_ || !run_->Active()) return;
  RunHandler(platform_, [&] { run_->SaveForExit(); });
}
