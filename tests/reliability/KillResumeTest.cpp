// A task killed with SIGKILL over and over and resumed each time must end
// with every tile either on disk with the server's bytes or in the failed
// list, and nothing half-written anywhere.
//
// Progress reaches the project file every 4 seconds, so a kill after that
// point keeps about 4 s of work and one before it keeps none. For 20 kills,
// most of them late, the task holds more than 16 late kills' worth of work
// at the server's pace (3600 tiles, 2 workers, 50 ms an answer); after the
// last planned kill the server answers at full speed and the task runs to
// its end.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <set>
#include <thread>

#include "ChildProcess.h"
#include "CliTask.h"
#include "Figures.h"
#include "FileChecks.h"
#include "RequestCounter.h"
#include "ScriptedServer.h"
#include "TextFormat.h"

namespace {

constexpr uint64_t kSeed = 20240611;
constexpr int kLateKills = 16;
constexpr int kEarlyKills = 6;

// The positions the monitor saved, as one comparable text.
std::string SavedPositions(const std::string& projectPath) {
  const IniSections ini = ParseIniText(ReadFile(projectPath), nullptr);
  const auto threads = ini.find("threads");
  if (threads == ini.end()) return {};
  std::string positions;
  for (const auto& [key, value] : threads->second)
    if (key != "threadcount") positions += key + "=" + value + ";";
  return positions;
}

std::vector<double> KillMoments(std::mt19937_64& random) {
  std::uniform_real_distribution<double> late(4.6, 5.8), early(0.3, 3.7);
  std::vector<double> moments;
  for (int i = 0; i < kLateKills; ++i) moments.push_back(late(random));
  for (int i = 0; i < kEarlyKills; ++i) moments.push_back(early(random));
  std::shuffle(moments.begin(), moments.end(), random);
  return moments;
}

// Each project key is a section, an empty line or a key whose value is a
// number or empty; the stored entries are the ones typed.
void ExpectProjectParses(const std::string& path, const TaskEntries& entries, const TileRange& range) {
  const std::string text = ReadFile(path);
  EXPECT_TRUE(EveryLineEndsWithCrLf(text)) << path;
  std::vector<std::string> malformed;
  IniSections ini = ParseIniText(text, &malformed);
  EXPECT_TRUE(malformed.empty()) << "first malformed line: " << (malformed.empty() ? "" : malformed[0]);
  EXPECT_EQ(ini["area"]["leftlongitude"], entries.left);
  EXPECT_EQ(ini["area"]["rightlongitude"], entries.right);
  EXPECT_EQ(ini["area"]["toplatitude"], entries.top);
  EXPECT_EQ(ini["area"]["bottomlatitude"], entries.bottom);
  EXPECT_EQ(ini["zoom"]["zoom"], std::to_string(entries.zoom));
  EXPECT_EQ(ini["xy"]["minx"], std::to_string(range.minX));
  EXPECT_EQ(ini["xy"]["maxx"], std::to_string(range.maxX));
  EXPECT_EQ(ini["xy"]["miny"], std::to_string(range.minY));
  EXPECT_EQ(ini["xy"]["maxy"], std::to_string(range.maxY));
  EXPECT_EQ(ini["threads"]["threadcount"], std::to_string(entries.threads));
  for (int n = 1; n <= entries.threads; ++n) {
    for (const char* axis : {"x", "y"}) {
      const std::string value = ini["threads"]["t" + std::to_string(n) + axis];
      EXPECT_TRUE(value.find_first_not_of("0123456789") == std::string::npos)
          << "T" << n << axis << "=" << value;
    }
  }
}

}  // namespace

TEST(KillResume, KilledAtSeededMomentsAndResumedEndsWithEveryTileWholeOrListed) {
  std::mt19937_64 random(kSeed);
  ScratchFolder scratch("kill");
  RequestCounter requests;
  std::atomic<int> delayMs{50};
  ScriptedServer server([&](const ScriptedRequest& request) {
    const int attempt = requests.Next(request.target);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs.load()));
    const uint64_t draw = SeededDraw(kSeed, request.target, 0);
    if (draw % 89 == 0) return Respond::Status(404, "Not Found");  // always missing
    if (attempt == 0 && draw % 23 == 1) return Respond::Reset();   // once, then fine
    if (attempt == 0 && draw % 29 == 2) return Respond::CloseMidBody(BodyFor(request.target), 100);
    return Respond::Ok(BodyFor(request.target));
  });

  TaskEntries entries;
  entries.threads = 2;
  entries.path = scratch.MakeFolder("save");
  entries.task = "soak.qrnl";
  SetEntriesCovering(TileRange{14, 8580, 8651, 5740, 5789}, entries);
  const TileRange range = RangeOf(entries);
  ASSERT_EQ(range.Count(), 3600) << "entries " << entries.left << " " << entries.right << " "
                                 << entries.top << " " << entries.bottom;

  CliConfig config;
  config.port = server.Port();
  config.defaultPath = entries.path;
  WriteConfig(scratch / "config.ini", config);
  const std::vector<std::string> args = CliTaskArgs(scratch / "config.ini", entries);
  const TaskPaths paths = PathsOf(entries);

  const std::vector<double> moments = KillMoments(random);
  int kills = 0, killsAfterSave = 0, runs = 0;
  ChildResult last;
  bool completed = false;
  int64_t requestsBeforeLastRun = 0;
  const auto started = std::chrono::steady_clock::now();
  while (!completed && runs < 60) {
    const bool killThisRun = kills < static_cast<int>(moments.size());
    if (!killThisRun) {
      delayMs = 0;
      requestsBeforeLastRun = requests.Total();
    }
    const std::string before = SavedPositions(paths.project);
    const std::string stem = scratch / ("run-" + std::to_string(runs++));
    ChildProcess child(args, stem + ".out", stem + ".err");
    if (killThisRun) {
      while (!child.Ended() && child.SecondsRunning() < moments[kills])
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (!child.Ended()) {
        child.Signal(SIGKILL);
        last = child.Wait(std::chrono::seconds(30));
        ++kills;
        if (SavedPositions(paths.project) != before) ++killsAfterSave;
        continue;
      }
    }
    last = child.Wait(std::chrono::seconds(180));
    ASSERT_TRUE(last.exited) << "run " << runs << " ended by " << last.Describe() << "\n" << last.err;
    ASSERT_TRUE(last.exitCode == 0 || last.exitCode == 1)
        << "run " << runs << ": " << last.Describe() << "\nstderr: " << last.err;
    ASSERT_NE(last.out.find("Task Stoped!"), std::string::npos) << "run " << runs << " did not close";
    completed = true;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ASSERT_TRUE(completed) << "the task never completed in " << runs << " runs";

  const std::vector<FailedEntry> failed = ReadFailedList(paths.failedList);
  const TileAudit audit = AuditTiles(range, paths, FailedPaths(failed));
  const std::vector<std::string> strays = StrayFiles(entries, range);
  ReportFigure("kill_resume", {Fig("seed", kSeed), Fig("tiles", audit.tiles), Fig("runs", runs),
                               Fig("kills", kills), Fig("kills_after_save", killsAfterSave),
                               Fig("requests", requests.Total()),
                               Fig("last_run_requests", requests.Total() - requestsBeforeLastRun),
                               Fig("listed_failed", audit.listed),
                               Fig("missing_unlisted", audit.missingUnlisted),
                               Fig("wrong_bytes", audit.wrongBytes), Fig("stray_files", strays.size()),
                               Fig("seconds", static_cast<int>(seconds))});

  EXPECT_GE(kills, 20);
  EXPECT_GT(killsAfterSave, kills / 2) << "most kills should come after a save";
  EXPECT_LT(requests.Total() - requestsBeforeLastRun, audit.tiles) << "the last run must resume, not start over";
  EXPECT_EQ(audit.missingUnlisted, 0) << ::testing::PrintToString(audit.problems);
  EXPECT_EQ(audit.wrongBytes, 0) << ::testing::PrintToString(audit.problems);
  EXPECT_TRUE(strays.empty()) << ::testing::PrintToString(strays);
  // Only the tiles the server never serves may stay failed.
  for (const FailedEntry& entry : failed) {
    const std::string target = entry.url.substr(entry.url.find('/', std::string("http://").size()));
    EXPECT_EQ(SeededDraw(kSeed, target, 0) % 89, 0u) << "listed but servable: " << entry.path;
  }
  ExpectProjectParses(paths.project, entries, range);
  const std::string list = ReadFile(paths.tileList);
  EXPECT_TRUE(EveryLineEndsWithCrLf(list));
  EXPECT_EQ(SplitTextLines(list).size(), static_cast<std::size_t>(range.Count() + 1));
  EXPECT_TRUE(EveryLineEndsWithCrLf(ReadFile(paths.log)));
  EXPECT_TRUE(EveryLineEndsWithCrLf(ReadFile(paths.failedList)));
}

// Large tiles make each write last long enough for a kill to land inside
// one: whatever the kill interrupts, the tile folder and the save folder
// must hold only whole files, during the runs and after the task is done.
TEST(KillResume, KilledWhileWritingLargeTilesLeavesNoTemporaries) {
  constexpr uint64_t kWriteSeed = 424242;
  constexpr int kKills = 24;
  constexpr std::size_t kTileBytes = std::size_t{40} << 20;  // below the 64 MiB tile cap the task is given
  std::mt19937_64 random(kWriteSeed);
  ScratchFolder scratch("killwrite");
  auto largeBody = [&](const std::string& target) {
    std::string body = BodyFor(target);
    body.resize(kTileBytes, static_cast<char>(body.size()));
    return body;
  };
  ScriptedServer server([&](const ScriptedRequest& request) { return Respond::Ok(largeBody(request.target)); });

  TaskEntries entries;
  entries.threads = 1;
  entries.path = scratch.MakeFolder("save");
  entries.task = "large.qrnl";
  SetEntriesCovering(TileRange{12, 2130, 2133, 1400, 1402}, entries);
  const TileRange range = RangeOf(entries);
  CliConfig config;
  config.port = server.Port();
  config.defaultPath = entries.path;
  config.moreNetworkLines = "MaxTileBytes=67108864\r\nCheckTileBodies=0\r\n";  // filler bytes, no image
  WriteConfig(scratch / "config.ini", config);
  const std::vector<std::string> args = CliTaskArgs(scratch / "config.ini", entries);

  std::uniform_real_distribution<double> moment(0.15, 0.9);
  int kills = 0;
  std::set<std::string> strayedDuringRuns;  // every stray seen after any kill
  for (int run = 0; run < kKills; ++run) {
    const std::string stem = scratch / ("run-" + std::to_string(run));
    ChildProcess child(args, stem + ".out", stem + ".err");
    const double at = moment(random);
    while (!child.Ended() && child.SecondsRunning() < at) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (child.Ended()) continue;
    child.Signal(SIGKILL);
    child.Wait(std::chrono::seconds(30));
    ++kills;
    for (const std::string& stray : StrayFiles(entries, range)) strayedDuringRuns.insert(stray);
  }
  const ChildResult last = RunChild(args, scratch.Path(), std::chrono::seconds(180));
  ASSERT_TRUE(last.exited) << last.Describe() << "\n" << last.err;

  const TaskPaths paths = PathsOf(entries);
  int64_t wholeTiles = 0;
  for (int32_t x = range.minX; x <= range.maxX; ++x)
    for (int32_t y = range.minY; y <= range.maxY; ++y)
      wholeTiles += ReadFile(paths.tileFolder + "/" + TileName(range.zoom, x, y)) == largeBody(TileTarget(range.zoom, x, y));
  const std::vector<std::string> strays = StrayFiles(entries, range);
  ReportFigure("kill_during_write", {Fig("seed", kWriteSeed), Fig("tile_mib", kTileBytes >> 20), Fig("kills", kills),
                                     Fig("strays_after_kills", strayedDuringRuns.size()),
                                     Fig("strays_after_completion", strays.size()), Fig("whole_tiles", wholeTiles),
                                     Fig("tiles", range.Count())});
  EXPECT_EQ(last.exitCode, 0) << last.err;
  EXPECT_EQ(wholeTiles, range.Count());
  EXPECT_TRUE(strays.empty()) << "left behind: " << ::testing::PrintToString(strays);
  EXPECT_TRUE(strayedDuringRuns.empty()) << ::testing::PrintToString(strayedDuringRuns);
}
