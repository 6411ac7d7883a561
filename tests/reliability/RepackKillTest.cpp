// A repack killed with SIGKILL at random moments, in both directions, must
// leave the task whole in the one form its project file names: every tile
// there with its bytes, every placeholder a placeholder, a store that passes
// SQLite's integrity check. A last repack that runs to its end leaves
// nothing of the other form beside the task.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include "ChildProcess.h"
#include "CliTask.h"
#include "Figures.h"
#include "ProjectFile.h"
#include "TaskTiles.h"
#include "TestFiles.h"
#include "TileStore.h"
#include "Unitclasstask.h"

namespace {

namespace fs = std::filesystem;
constexpr uint64_t kSeed = 20261209;
constexpr int kKills = 30;
using Kept = std::map<std::pair<int32_t, int32_t>, std::string>;  // "" a placeholder

struct Whole {
  bool store = false;
  std::string problem;  // empty when the task is whole
};

Whole Check(const std::string& projectPath, const std::string& blank, const Kept& kept) {
  const TaskLayout task(ParametersOf(ProjectFile::Read(projectPath)));
  Whole whole{StoredInOneFile(task.Parameters), {}};
  try {
    if (whole.store) {
      const std::string verdict = TileStore::OpenReadOnly(TileStorePathFor(projectPath))->IntegrityCheck();
      if (verdict != "ok") return {true, "integrity check: " + verdict};
    }
    const auto tiles = OpenTaskTiles(task, blank);
    int64_t listed = 0;
    std::string bytes, problem;
    tiles->ForEach([&](int32_t, int32_t, SavedTile) { ++listed; });
    if (listed != static_cast<int64_t>(kept.size())) whole.problem = std::to_string(listed) + " tiles listed";
    for (const auto& [at, expected] : kept) {
      const SavedTile kind = tiles->Read(at.first, at.second, bytes, problem);
      if (kind != (expected.empty() ? SavedTile::Placeholder : SavedTile::Data) || bytes != expected) {
        whole.problem = "tile " + std::to_string(at.first) + "," + std::to_string(at.second) + " is not as saved";
        break;
      }
    }
  } catch (const std::exception& error) {
    whole.problem = error.what();
  }
  return whole;
}

}  // namespace

TEST(RepackKills, KilledAtRandomMomentsTheTaskStaysWholeInOneForm) {
  std::mt19937_64 random(kSeed);
  ScratchFolder scratch("repackkill");
  const std::string blank = ReadFile(BlankImagePath());
  TaskParameters p;
  p.LeftLongitude = 10, p.RightLongitude = 14, p.TopLatitude = 50, p.BottomLatitude = 47;
  p.Zoom = 13;
  p.SavePath = scratch.Path();
  p.TaskFileName = "job.qrnl";
  const DownloadTask task(p);
  task.WriteProjectFile();
  Kept kept;
  for (int32_t x = task.MinX; x <= task.MaxX; ++x)
    for (int32_t y = task.MinY; y <= task.MaxY; ++y) {
      // A sea of one image, land of many, and a failed tile now and then.
      const uint64_t draw = random();
      const std::string bytes = draw % 17 == 0 ? "" : draw % 3 == 0 ? "\x89PNG sea" : "\x89PNG land " + std::to_string(draw);
      WriteFile(task.TileFilePath(x, y), bytes.empty() ? blank : bytes);
      kept[{x, y}] = bytes;
    }
  const auto repack = [&](bool toStore) {
    return std::vector<std::string>{CliPath(), "repack", task.ProjectFilePath(), "--store", toStore ? "file" : "folder"};
  };

  // One whole run each way, to know how long a run takes.
  const ChildResult there = RunChild(repack(true), scratch.Path(), std::chrono::seconds(120));
  ASSERT_TRUE(there.exited && there.exitCode == 0) << there.Describe() << there.err;
  const ChildResult back = RunChild(repack(false), scratch.Path(), std::chrono::seconds(120));
  ASSERT_TRUE(back.exited && back.exitCode == 0) << back.Describe() << back.err;
  const double longest = std::max(there.seconds, back.seconds);

  // Some runs end before their kill, so the task moves both ways.
  std::uniform_real_distribution<double> moment(0.0, longest * 1.5);
  int inStore = 0, finished = 0;
  bool toStore = true;
  for (int kill = 0; kill < kKills; ++kill) {
    const std::string stem = scratch / ("run-" + std::to_string(kill));
    {
      ChildProcess child(repack(toStore), stem + ".out", stem + ".err");
      std::this_thread::sleep_for(std::chrono::duration<double>(moment(random)));
      if (child.Ended()) ++finished;
      child.Signal(SIGKILL);
      child.Wait(std::chrono::seconds(30));
    }
    const Whole whole = Check(task.ProjectFilePath(), blank, kept);
    ASSERT_TRUE(whole.problem.empty()) << "after kill " << kill << ": " << whole.problem;
    inStore += whole.store;
    // Onwards from wherever the task now is.
    toStore = !whole.store;
  }
  const ChildResult last = RunChild(repack(true), scratch.Path(), std::chrono::seconds(120));
  ASSERT_TRUE(last.exited && last.exitCode == 0) << last.Describe() << last.err;
  // The store's own journal files aside (SQLite's business), nothing of the
  // folder or of a repack is left.
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(scratch.Path())) {
    const std::string name = entry.path().filename().string();
    if (name.find("job") != std::string::npos && !name.ends_with("-wal") && !name.ends_with("-shm")) left.insert(name);
  }
  EXPECT_EQ(left, (std::set<std::string>{"job.qrnl", "job.mbtiles"}));
  const Whole whole = Check(task.ProjectFilePath(), blank, kept);
  EXPECT_TRUE(whole.store);
  EXPECT_TRUE(whole.problem.empty()) << whole.problem;
  ReportFigure("repack kills", {{"kills", std::to_string(kKills)},
                                {"found in the store", std::to_string(inStore)},
                                {"ended before the kill", std::to_string(finished)},
                                {"tiles", std::to_string(kept.size())},
                                {"seconds a run", std::to_string(longest)}});
}
