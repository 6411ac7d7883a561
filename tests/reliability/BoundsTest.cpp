// Answers and tasks far beyond any tile: huge or endless bodies, absurd
// lengths and headers, a full disk, the whole world at deep zoom levels. Each
// must end cleanly, with bounded memory, and never be taken for a success.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

#include "ChildProcess.h"
#include "CliTask.h"
#include "Figures.h"
#include "ScriptedServer.h"
#include "TestFiles.h"

namespace {

constexpr long kMemoryLimitKb = 200 * 1024;

struct HugeAnswer {
  const char* name;
  ScriptedAction action;
};

ScriptedAction MiBHeader() {
  return Respond::Raw("HTTP/1.1 200 OK\r\nX-Filler: " + std::string(std::size_t{1} << 20, 'h') +
                      "\r\nContent-Length: 5\r\n\r\nhello");
}

ScriptedAction EndlessChunk() {
  ScriptedAction action = Respond::Raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7fffffffffffffff\r\n",
                                       ScriptedAction::Then::Close);
  action.fillerBytes = ScriptedAction::kEndless;
  return action;
}

std::vector<HugeAnswer> HugeAnswers() {
  return {
      {"body_1GiB", Respond::Huge(uint64_t{1} << 30)},
      {"body_endless", Respond::Endless()},
      {"content_length_2p63m1", Respond::Huge(std::numeric_limits<int64_t>::max(), ScriptedAction::kEndless)},
      {"header_1MiB", MiBHeader()},
      {"chunk_endless", EndlessChunk()},
  };
}

TaskEntries OneTile(const ScratchFolder& scratch, const std::string& task) {
  TaskEntries entries;
  entries.threads = 1;
  entries.path = scratch.MakeFolder("save");
  entries.task = task;
  SetEntriesCovering(TileRange{11, 1070, 1070, 720, 720}, entries);
  return entries;
}

}  // namespace

TEST(Bounds, HugeAnswersFailCleanlyInBoundedMemory) {
  for (const HugeAnswer& answer : HugeAnswers()) {
    SCOPED_TRACE(answer.name);
    ScratchFolder scratch("huge");
    ScriptedServer server([&](const ScriptedRequest&) { return answer.action; });
    const TaskEntries entries = OneTile(scratch, "huge.qrnl");
    CliConfig config;
    config.port = server.Port();
    config.defaultPath = entries.path;
    config.readTimeout = 5;
    config.repeatLimit = 1;
    const ChildResult run = RunCliTask(scratch.Path(), config, entries, std::chrono::seconds(120));

    const TaskPaths paths = PathsOf(entries);
    const TileRange range = RangeOf(entries);
    const std::string tile = paths.tileFolder + "/" + TileName(range.zoom, range.minX, range.minY);
    const bool listed = FailedPaths(ReadFailedList(paths.failedList)).count(tile) > 0;
    ReportFigure("bounds_answer", {Fig("case", answer.name), Fig("end", run.Describe()),
                                   Fig("max_rss_mb", run.maxRssKb / 1024), Fig("listed", listed),
                                   Fig("seconds", static_cast<int>(run.seconds))});
    ASSERT_TRUE(run.exited) << run.Describe() << "\n" << run.err;
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_LT(run.maxRssKb, kMemoryLimitKb);
    EXPECT_TRUE(listed);
    EXPECT_EQ(CountLinesContaining(run.out, "->ok!"), 0) << "a cut or refused answer is no tile";
    if (Exists(tile)) {
      EXPECT_EQ(ReadFile(tile), ReadFile(BlankImagePath())) << "only the blank image may stand in";
    }
  }
}

// The slider stops at 18, so zoom 20 can only come from a stored project
// file; 16 and 18 are tried both ways.
TEST(Bounds, WholeWorldAtDeepZoomIsRefusedNotWrapped) {
  const std::vector<std::pair<int, bool>> cases = {{16, false}, {18, false}, {16, true}, {18, true}, {20, true}};
  for (const auto& [zoom, viaOpen] : cases) {
    SCOPED_TRACE(std::to_string(zoom) + (viaOpen ? " via --open" : " via options"));
    ScratchFolder scratch("world");
    ScriptedServer server;
    TaskEntries entries;
    entries.left = "-180";
    entries.right = "180";
    entries.top = "85";
    entries.bottom = "-85";
    entries.zoom = zoom;
    entries.threads = 8;
    entries.path = scratch.MakeFolder("save");
    entries.task = "world.qrnl";
    CliConfig config;
    config.port = server.Port();
    config.defaultPath = entries.path;
    WriteConfig(scratch / "config.ini", config);
    std::vector<std::string> args = CliTaskArgs(scratch / "config.ini", entries);
    const std::string stored = scratch / "stored.qrnl";
    if (viaOpen) {
      WriteFile(stored, "[MapsType]\r\nMapsType=8\r\n\r\n[AREA]\r\nLeftLongitude=-180\r\nRightLongitude=180\r\n"
                         "TopLatitude=85\r\nBottomLatitude=-85\r\n\r\n[Zoom]\r\nZoom=" + std::to_string(zoom) +
                         "\r\n\r\n[THREADS]\r\nThreadCount=8\r\n");
      args = {CliPath(), "--config", scratch / "config.ini", "--open", stored,
              "--path", entries.path, "--task", entries.task};
    }
    const ChildResult run = RunChild(args, scratch.Path(), std::chrono::seconds(60));
    ReportFigure("bounds_world", {Fig("zoom", zoom), Fig("route", viaOpen ? "open" : "options"),
                                  Fig("end", run.Describe()), Fig("requests", server.RequestCount()),
                                  Fig("max_rss_mb", run.maxRssKb / 1024)});
    ASSERT_TRUE(run.exited) << run.Describe();
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
    EXPECT_NE(run.err.find("Error: Create task failure."), std::string::npos) << run.err;
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_FALSE(Exists(PathsOf(entries).project)) << "a refused task writes no project file";
    EXPECT_FALSE(Exists(PathsOf(entries).tileList));
    EXPECT_LT(run.maxRssKb, kMemoryLimitKb);
  }
}

// A small tmpfs as the save folder: the disk fills up in the middle of the task.
TEST(Bounds, FullDiskGivesClearLinesAndANormalClose) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  ScratchFolder scratch("fulldisk");
  const std::string mountPoint = scratch.MakeFolder("small");
  if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k") != 0) {
    if (errno == EPERM) GTEST_SKIP() << "no permission to mount a tmpfs here";
    FAIL() << "mount: " << std::strerror(errno);
  }
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{mountPoint};

  ScriptedServer server;
  TaskEntries entries;
  entries.threads = 4;
  entries.path = mountPoint;
  entries.task = "full.qrnl";
  entries.moreArgs = {"--no-space-check"};  // the disk is meant to fill up
  SetEntriesCovering(TileRange{12, 2130, 2149, 1400, 1419}, entries);
  CliConfig config;
  config.port = server.Port();
  config.defaultPath = entries.path;
  const ChildResult run = RunCliTask(scratch.Path(), config, entries, std::chrono::seconds(120));

  const TileRange range = RangeOf(entries);
  const TaskPaths paths = PathsOf(entries);
  const std::string blank = ReadFile(BlankImagePath());
  int64_t onDisk = 0, partial = 0;
  for (const auto& entry : std::filesystem::directory_iterator(paths.tileFolder)) {
    const std::string name = entry.path().filename().string();
    int x = 0, y = 0, z = 0;
    const std::string bytes = ReadFile(entry.path().string());
    const bool tile = std::sscanf(name.c_str(), "os_%d_%d_%d.png", &x, &y, &z) == 3;
    ++onDisk;
    if (!tile || (bytes != BodyFor(TileTarget(z, x, y)) && bytes != blank)) ++partial;
  }
  const int64_t noSpaceLines = CountLinesContaining(run.out, "No space left on device");
  ReportFigure("bounds_full_disk", {Fig("tiles", range.Count()), Fig("files_on_disk", onDisk),
                                    Fig("partial_or_foreign_files", partial),
                                    Fig("no_space_lines", noSpaceLines), Fig("end", run.Describe())});
  ASSERT_TRUE(run.exited) << run.Describe() << "\n" << run.err;
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_GT(noSpaceLines, 0) << "the log should say why tiles were not saved\n" << run.out.substr(0, 2000);
  EXPECT_NE(run.out.find("Task Stoped!"), std::string::npos) << "the task should close normally";
  EXPECT_LT(onDisk, range.Count()) << "the disk was meant to fill up";
  EXPECT_EQ(partial, 0);
}
