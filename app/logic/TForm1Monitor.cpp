// The window's side of a running task: the timer drives the run's monitor,
// and what the run reports is drawn into the views and the controls.

#include <algorithm>
#include <utility>

#include "HandlerGuard.h"
#include "ProgressLine.h"
#include "TForm1.h"

// The lines read back from the log file carry no kind but their text.
void TForm1::LogLoaded(std::vector<std::string> lines) {
  std::vector<LogLineKind> kinds;
  kinds.reserve(lines.size());
  for (const std::string& line : lines) kinds.push_back(ClassifyLogLine(line));
  memo1_.Assign(std::move(lines), kinds);
  if (view_) view_->Memo1Replaced();
}

void TForm1::FailedLoaded(std::vector<std::string> lines) {
  memo2_.Assign(std::move(lines));
  if (view_) view_->Memo2Replaced();
}

void TForm1::LogLineAdded(const std::string& line, LogLineKind kind) {
  memo1_.Append(line, kind);
  if (view_) view_->Memo1Appended(line, kind);
}

void TForm1::FailedLineAdded(const std::string& line) {
  memo2_.Append(line);
  if (view_) view_->Memo2Appended(line);
}

void TForm1::TimerOff() {
  timer1Enabled_ = false;
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
  TForm1Progress& progress = face_.progress;
  const int64_t done = counts.Done();
  progress.ProgressBar1Position = static_cast<int32_t>(std::min<int64_t>(done, progress.ProgressBar1Max));
  progress.LabelProgress =
      FormatProgress(done, progress.ProgressBar1Max, counts.failed, run_->Ticks(), counts.doneBefore);
}

void TForm1::Closed(const RunCounts& counts, const std::string& firstError) {
  ShowProgress();
  const std::string level = levels_ ? LevelText() + ": " : std::string();
  if (LevelClosed(counts, firstError)) {  // the next level follows; the range's end brings the messages
    if (view_) view_->RunSummaryReady(level + FormatRunSummary(counts));
    NotifyControls();
    return;
  }
  face_.progress.LabelProgress = level + FormatRunSummary(counts);
  face_.BitBtn1Caption = kStartCaption;
  NotifyControls();
  if (!firstError.empty()) platform_.ShowError(firstError);
  if (view_) view_->RunSummaryReady(face_.progress.LabelProgress);
  // One dialog: a Start clicked between two would be lost.
  const std::string closing = "Task stoped!" + std::string(20, ' ');
  platform_.ShowMessage(counts.stopReason.empty() ? closing : counts.stopReason + "\n\n" + closing);
}

void TForm1::Timer1Timer() {
  if (!timer1Enabled_ || !run_) return;  // a tick already queued when the timer went off
  RunHandler(platform_, [&] { run_->Tick(); });
  if (!run_->Active()) {
    NotifyControls();
    return;
  }
  ShowProgress();
  if (view_) view_->ProgressChanged(face_.progress);
}

void TForm1::SaveProgressForExit() {
  if (!run_ || !run_->Active()) return;
  RunHandler(platform_, [&] { run_->SaveForExit(); });
}
