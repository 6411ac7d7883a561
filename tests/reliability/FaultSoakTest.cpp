// 2,000 tiles, 8 workers, a server that answers about a third of all requests
// badly: every tile must end as exactly one of an "ok" line with the right
// bytes on disk, or a failed-list entry.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <regex>

#include "ChildProcess.h"
#include "CliTask.h"
#include "Figures.h"
#include "RequestCounter.h"
#include "ScriptedServer.h"
#include "TestFiles.h"
#include "TextFormat.h"

namespace {

constexpr uint64_t kSeed = 7301;
constexpr int kRepeatLimit = 5;

using Then = ScriptedAction::Then;

std::string HeadOf(const std::string& response) {
  return response.substr(0, response.find("\r\n\r\n") + 4);
}

// A chunked answer cut off inside its body, then closed.
ScriptedAction ChunkedCut(const std::string& body, uint64_t draw) {
  std::string bytes = Respond::Chunked(body, 500).bytes;
  const std::size_t head = HeadOf(bytes).size();
  bytes.resize(head + draw % (bytes.size() - head - 5));  // never the whole final "0\r\n\r\n"
  return Respond::Raw(std::move(bytes), Then::Close);
}

// Twelve ways to get chunked encoding wrong; none of them carries the tile
// intact, so no success may be reported for them.
ScriptedAction MalformedChunked(int variant, const std::string& body) {
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  char size[32];
  std::snprintf(size, sizeof size, "%zx", body.size());
  const std::string half = body.substr(0, body.size() / 2);
  std::string text;
  switch (variant) {
    case 0: text = head + "zz\r\n" + body + "\r\n0\r\n\r\n"; break;
    case 1: text = head + "-10\r\n" + body + "\r\n0\r\n\r\n"; break;
    case 2: text = head + "ffffffffffffffffffff\r\n" + body + "\r\n0\r\n\r\n"; break;
    case 3: text = head + std::string(size) + "00\r\n" + body + "\r\n0\r\n\r\n"; break;  // claims 256x
    case 4: text = head + "10\r\n" + body + "\r\n0\r\n\r\n"; break;                      // claims 16
    case 5: text = head + size + "\r\n" + body + "0\r\n\r\n"; break;                     // no CRLF after data
    case 6: text = head + size + "junk\r\n" + body + "\r\n0\r\n\r\n"; break;
    case 7: text = head + size + "\r\n" + body + "\r\n"; break;                          // no last chunk
    case 8: text = head + "\r\n" + body + "\r\n0\r\n\r\n"; break;                        // empty size line
    case 9: text = head + size + "\r\n" + half + "\r\n0\r\n\r\n"; break;                 // short data
    case 10: text = head + "1\r\n" + body.substr(0, 1) + "XX" + size + "\r\n" + body + "\r\n0\r\n\r\n"; break;
    default: text = head + "8000000000000000\r\n" + body + "\r\n0\r\n\r\n"; break;
  }
  return Respond::Raw(std::move(text), Then::Close);
}

struct FaultTally {
  std::atomic<int> faults{0}, drips{0}, stalls{0}, malformed{0};
};

}  // namespace

TEST(FaultSoak, EveryTileEndsOkOrListedNeverBoth) {
  ScratchFolder scratch("soak");
  TaskEntries entries;
  entries.threads = 8;
  entries.path = scratch.MakeFolder("save");
  entries.task = "soak";
  SetEntriesCovering(TileRange{13, 4280, 4329, 2860, 2899}, entries);
  const TileRange range = RangeOf(entries);
  ASSERT_EQ(range.Count(), 2000);

  // Twelve tiles, spread over the range, get a malformed chunked body every time.
  std::map<std::string, int> malformedTiles;
  for (int i = 0; i < 12; ++i) {
    const int index = 37 + i * 163;
    malformedTiles[TileTarget(range.zoom, range.minX + index / 40, range.minY + index % 40)] = i;
  }

  RequestCounter requests;
  FaultTally tally;
  ScriptedServer server([&](const ScriptedRequest& request) {
    const int attempt = requests.Next(request.target);
    const std::string body = BodyFor(request.target);
    if (auto it = malformedTiles.find(request.target); it != malformedTiles.end()) {
      ++tally.malformed;
      ++tally.faults;
      return MalformedChunked(it->second, body);
    }
    const uint64_t draw = SeededDraw(kSeed, request.target, attempt);
    const uint64_t offset = (draw >> 20) % body.size();
    const uint64_t kind = draw % 1000;
    if (kind >= 300 && kind < 340) {
      ++tally.drips;
      return Respond::Drip(Respond::Ok(body), std::chrono::milliseconds(15), 600);
    }
    if (kind >= 300) return Respond::Ok(body);
    ++tally.faults;
    if (kind < 60) return Respond::Reset();
    if (kind < 120) return Respond::CloseNow();
    if (kind < 170) return Respond::ResetMidBody(body, offset);
    if (kind < 220) return Respond::CloseMidBody(body, offset);
    if (kind < 250) return ChunkedCut(body, draw >> 24);
    if (kind < 265) {
      ++tally.stalls;
      return kind % 2 ? Respond::Stall() : Respond::StallAfter(HeadOf(Respond::Ok(body).bytes) + body.substr(0, offset));
    }
    if (kind < 285) return Respond::Status(404, "Not Found", "no such tile");
    return Respond::Status(500, "Internal Server Error", "busy");
  });

  CliConfig config;
  config.port = server.Port();
  config.defaultPath = entries.path;
  config.readTimeout = 1;
  config.connectTimeout = 5;
  config.repeatLimit = kRepeatLimit;
  config.moreNetworkLines = "MaxRetryWait=0\r\n";  // a 500 is asked again at once: no waits to sit out
  const ChildResult run = RunCliTask(scratch.Path(), config, entries, std::chrono::seconds(240));
  ASSERT_TRUE(run.exited) << run.Describe() << "\n" << run.err;
  EXPECT_EQ(run.exitCode, 1) << "failed tiles must give exit 1\n" << run.err;

  // What the run said about each tile.
  const TaskPaths paths = PathsOf(entries);
  std::map<std::string, int> okLines;
  const std::regex okLine(R"(^T[1-8]:seq=\d+, (os_\d+_\d+_\d+\.png) ->ok!$)");
  for (const std::string& line : SplitTextLines(run.out)) {
    std::smatch match;
    if (std::regex_match(line, match, okLine)) ++okLines[paths.tileFolder + "/" + match[1].str()];
  }
  std::map<std::string, int> failedEntries;
  for (const FailedEntry& entry : ReadFailedList(paths.failedList)) ++failedEntries[entry.path];

  const std::string blank = ReadFile(BlankImagePath());
  int64_t lost = 0, both = 0, falseSuccesses = 0, badFailedFiles = 0, ok = 0, failed = 0;
  std::vector<std::string> problems;
  for (int32_t x = range.minX; x <= range.maxX; ++x) {
    for (int32_t y = range.minY; y <= range.maxY; ++y) {
      const std::string path = paths.tileFolder + "/" + TileName(range.zoom, x, y);
      const int oks = okLines[path], fails = failedEntries[path];
      const std::string bytes = ReadFile(path);
      if (oks + fails == 0) ++lost, problems.push_back("lost " + path);
      if (oks + fails > 1) ++both, problems.push_back("reported twice " + path);
      if (oks > 0 && bytes != BodyFor(TileTarget(range.zoom, x, y)))
        ++falseSuccesses, problems.push_back("ok but wrong bytes " + path);
      if (oks == 0 && fails > 0 && Exists(path) && bytes != blank)
        ++badFailedFiles, problems.push_back("failed but not blank " + path);
      ok += oks > 0;
      failed += oks == 0 && fails > 0;
    }
  }
  const int mostRequests = requests.Max();
  ReportFigure("fault_soak", {Fig("seed", kSeed), Fig("tiles", range.Count()), Fig("workers", entries.threads),
                              Fig("requests", requests.Total()), Fig("faults_injected", tally.faults.load()),
                              Fig("malformed_chunked", tally.malformed.load()), Fig("stalls", tally.stalls.load()),
                              Fig("drips", tally.drips.load()), Fig("ok", ok), Fig("failed", failed),
                              Fig("tiles_lost", lost), Fig("reported_twice", both),
                              Fig("false_successes", falseSuccesses), Fig("max_requests_per_tile", mostRequests),
                              Fig("seconds", static_cast<int>(run.seconds))});
  problems.resize(std::min<std::size_t>(problems.size(), 10));
  EXPECT_EQ(lost, 0) << ::testing::PrintToString(problems);
  EXPECT_EQ(both, 0) << ::testing::PrintToString(problems);
  EXPECT_EQ(falseSuccesses, 0) << ::testing::PrintToString(problems);
  EXPECT_EQ(badFailedFiles, 0) << ::testing::PrintToString(problems);
  EXPECT_LE(mostRequests, kRepeatLimit + 1);
  EXPECT_GT(tally.faults.load(), 500) << "the soak should fault about 30% of 2,000+ answers";
  EXPECT_EQ(CountLinesContaining(run.out, "banned"), 0) << "no answer here is a ban";
  EXPECT_EQ(CountLinesContaining(run.out, " Finished."), entries.threads);
}
