// Failures whose byte counts or port numbers happen to read "403", "404" or
// "302" must not be taken for a ban or a missing tile: the worker (and the
// re-download) go on with the next tile.
#include <gtest/gtest.h>

#include <map>

#include "ChildProcess.h"
#include "CliTask.h"
#include "Figures.h"
#include "Ftl.h"
#include "RefusingPort.h"
#include "ScriptedServer.h"
#include "TDownThread.h"
#include "TestFiles.h"
#include "TileHttpClient.h"

namespace {

using Then = ScriptedAction::Then;

// A 4,000-byte tile announced whole, cut after n bytes of the body (or of the
// whole answer), then left hanging, reset or closed.
ScriptedAction CutAfter(std::size_t n, bool countWholeAnswer, Then then) {
  const std::string full = Respond::Ok(std::string(4000, 'q')).bytes;
  const std::size_t head = full.find("\r\n\r\n") + 4;
  return Respond::Raw(full.substr(0, countWholeAnswer ? n : head + n), then);
}

struct Cut {
  const char* name;
  ScriptedAction action;
};

std::vector<Cut> Cuts() {
  return {
      {"timeout_after_403_body_bytes", CutAfter(403, false, Then::Stall)},
      {"reset_after_404_body_bytes", CutAfter(404, false, Then::Reset)},
      {"timeout_after_403_bytes", CutAfter(403, true, Then::Stall)},
      {"reset_after_404_bytes", CutAfter(404, true, Then::Reset)},
      {"timeout_after_302_body_bytes", CutAfter(302, false, Then::Stall)},
      {"close_after_403_body_bytes", CutAfter(403, false, Then::Close)},
      {"close_after_404_bytes", CutAfter(404, true, Then::Close)},
      {"timeout_after_404_body_bytes", CutAfter(404, false, Then::Stall)},
      {"reset_after_403_body_bytes", CutAfter(403, false, Then::Reset)},
  };
}

TaskEntries OneColumn(const ScratchFolder& scratch, int tiles) {
  TaskEntries entries;
  entries.threads = 1;
  entries.path = scratch.MakeFolder("save");
  entries.task = "bans.qrnl";
  SetEntriesCovering(TileRange{12, 2130, 2130, 1400, 1400 + tiles - 1}, entries);
  return entries;
}

}  // namespace

TEST(FalseBans, CutAnswersWithBanLikeByteCountsDoNotStopTheWorker) {
  ScratchFolder scratch("falseban");
  const std::vector<Cut> cuts = Cuts();
  const TaskEntries entries = OneColumn(scratch, static_cast<int>(cuts.size()) + 2);
  const TileRange range = RangeOf(entries);
  std::map<std::string, std::size_t> cutFor;
  for (std::size_t i = 0; i < cuts.size(); ++i) cutFor[TileTarget(range.zoom, range.minX, range.minY + int32_t(i))] = i;
  ScriptedServer server([&](const ScriptedRequest& request) {
    const auto it = cutFor.find(request.target);
    return it == cutFor.end() ? Respond::Ok(BodyFor(request.target)) : cuts[it->second].action;
  });

  CliConfig config;
  config.port = server.Port();
  config.defaultPath = entries.path;
  config.readTimeout = 1;
  config.repeatLimit = 2;
  const ChildResult run = RunCliTask(scratch.Path(), config, entries, std::chrono::seconds(120));
  ASSERT_TRUE(run.exited) << run.Describe();

  const TaskPaths paths = PathsOf(entries);
  const std::set<std::string> failed = FailedPaths(ReadFailedList(paths.failedList));
  int listed = 0;
  for (std::size_t i = 0; i < cuts.size(); ++i) {
    const std::string path = paths.tileFolder + "/" + TileName(range.zoom, range.minX, range.minY + int32_t(i));
    const bool isListed = failed.count(path) > 0;
    listed += isListed;
    EXPECT_TRUE(isListed) << cuts[i].name << ": an incomplete tile must be listed as failed";
  }
  const int64_t banLines = CountLinesContaining(run.out, "banned");
  const int64_t notFoundLines = CountLinesContaining(run.out, kNotFoundText);
  const int64_t okAfter = CountLinesContaining(run.out, "->ok!");
  ReportFigure("false_bans_worker", {Fig("cut_answers", cuts.size()), Fig("listed", listed),
                                     Fig("ban_lines", banLines), Fig("not_found_lines", notFoundLines),
                                     Fig("ok_after", okAfter)});
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_EQ(banLines, 0) << run.out;
  EXPECT_EQ(notFoundLines, 0) << run.out;
  EXPECT_EQ(okAfter, 2) << "the two sound tiles after the cut ones must be fetched\n" << run.out;
}

TEST(FalseBans, RefusedPortsNumbered403And404AreNeitherBanNorMissingTile) {
  for (const char* digits : {"403", "404", "302"}) {
    ScratchFolder scratch("refused");
    RefusingPort refusing(digits);
    ASSERT_NE(refusing.Port(), 0) << "no free port containing " << digits;
    const TaskEntries entries = OneColumn(scratch, 3);
    CliConfig config;
    config.port = refusing.Port();
    config.defaultPath = entries.path;
    config.connectTimeout = 2;
    config.repeatLimit = 1;
    const ChildResult run = RunCliTask(scratch.Path(), config, entries, std::chrono::seconds(60));
    ASSERT_TRUE(run.exited) << run.Describe();
    const int64_t listed = static_cast<int64_t>(ReadFailedList(PathsOf(entries).failedList).size());
    const int64_t banLines = CountLinesContaining(run.out, "banned");
    const int64_t notFoundLines = CountLinesContaining(run.out, kNotFoundText);
    ReportFigure("false_bans_refused_port",
                 {Fig("port", refusing.Port()), Fig("tiles", 3), Fig("listed", listed),
                  Fig("ban_lines", banLines), Fig("not_found_lines", notFoundLines)});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(listed, 3) << "every refused tile is tried and listed\n" << run.out;
    EXPECT_EQ(banLines, 0) << run.out;
    EXPECT_EQ(notFoundLines, 0) << run.out;
  }
}

TEST(FalseBans, RedownloadGoesOnPastCutAnswers) {
  ScratchFolder scratch("falseban-ftl");
  const std::vector<Cut> cuts = Cuts();
  ScriptedServer server([&](const ScriptedRequest& request) {
    const std::size_t slash = request.target.rfind('/');
    const std::size_t i = std::stoul(request.target.substr(slash + 1));
    return i < cuts.size() ? cuts[i].action : Respond::Ok(BodyFor(request.target));
  });
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < cuts.size() + 2; ++i)
    lines.push_back(scratch / TileName(7, 1, int32_t(i)) + "|" + server.BaseUrl() + "/7/1/" + std::to_string(i));
  const std::string listPath = scratch / "cuts_failed.ftl";
  WriteFile(listPath, JoinLinesCrLf(lines));

  NetworkSettings network;
  network.ReadTimeout = 1;
  network.ConnectTimeout = 2;
  network.RepeatLimit = 2;
  std::vector<std::string> shown;
  const RedownloadResult result =
      RedownloadFailedList(listPath, network, ProxyConfig{}, [&](const std::string& line) { shown.push_back(line); });
  int64_t banLines = 0, notFoundLines = 0;
  for (const std::string& line : shown) {
    banLines += line.find("banned") != std::string::npos;
    notFoundLines += line.find(kNotFoundText) != std::string::npos;
  }
  ReportFigure("false_bans_redownload", {Fig("cut_answers", cuts.size()), Fig("ok", result.ok),
                                         Fig("failed", result.failed), Fig("ban_lines", banLines),
                                         Fig("not_found_lines", notFoundLines)});
  EXPECT_FALSE(result.banned);
  EXPECT_EQ(banLines, 0) << ::testing::PrintToString(shown);
  EXPECT_EQ(notFoundLines, 0) << ::testing::PrintToString(shown);
  EXPECT_EQ(result.ok, 2);
  EXPECT_EQ(result.failed, static_cast<int>(cuts.size()));
  for (std::size_t i = 0; i < cuts.size(); ++i)
    EXPECT_FALSE(Exists(scratch / TileName(7, 1, int32_t(i)))) << cuts[i].name << " left a file";
  for (std::size_t i = cuts.size(); i < cuts.size() + 2; ++i)
    EXPECT_EQ(ReadFile(scratch / TileName(7, 1, int32_t(i))), BodyFor("/7/1/" + std::to_string(i)));
}
