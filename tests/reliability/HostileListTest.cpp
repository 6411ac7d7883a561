// A failed-tile list can come from anyone. Fetching one again must write
// nothing but files named like tiles, send nothing but HTTP, and survive
// whatever the list holds.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <regex>

#include "ChildProcess.h"
#include "CliTask.h"
#include "Figures.h"
#include "FileChecks.h"
#include "Ftl.h"
#include "ScriptedServer.h"
#include "WorkerRun.h"

namespace fs = std::filesystem;

namespace {

const std::string kCanary = "canary-f00d-outside-content";

// The tree a hostile list aims at: a tile folder, and things beside it that
// must stay as they are.
struct Playground {
  explicit Playground(const ScratchFolder& scratch) : root(scratch.MakeFolder("root")) {
    fs::create_directories(root + "/tiles");
    fs::create_directories(root + "/outside");
    WriteFile(root + "/outside/victim.txt", kCanary);
    WriteFile(root + "/secret.txt", kCanary);
    fs::create_symlink(root + "/outside/victim.txt", root + "/tiles/os_2_2_2.png");
    fs::create_directory_symlink(root + "/outside", root + "/tiles/linkdir");
    fs::create_directories(root + "/tiles/os_11_11_11.png");
  }
  std::string root;
};

std::string HostileList(const Playground& p, const ScriptedServer& server) {
  const std::string tiles = p.root + "/tiles/";
  const std::string http = server.BaseUrl();
  const std::string hostPort = "127.0.0.1:" + std::to_string(server.Port());
  std::vector<std::string> lines = {
      tiles + "../outside/os_1_1_1.png|" + http + "/1/1/1.png",
      tiles + "os_2_2_2.png|" + http + "/2/2/2.png",                 // a link to a file outside
      tiles + "linkdir/os_3_3_3.png|" + http + "/3/3/3.png",         // through a linked folder
      tiles + "os_4_4_4.png|file://" + p.root + "/secret.txt",
      tiles + "os_5_5_5.png|gopher://" + hostPort + "/1/selector",
      tiles + "os_6_6_6.png|ftp://" + hostPort + "/pub/x.png",
      tiles + "os_6_6_7.png|dict://" + hostPort + "/d:word",
      tiles + "os_6_6_8.png|telnet://" + hostPort + "/",
      tiles + "os_6_6_9.png|smtp://" + hostPort + "/",
      tiles + "os_6_7_0.png|ldap://" + hostPort + "/dc=x",
      tiles + "os_6_7_1.png|scp://" + hostPort + "/etc/passwd",
      tiles + "os_7_7_7.png" + std::string(1, '\0') + "/../../outside/nul.txt|" + http + "/7/7/7.png",
      tiles + "os_8_8_8.png|" + http + "/8/8/8.png" + std::string(1, '\0') + "gopher://" + hostPort + "/x",
      tiles + "os_9_9_9.png|" + http + "/" + std::string(std::size_t{64} << 20, 'a'),
      p.root + "/outside/notatile.txt|" + http + "/12/12/12.png",
      tiles + "os_11_11_11.png|" + http + "/11/11/11.png",              // a folder of that name
      tiles + "os_13_13_13.png|" + http + "/13/13/13.png\rX-Injected: 1",
      tiles + "os_14_14_14.png|" + http + "/a\r\nX-Injected: 2",
      tiles + "|" + http + "/15/15/15.png",
      http + "/16/16/16.png",
      tiles + "os_10_10_10.png|" + http + "/10/10/10.png",               // sound
      // A path no file system takes: the write fails and, as for any tile
      // that cannot be written, the run ends here.
      p.root + "/" + std::string(std::size_t{64} << 20, 'b') + "/os_9_9_8.png|" + http + "/9/9/8.png",
  };
  return JoinLinesCrLf(lines);
}

bool LooksLikeTileName(const std::string& relativePath) {
  static const std::regex tile(R"(^[A-Za-z]+_-?\d+_-?\d+_-?\d+\.[A-Za-z0-9]+$)");
  return std::regex_match(fs::path(relativePath).filename().string(), tile);
}

struct Outcome {
  int writesOutsideTiles = 0;
  int nonHttpConnections = 0;
  int injectedHeaders = 0;
  std::vector<std::string> problems;
};

Outcome Judge(const Playground& p, const ScriptedServer& server,
              const std::map<std::string, std::string>& before) {
  Outcome outcome;
  const std::map<std::string, std::string> after = Fingerprints(p.root);
  for (const auto& [path, print] : after) {
    const auto old = before.find(path);
    if (old != before.end() && old->second == print) continue;
    const bool fileWithSecret = print.rfind("file:", 0) == 0 &&
                                ReadFile(p.root + "/" + path).find(kCanary) != std::string::npos;
    if (!LooksLikeTileName(path) || fileWithSecret || path == "outside/os_1_1_1.png") {
      ++outcome.writesOutsideTiles;
      outcome.problems.push_back("written: " + path);
    }
  }
  for (const auto& [path, print] : before)
    if (after.count(path) == 0 && !LooksLikeTileName(path)) outcome.problems.push_back("removed: " + path);
  if (ReadFile(p.root + "/outside/victim.txt") != kCanary) {
    ++outcome.writesOutsideTiles;
    outcome.problems.push_back("the link's target was written through");
  }
  for (std::size_t c = 0; c < server.ConnectionCount(); ++c) {
    const std::string received = server.Received(c);
    if (!received.empty() && received.rfind("GET ", 0) != 0) {
      ++outcome.nonHttpConnections;
      outcome.problems.push_back("non-HTTP bytes: " + received.substr(0, 40));
    }
    if (received.find("\nX-Injected") != std::string::npos) ++outcome.injectedHeaders;
  }
  return outcome;
}

void Report(const std::string& route, const Outcome& outcome, const std::string& end) {
  ReportFigure("hostile_list", {Fig("route", route), Fig("end", end),
                                Fig("writes_outside_tile_names", outcome.writesOutsideTiles),
                                Fig("non_http_requests", outcome.nonHttpConnections),
                                Fig("injected_headers", outcome.injectedHeaders)});
}

}  // namespace

TEST(HostileLists, RedownloadInProcessWritesOnlyTileNamesOverHttpOnly) {
  ScratchFolder scratch("hostile");
  Playground playground(scratch);
  ScriptedServer server;
  const std::string list = scratch / "hostile_failed.ftl";
  WriteFile(list, HostileList(playground, server));
  const auto before = Fingerprints(playground.root);

  InitHttpOnce();
  NetworkSettings network;
  network.ReadTimeout = 2;
  network.ConnectTimeout = 2;
  std::vector<std::string> shown;
  const RedownloadResult result =
      RedownloadFailedList(list, network, ProxyConfig{}, [&](const std::string& line) { shown.push_back(line); });

  const Outcome outcome = Judge(playground, server, before);
  Report("in_process", outcome, "returned");
  EXPECT_EQ(outcome.writesOutsideTiles, 0) << ::testing::PrintToString(outcome.problems);
  EXPECT_EQ(outcome.nonHttpConnections, 0) << ::testing::PrintToString(outcome.problems);
  EXPECT_EQ(outcome.injectedHeaders, 0);
  EXPECT_TRUE(result.errorMessage.has_value()) << "the last path cannot be written";
  EXPECT_TRUE(ReadFile(playground.root + "/tiles/os_10_10_10.png") == BodyFor("/10/10/10.png"))
      << "the sound entry after the hostile ones must be fetched";
}

TEST(HostileLists, RedownloadThroughTheCommandLine) {
  ScratchFolder scratch("hostile-cli");
  Playground playground(scratch);
  ScriptedServer server;
  const std::string list = scratch / "hostile_failed.ftl";
  WriteFile(list, HostileList(playground, server));
  const auto before = Fingerprints(playground.root);
  CliConfig config;
  config.port = server.Port();
  config.defaultPath = scratch.MakeFolder("save");
  config.readTimeout = 2;
  config.connectTimeout = 2;
  WriteConfig(scratch / "config.ini", config);

  const ChildResult run = RunChild({CliPath(), "--config", scratch / "config.ini", "redownload", list},
                                   scratch.Path(), std::chrono::seconds(180));
  const Outcome outcome = Judge(playground, server, before);
  Report("quarnel-cli", outcome, run.Describe());
  ASSERT_TRUE(run.exited) << run.Describe() << "\n" << run.err.substr(0, 2000);
  EXPECT_EQ(run.exitCode, 1) << "a list with failing entries is no clean run";
  EXPECT_EQ(outcome.writesOutsideTiles, 0) << ::testing::PrintToString(outcome.problems);
  EXPECT_EQ(outcome.nonHttpConnections, 0) << ::testing::PrintToString(outcome.problems);
  EXPECT_EQ(outcome.injectedHeaders, 0);
  EXPECT_TRUE(ReadFile(playground.root + "/tiles/os_10_10_10.png") == BodyFor("/10/10/10.png"))
      << "the sound entry after the hostile ones must be fetched";
}
