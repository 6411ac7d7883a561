// A task kept in one file, killed with SIGKILL 30 times at seeded moments
// and resumed each time. After every kill, each worker's saved position may
// name only tiles the file holds, and every tile the log calls saved is in
// it; once the task has run to its end, the file passes SQLite's integrity
// check and holds every tile with the server's bytes.
#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <random>
#include <thread>

#include "ChildProcess.h"
#include "CliTask.h"
#include "Figures.h"
#include "FileChecks.h"
#include "Files.h"
#include "RequestCounter.h"
#include "ScriptedServer.h"
#include "TextFormat.h"
#include "TileStore.h"

namespace {

constexpr uint64_t kSeed = 20261209;
constexpr int kKills = 30;

// Tiles before each worker's saved position (its share only) that the file
// lacks: a position that runs ahead of the commits.
int64_t TilesAheadOfTheFile(const TileStore& store, const std::string& projectPath, const TileRange& range,
                            int workers) {
  const IniSections ini = ParseIniText(ReadFile(projectPath), nullptr);
  const auto threads = ini.find("threads");
  if (threads == ini.end()) return 0;
  const int64_t height = range.maxY - range.minY + 1;
  int64_t ahead = 0;
  for (int k = 0; k < workers; ++k) {
    const auto key = [&](const char* axis) {
      const auto found = threads->second.find("t" + std::to_string(k + 1) + axis);
      return found == threads->second.end() || found->second.empty() ? 0 : std::stoll(found->second);
    };
    const int64_t x = key("x"), y = key("y");
    if (x == 0 || y == 0) continue;
    const int64_t skip = (x - range.minX) * height + (y - range.minY) + 1;
    for (int64_t seq = 1; seq <= skip; ++seq) {
      if (seq % workers != k) continue;
      const auto tx = static_cast<int32_t>(range.minX + (seq - 1) / height);
      const auto ty = static_cast<int32_t>(range.minY + (seq - 1) % height);
      if (store.State(range.zoom, tx, ty) != TileState::Data) ++ahead;
    }
  }
  return ahead;
}

// Tiles the log calls saved ("..., os_x_y_z.png ->ok!") that the file lacks.
int64_t LoggedButNotStored(const TileStore& store, const std::string& logPath) {
  int64_t missing = 0;
  for (const std::string& line : SplitTextLines(ReadFile(logPath))) {
    if (!line.ends_with(" ->ok!")) continue;
    const std::size_t name = line.find("os_");
    int x = 0, y = 0, z = 0;
    if (name == std::string::npos || std::sscanf(line.c_str() + name, "os_%d_%d_%d.", &x, &y, &z) != 3) continue;
    if (store.State(z, x, y) != TileState::Data) ++missing;
  }
  return missing;
}

}  // namespace

TEST(KillResumeStore, KilledThirtyTimesAndResumedHoldsEveryTileWhole) {
  std::mt19937_64 random(kSeed);
  ScratchFolder scratch("killstore");
  RequestCounter requests;
  std::atomic<int> delayMs{80};
  ScriptedServer server([&](const ScriptedRequest& request) {
    requests.Next(request.target);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs.load()));
    return Respond::Ok(BodyFor(request.target));
  });

  TaskEntries entries;
  entries.threads = 3;
  entries.path = scratch.MakeFolder("save");
  entries.task = "store.qrnl";
  entries.moreArgs = {"--store", "file"};
  SetEntriesCovering(TileRange{14, 8580, 8639, 5740, 5799}, entries);
  const TileRange range = RangeOf(entries);
  ASSERT_EQ(range.Count(), 3600);

  CliConfig config;
  config.port = server.Port();
  config.defaultPath = entries.path;
  WriteConfig(scratch / "config.ini", config);
  const std::vector<std::string> args = CliTaskArgs(scratch / "config.ini", entries);
  const TaskPaths paths = PathsOf(entries);
  const std::string storePath = TileStorePathFor(paths.project);

  // Most kills after the first save (every 4 s), some before it.
  std::uniform_real_distribution<double> moment(0.3, 6.5);
  int kills = 0, runs = 0;
  int64_t ahead = 0, loggedMissing = 0;
  bool completed = false;
  while (!completed && runs < kKills + 10) {
    const bool killThisRun = kills < kKills;
    if (!killThisRun) delayMs = 0;
    const std::string stem = scratch / ("run-" + std::to_string(runs++));
    ChildProcess child(args, stem + ".out", stem + ".err");
    if (killThisRun) {
      const double at = moment(random);
      while (!child.Ended() && child.SecondsRunning() < at) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (!child.Ended()) {
        child.Signal(SIGKILL);
        child.Wait(std::chrono::seconds(30));
        ++kills;
        if (FileExists(storePath)) {
          const auto store = TileStore::OpenReadOnly(storePath);
          ahead += TilesAheadOfTheFile(*store, paths.project, range, entries.threads);
          loggedMissing += LoggedButNotStored(*store, paths.log);
        }
        continue;
      }
    }
    const ChildResult last = child.Wait(std::chrono::seconds(180));
    ASSERT_TRUE(last.exited && (last.exitCode == 0 || last.exitCode == 1))
        << "run " << runs << ": " << last.Describe() << "\n" << last.err;
    ASSERT_NE(last.out.find("Task Stoped!"), std::string::npos) << "run " << runs << " did not close";
    completed = true;
  }
  ASSERT_TRUE(completed);

  const auto store = TileStore::OpenReadOnly(storePath);
  int64_t missing = 0, wrong = 0;
  for (int32_t x = range.minX; x <= range.maxX; ++x)
    for (int32_t y = range.minY; y <= range.maxY; ++y) {
      const std::optional<std::string> bytes = store->ReadTile(range.zoom, x, y);
      if (!bytes) ++missing;
      else if (*bytes != BodyFor(TileTarget(range.zoom, x, y))) ++wrong;
    }
  ReportFigure("kill_resume_store", {Fig("seed", kSeed), Fig("tiles", range.Count()), Fig("runs", runs),
                                     Fig("kills", kills), Fig("requests", requests.Total()),
                                     Fig("positions_ahead", ahead), Fig("logged_not_stored", loggedMissing),
                                     Fig("missing", missing), Fig("wrong_bytes", wrong)});
  EXPECT_EQ(kills, kKills);
  EXPECT_EQ(store->IntegrityCheck(), "ok");
  EXPECT_EQ(ahead, 0) << "a saved position named a tile the file did not hold";
  EXPECT_EQ(loggedMissing, 0) << "the log called a tile saved that the file did not hold";
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(store->CountTiles(TileState::Data), range.Count());
  EXPECT_EQ(store->CountTiles(TileState::Placeholder), 0);
  EXPECT_TRUE(ReadFailedList(paths.failedList).empty());
  EXPECT_FALSE(Exists(paths.tileFolder)) << "a task in one file makes no tile folder";
}
