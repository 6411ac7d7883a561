// A Start over a zoom range ("to" above the slider): one task per level,
// NAME_zA.qrnl ... NAME_zB.qrnl, as quarnel-cli --zoom A-B runs them.
//
// Start checks every level first (each level's own resume test, questions
// and space check), so that a refusal starts nothing and the questions come
// before the user walks away. The levels then run one after the other, each
// an ordinary task: when one closes by itself, the next starts from the GUI
// thread's queue (never inside the closing run's own tick). Stop, a failure
// that stops a task, or an error ends the range at the level in hand. A later
// Start with the same entries resumes each level: those already done are
// passed over without touching their files, the stopped one goes on.

#include <algorithm>
#include <limits>

#include "HandlerGuard.h"
#include "ProgressLine.h"
#include "TForm1.h"
#include "ZoomLevels.h"

void TForm1::StartLevels(const TaskEntries& entries) {
  LevelRange range;
  // The space is the whole job's question, asked once after the levels' own checks.
  StartPolicy eachLevel;
  eachLevel.bigTask = StartPolicy::Decide::Go;
  for (int32_t zoom = entries.zoom; zoom <= LastZoom(); ++zoom) {
    const TaskEntries level = LevelEntries(entries, zoom);
    std::optional<TaskParameters> parameters = ParametersForStart(platform_, configPath_, level, eachLevel);
    if (!parameters) return;
    range.total += TilesOf(level).value_or(0);
    range.levels.push_back(std::move(*parameters));
  }
  if (!RangeSpaceAllows(platform_, range.levels, StartPolicy{})) return;
  levels_ = std::move(range);
  StartLevel();
}

void TForm1::StartLevel() {
  LevelRange& range = *levels_;
  for (; range.current < range.levels.size(); ++range.current) {
    std::unique_ptr<TaskRun> run = CreateTaskRun(platform_, range.levels[range.current], *this, runOptions_);
    if (!run) {
      levels_.reset();
      return;
    }
    const RunCounts counts = run->Counts();
    if (!run->Parameters().Resume || counts.doneBefore < counts.total) {
      StartRun(std::move(run));
      face_.progress.LabelProgress = LevelText() + ": writing the task's files...";
      return;
    }
    range.doneEarlier += counts.total;  // done by an earlier Start
  }
  levels_.reset();
  platform_.ShowMessage("Every level of the range is done already.");
}

std::string TForm1::LevelText() const {
  const LevelRange& range = *levels_;
  return "level " + std::to_string(range.levels[range.current].Zoom) + " (" + std::to_string(range.current + 1) +
         " of " + std::to_string(range.levels.size()) + ")";
}

bool TForm1::LevelClosed(const RunCounts& counts, const std::string& firstError) {
  if (!levels_) return false;
  LevelRange& range = *levels_;
  if (stopRequested_ || !counts.stopReason.empty() || !firstError.empty() || range.current + 1 >= range.levels.size()) {
    levels_.reset();
    return false;
  }
  range.doneEarlier += counts.total;
  range.failedEarlier += counts.failed;
  ++range.current;
  levelPending_ = true;
  // Queued behind the close; a window gone meanwhile starts nothing.
  platform_.PostToGuiThread([this, alive = std::weak_ptr<const int>(alive_)] {
    if (alive.lock()) NextLevel();
  });
  return true;
}

void TForm1::NextLevel() {
  levelPending_ = false;
  if (!levels_ || stopRequested_) {
    levels_.reset();
    face_.BitBtn1Caption = kStartCaption;
    NotifyControls();
    platform_.ShowMessage("Task stoped!" + std::string(20, ' '));
    return;
  }
  RunHandler(platform_, [&] { StartLevel(); });
  if (!TaskRunning()) face_.BitBtn1Caption = kStartCaption;
  NotifyControls();
}

// The bar and the line over the whole range: "level 14 (3 of 5): 1200 of 10000 tiles, ...".
void TForm1::ShowRangeProgress(const RunCounts& counts) {
  const LevelRange& range = *levels_;
  const int64_t total = std::max<int64_t>(range.total, 1);
  const int64_t done = std::min(range.doneEarlier + counts.Done(), total);
  // The bar counts in 32 bits: a larger range is shown in millionths.
  const bool scaled = total > std::numeric_limits<int32_t>::max();
  TForm1Progress& progress = face_.progress;
  progress.ProgressBar1Max = scaled ? 1'000'000 : static_cast<int32_t>(total);
  progress.ProgressBar1Position =
      scaled ? static_cast<int32_t>(static_cast<double>(done) / static_cast<double>(total) * 1'000'000)
             : static_cast<int32_t>(done);
  face_.progress.LabelProgress = LevelText() + ": " +
                  FormatProgress(done, total, range.failedEarlier + counts.failed, run_->Ticks(),
                                 range.doneEarlier + counts.doneBefore);
}
