// Project files that were cut short or hold absurd values must never crash
// the program nor make a worker pass over tiles it never saved.
#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <regex>
#include <set>

#include "AtomicFile.h"
#include "ChildProcess.h"
#include "CliTask.h"
#include "Figures.h"
#include "IniFile.h"
#include "ScriptedServer.h"
#include "TestFiles.h"
#include "TextFormat.h"
#include "Unitclasstask.h"
#include "WorkerRun.h"

namespace {

// Targets the server was asked for, for one run at a time.
class TargetLog {
 public:
  ScriptedAction Serve(const ScriptedRequest& request) {
    std::lock_guard lock(mutex_);
    targets_.insert(request.target);
    return Respond::Ok(BodyFor(request.target));
  }
  std::set<std::string> Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(targets_, {});
  }

 private:
  std::mutex mutex_;
  std::set<std::string> targets_;
};

struct Tile {
  int32_t x, y;
};

// The tile numbered seq (from 1) in the column-by-column walk.
Tile TileAt(const DownloadTask& task, int64_t seq) {
  const int64_t height = int64_t{task.MaxY} - task.MinY + 1;
  return {static_cast<int32_t>(task.MinX + (seq - 1) / height), static_cast<int32_t>(task.MinY + (seq - 1) % height)};
}

std::string ProjectWithValues(const std::string& zoom, const std::string& threads, const TaskEntries& area) {
  std::string text = "[MapsType]\r\nMapsType=8\r\n\r\n[AREA]\r\n";
  text += "LeftLongitude=" + area.left + "\r\nRightLongitude=" + area.right + "\r\n";
  text += "TopLatitude=" + area.top + "\r\nBottomLatitude=" + area.bottom + "\r\n\r\n";
  text += "[Zoom]\r\nZoom=" + zoom + "\r\n\r\n[THREADS]\r\nThreadCount=" + threads + "\r\n";
  for (int n = 1; n <= 8; ++n) text += "T" + std::to_string(n) + "X=\r\nT" + std::to_string(n) + "Y=\r\n";
  return text + "\r\n";
}

}  // namespace

// In-process: the set-up of a resumed task reads a project file cut at every
// byte; the workers it starts must still fetch every tile after the position
// each of them really saved.
TEST(StoredFiles, ProjectCutAtEveryByteNeverSkipsUnsavedTiles) {
  ScratchFolder scratch("cut");
  TargetLog targets;
  ScriptedServer server([&](const ScriptedRequest& request) { return targets.Serve(request); });

  TaskParameters params;
  params.LeftLongitude = 8.51;
  params.RightLongitude = 10.2;   // 6 columns at zoom 10
  params.TopLatitude = 47.52;
  params.BottomLatitude = 47.05;  // 3 rows
  params.Zoom = 10;
  params.ThreadCount = 3;
  params.SavePath = scratch.MakeFolder("save") + "/";
  params.TaskFileName = "cut.qrnl";
  params.Hosts.OpenStreetMap = "127.0.0.1:" + std::to_string(server.Port());
  params.Network.ReadTimeout = 5;
  const DownloadTask fresh(params);
  const int64_t total = fresh.TotalTiles;
  ASSERT_GE(total, 12);
  fresh.WriteProjectFile();

  // Each worker saved the second tile of its share (seq k + N, or 2N for worker 0).
  const int32_t n = params.ThreadCount;
  std::vector<int64_t> savedSeq;
  IniFile project(fresh.ProjectFilePath());
  for (int32_t k = 0; k < n; ++k) {
    const int64_t seq = (k == 0 ? n : k) + n;
    savedSeq.push_back(seq);
    const Tile tile = TileAt(fresh, seq);
    project.WriteInteger("THREADS", "T" + std::to_string(k + 1) + "X", tile.x);
    project.WriteInteger("THREADS", "T" + std::to_string(k + 1) + "Y", tile.y);
  }
  const std::string full = ReadFile(fresh.ProjectFilePath());

  int refused = 0, runs = 0, skippedUnsaved = 0;
  std::vector<std::string> problems;
  params.Resume = true;
  for (std::size_t cut = 0; cut <= full.size(); ++cut) {
    WriteFileAtomic(fresh.ProjectFilePath(), full.substr(0, cut), Durability::ProcessCrash);
    std::unique_ptr<DownloadTask> task;
    try {
      task = std::make_unique<DownloadTask>(params);
    } catch (const std::exception&) {
      ++refused;  // refusing is safe; crashing or skipping is not
      continue;
    }
    ++runs;
    targets.Take();
    WorkerRun workers;
    workers.RunToEnd(*task);
    const std::set<std::string> asked = targets.Take();
    for (int64_t seq = 1; seq <= total; ++seq) {
      const int32_t worker = static_cast<int32_t>(seq % n);
      if (seq <= savedSeq[worker]) continue;
      const Tile tile = TileAt(*task, seq);
      if (asked.count(TileTarget(params.Zoom, tile.x, tile.y)) == 0) {
        ++skippedUnsaved;
        if (problems.size() < 5)
          problems.push_back("cut at " + std::to_string(cut) + ": worker " + std::to_string(worker) +
                             " skipped seq " + std::to_string(seq));
      }
    }
  }
  ReportFigure("stored_project_cut", {Fig("file_bytes", full.size()), Fig("cuts", full.size() + 1),
                                      Fig("worker_runs", runs), Fig("refused", refused),
                                      Fig("unsaved_tiles_skipped", skippedUnsaved)});
  EXPECT_EQ(skippedUnsaved, 0) << ::testing::PrintToString(problems);
  EXPECT_GT(runs, 0);
}

// Through the command line: --open on project files with absurd thread counts
// and zoom levels. No crash, never more than 8 workers, and when workers ran,
// every tile of the task is on disk.
TEST(StoredFiles, AbsurdThreadCountAndZoomThroughOpen) {
  struct Case {
    std::string zoom, threads;
    TileRange area;  // the area written into the file, as tiles at zoom 12
  };
  const TileRange block{12, 2130, 2135, 1400, 1403};  // 6 x 4 tiles, more than 8 workers could share
  const TileRange point{12, 2131, 2131, 1401, 1401};  // one tile at any zoom
  std::vector<Case> cases;
  for (const char* threads : {"0", "-3", "9", "64", "2147483647", "99999999999", "abc", "0x7fffffff"})
    cases.push_back({"12", threads, block});
  for (const char* zoom : {"0", "-1", "19", "25", "31", "99", "2147483647", "-2147483648"})
    cases.push_back({zoom, "2", point});

  ScriptedServer server;
  int crashes = 0, workersOver8 = 0, skipped = 0, started = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE("Zoom=" + c.zoom + " ThreadCount=" + c.threads);
    ScratchFolder scratch("absurd");
    TaskEntries area;
    area.path = scratch.MakeFolder("save");
    area.task = "absurd.qrnl";
    SetEntriesCovering(c.area, area);
    // A stored task is its project file with the log and failed list beside it.
    WriteFile(area.path + "/absurd.qrnl", ProjectWithValues(c.zoom, c.threads, area));
    WriteFile(area.path + "/absurd_log.txt", "Log begin\r\n");
    WriteFile(area.path + "/absurd_failed.ftl", "");
    CliConfig config;
    config.port = server.Port();
    config.defaultPath = area.path;
    WriteConfig(scratch / "config.ini", config);
    const ChildResult run = RunChild({CliPath(), "--config", scratch / "config.ini", "--open", area.path + "/absurd.qrnl"},
                                     scratch.Path(), std::chrono::seconds(60));
    const std::vector<std::string> errLines = SplitTextLines(run.err);
    std::printf("case Zoom=%s ThreadCount=%s: %s, %s\n", c.zoom.c_str(), c.threads.c_str(), run.Describe().c_str(),
                errLines.empty() ? "" : errLines[0].c_str());
    if (!run.exited) ++crashes;
    EXPECT_TRUE(run.exited) << run.Describe() << "\n" << run.err;

    // Worker numbers in the log, and the zoom the tiles were fetched at.
    std::set<int> workerNumbers;
    std::set<std::string> okNames;
    const std::regex workerLine(R"(^T(\d+)[: ].*)"), okLine(R"(^T\d+:seq=\d+, (\S+) ->ok!$)");
    for (const std::string& line : SplitTextLines(run.out)) {
      std::smatch match;
      if (std::regex_match(line, match, workerLine)) workerNumbers.insert(std::stoi(match[1].str().substr(0, 9)));
      if (std::regex_match(line, match, okLine)) okNames.insert(match[1]);
    }
    if (!workerNumbers.empty() && *workerNumbers.rbegin() > 8) ++workersOver8;
    EXPECT_TRUE(workerNumbers.empty() || *workerNumbers.rbegin() <= 8) << "worker T" << *workerNumbers.rbegin();
    if (workerNumbers.empty()) continue;  // refused, or no worker at all: nothing to skip
    ++started;

    int zoomInForce = -1;
    if (!okNames.empty()) std::sscanf(okNames.begin()->c_str(), "os_%*d_%*d_%d.png", &zoomInForce);
    ASSERT_GE(zoomInForce, 0) << "workers ran but saved nothing:\n" << run.out;
    TaskEntries entries = area;
    entries.zoom = zoomInForce;
    const TileRange range = RangeOf(entries);
    const TaskPaths paths = PathsOf(entries);
    const TileAudit audit = AuditTiles(range, paths, FailedPaths(ReadFailedList(paths.failedList)));
    skipped += static_cast<int>(audit.missingUnlisted + audit.wrongBytes);
    EXPECT_EQ(audit.missingUnlisted, 0) << ::testing::PrintToString(audit.problems) << run.out;
    EXPECT_EQ(audit.wrongBytes, 0) << ::testing::PrintToString(audit.problems);
    EXPECT_EQ(static_cast<int64_t>(okNames.size()), range.Count()) << "only the task's own tiles are fetched";
  }
  ReportFigure("stored_absurd_values", {Fig("cases", cases.size()), Fig("tasks_started", started),
                                        Fig("crashes", crashes), Fig("workers_over_8", workersOver8),
                                        Fig("tiles_skipped", skipped)});
}
