// quarnel-cli against the scripted server: address templates, request
// headers, the sampled size estimate and the refresh of a task.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "CliProcess.h"
#include "CliTestSupport.h"
#include "ScriptedServer.h"

namespace {

using namespace clitest;
namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CliServersTest : public ::testing::Test {
 protected:
  std::string Host() const { return "127.0.0.1:" + std::to_string(server.Port()); }
  void Configure(const std::string& hostValue, const std::string& more = "") {
    WriteFile(config, "[Hosts]\r\nOpenStreetMap=" + hostValue + "\r\n" + more);
  }
  // Zoom 4 over 10..20 east, 40..50 north: column 8, rows 5 and 6; zoom 5: columns 16, 17, rows 10 to 12.
  std::vector<std::string> TaskArgs(const std::string& zoom, const std::string& task, const std::string& threads = "1") {
    return {"--config", config.string(), "--left",    "10",    "--right", "20",         "--top",  "50",
            "--bottom", "40",            "--zoom",    zoom,    "--threads", threads,    "--path", out.string(),
            "--task",   task};
  }

  ScratchFolder temp;
  fs::path config = temp / "config.ini";
  fs::path out = temp / "out";
  ScriptedServer server;
};

struct TemplateCase {
  const char* name;
  const char* path;  // after the host
  std::vector<std::string> targets;  // for tiles (8, 5) and (8, 6) at zoom 4
};

class CliTemplateTest : public CliServersTest, public ::testing::WithParamInterface<TemplateCase> {};

TEST_P(CliTemplateTest, AsksForTheAddressesOfKnownTiles) {
  Configure(Host() + GetParam().path);
  const CliProcess::Result run = CliProcess::Run(TaskArgs("4", "tpl"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(server.Targets(), GetParam().targets);
}

INSTANTIATE_TEST_SUITE_P(
    Placeholders, CliTemplateTest,
    ::testing::Values(
        // (x + y) mod n picks the subdomain: 13 and 14.
        TemplateCase{"subdomains", "/{s}/{switch:t0,t1,t2,t3}/{z}/{x}/{y}.png", {"/b/t1/4/8/5.png", "/c/t2/4/8/6.png"}},
        TemplateCase{"quadkey", "/tiles/{q}.png", {"/tiles/1202.png", "/tiles/1220.png"}},
        TemplateCase{"wms",
                     "/wms?SERVICE=WMS&REQUEST=GetMap&LAYERS=x&SRS=EPSG:3857&BBOX={bbox}&WIDTH={width}&HEIGHT={height}",
                     {"/wms?SERVICE=WMS&REQUEST=GetMap&LAYERS=x&SRS=EPSG:3857&BBOX=0,5009377.085697312,"
                      "2504688.542848654,7514065.628545966&WIDTH=256&HEIGHT=256",
                      "/wms?SERVICE=WMS&REQUEST=GetMap&LAYERS=x&SRS=EPSG:3857&BBOX=0,2504688.542848654,"
                      "2504688.542848654,5009377.085697312&WIDTH=256&HEIGHT=256"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliServersTest, AnUnknownPlaceholderIsRefusedAndNothingIsAsked) {
  Configure(Host() + "/{z}/{x}/{y}.png?key={apikey}");
  const CliProcess::Result run = CliProcess::Run(TaskArgs("4", "unknown"));
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err, "{apikey}")) << run.err;
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_FALSE(fs::exists(out));
}

// Workers, the re-download and the refresh all send them.
TEST_F(CliServersTest, HeadersGoWithEveryTileAndNeverIntoTheLog) {
  Configure(Host(), "[Headers]\r\nReferer=https://maps.example.org/\r\nX-Api-Key=secret-key-4711\r\n");
  const CliProcess::Result run = CliProcess::Run(TaskArgs("5", "headers", "2"));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string tile = (out / "headers" / "os_16_10_5.png").string();
  WriteFile(out / "headers_failed.ftl", tile + "|" + server.BaseUrl() + "/5/16/10.png\r\n");
  const CliProcess::Result again =
      CliProcess::Run({"--config", config.string(), "redownload", (out / "headers_failed.ftl").string()});
  ASSERT_EQ(again.status, 0) << again.err;
  const CliProcess::Result refresh = CliProcess::Run(
      {"--config", config.string(), "refresh", (out / "headers.qrnl").string(), "--older-than", "0"});
  ASSERT_EQ(refresh.status, 0) << refresh.err;

  ASSERT_EQ(server.RequestCount(), 6u + 1u + 6u);
  std::size_t requests = 0;
  for (std::size_t connection = 0; connection < server.ConnectionCount(); ++connection) {
    const std::string received = server.Received(connection);
    for (std::size_t at = received.find("GET "); at != std::string::npos; at = received.find("GET ", at + 1)) {
      ++requests;
      const std::string head = received.substr(at, received.find("\r\n\r\n", at) - at);
      EXPECT_TRUE(Contains(head, "\r\nReferer: https://maps.example.org/\r\nX-Api-Key: secret-key-4711")) << head;
    }
  }
  EXPECT_EQ(requests, server.RequestCount());
  for (const std::string& text : {run.out, run.err, again.out, again.err, refresh.out, refresh.err,
                                  ReadFile(out / "headers_log.txt"), ReadFile(out / "headers.qrnl"),
                                  ReadFile(out / "headers_fresh.txt")})
    EXPECT_FALSE(Contains(text, "secret-key-4711"));
}

TEST_F(CliServersTest, DryRunSamplesAtMostEightTilesPerLevelAndWritesNothing) {
  Configure(Host());
  std::vector<std::string> args = TaskArgs("4-6", "dry");
  args.push_back("--dry-run");
  const CliProcess::Result run = CliProcess::Run(args);
  ASSERT_EQ(run.status, 0) << run.err;
  // Two, six and twelve tiles: all of the first two levels, eight of the third.
  EXPECT_EQ(server.RequestCount(), 2u + 6u + 8u);
  const std::vector<std::string> lines = SplitTextLines(run.out);
  ASSERT_EQ(lines.size(), 4u) << run.out;
  EXPECT_EQ(lines[0].rfind("zoom 4: 2 tiles, about ", 0), 0u) << lines[0];
  EXPECT_TRUE(Contains(lines[0], " (2 sample tiles, ")) << lines[0];
  EXPECT_TRUE(Contains(lines[2], "zoom 6: 12 tiles, about ")) << lines[2];
  EXPECT_TRUE(Contains(lines[2], " (8 sample tiles, ")) << lines[2];
  EXPECT_EQ(lines[3].rfind("total: 20 tiles, about ", 0), 0u) << lines[3];
  EXPECT_FALSE(fs::exists(out));

  // Without a server: the typical size, and why.
  Configure("127.0.0.1:" + std::to_string(UnusedLocalPort()));
  const CliProcess::Result offline = CliProcess::Run(args);
  ASSERT_EQ(offline.status, 0) << offline.err;
  EXPECT_TRUE(Contains(offline.out, "zoom 4: 2 tiles, about 30.0 KB at a typical tile size (no sample tile came "
                                    "from the server: connection refused (Socket Error # 10061))"))
      << offline.out;
  EXPECT_FALSE(fs::exists(out));
}

// Each tile has a version; its ETag names it. A conditional request for
// the current version hears 304.
class VersionedTiles {
 public:
  ScriptedAction Answer(const ScriptedRequest& request) {
    std::lock_guard lock(mutex_);
    const int version = versions_[request.target];
    if (missing_.count(request.target)) return Respond::Status(404, "Not Found");
    const std::string etag = "\"" + std::to_string(version) + "\"";
    if (request.Header("If-None-Match") == etag) {
      ++notModified_;
      return Respond::Raw(Respond::Text("HTTP/1.1 304 Not Modified", {{"ETag", etag}}, ""));
    }
    return Respond::Raw(Respond::Text("HTTP/1.1 200 OK", {{"ETag", etag}}, Body(request.target, version)));
  }
  static std::string Body(const std::string& target, int version) {
    return PngFramed(target + " version " + std::to_string(version));
  }
  void Change(const std::string& target) {
    std::lock_guard lock(mutex_);
    ++versions_[target];
  }
  void Lose(const std::string& target) {
    std::lock_guard lock(mutex_);
    missing_.insert({target, true});
  }
  int NotModified() {
    std::lock_guard lock(mutex_);
    return notModified_;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, int> versions_;
  std::map<std::string, bool> missing_;
  int notModified_ = 0;
};

const std::vector<std::string> kZoom5Targets = {"/5/16/10.png", "/5/16/11.png", "/5/16/12.png",
                                                "/5/17/10.png", "/5/17/11.png", "/5/17/12.png"};

std::string TileFile(const fs::path& folder, const std::string& target) {
  return (folder / ("os_" + target.substr(3, 2) + "_" + target.substr(6, 2) + "_5.png")).string();
}

TEST_F(CliServersTest, RefreshReplacesExactlyTheChangedTiles) {
  VersionedTiles tiles;
  server.SetHandler([&](const ScriptedRequest& request) { return tiles.Answer(request); });
  Configure(Host());
  ASSERT_EQ(CliProcess::Run(TaskArgs("5", "fresh", "2")).status, 0);
  EXPECT_TRUE(Contains(ReadFile(out / "fresh_fresh.txt"), "\t\"0\"\t"));

  tiles.Change(kZoom5Targets[1]);
  tiles.Change(kZoom5Targets[4]);
  tiles.Lose(kZoom5Targets[5]);
  const std::size_t before = server.RequestCount();
  const CliProcess::Result run =
      CliProcess::Run({"--config", config.string(), "refresh", (out / "fresh.qrnl").string(), "--older-than", "0"});
  EXPECT_EQ(run.status, 1) << run.err;  // a tile kept on failure
  EXPECT_EQ(run.err, "Refresh: 3 unchanged, 2 replaced, 1 kept on failure.\n");
  EXPECT_EQ(server.RequestCount() - before, 6u);
  EXPECT_EQ(tiles.NotModified(), 3);
  for (std::size_t i = 0; i < kZoom5Targets.size(); ++i) {
    const int version = i == 1 || i == 4 ? 1 : 0;
    EXPECT_EQ(ReadFile(TileFile(out / "fresh", kZoom5Targets[i])), VersionedTiles::Body(kZoom5Targets[i], version))
        << kZoom5Targets[i];
  }
  EXPECT_TRUE(Contains(run.out, TileFile(out / "fresh", kZoom5Targets[1]) + ": replaced\n"));
  EXPECT_TRUE(Contains(run.out, "404 Not Found->" + server.BaseUrl() + kZoom5Targets[5]));

  // Nothing expired and nothing is a week old: a refresh asks for nothing.
  const std::size_t asked = server.RequestCount();
  const CliProcess::Result idle = CliProcess::Run({"--config", config.string(), "refresh", (out / "fresh.qrnl").string()});
  EXPECT_EQ(idle.status, 0) << idle.err;
  EXPECT_EQ(idle.err, "Refresh: 0 unchanged, 0 replaced, 0 kept on failure.\n");
  EXPECT_EQ(server.RequestCount(), asked);
}

TEST_F(CliServersTest, AStoppedRefreshIsContinuedByTheNext) {
  VersionedTiles tiles;
  std::mutex mutex;
  std::condition_variable opened;
  bool open = false;
  std::atomic<int> refreshRequests{-1};  // counts from the refresh's first request
  server.SetHandler([&](const ScriptedRequest& request) {
    if (refreshRequests >= 0 && refreshRequests++ == 1) {
      std::unique_lock lock(mutex);
      opened.wait(lock, [&] { return open; });  // the second tile is in hand when Ctrl+C comes
    }
    return tiles.Answer(request);
  });
  Configure(Host());
  ASSERT_EQ(CliProcess::Run(TaskArgs("5", "stopped")).status, 0);
  for (const std::string& target : kZoom5Targets) tiles.Change(target);

  refreshRequests = 0;
  const std::vector<std::string> refresh = {"--config", config.string(), "refresh", (out / "stopped.qrnl").string(),
                                            "--older-than=0"};
  CliProcess first(refresh);
  ASSERT_TRUE(Eventually([&] { return refreshRequests >= 2; }));
  first.Signal(SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  {
    std::lock_guard lock(mutex);
    open = true;
  }
  opened.notify_all();
  const CliProcess::Result stopped = first.Finish();
  EXPECT_EQ(stopped.status, 130) << stopped.err;
  EXPECT_TRUE(Contains(stopped.err, "Stopped: the next refresh continues where this one stopped.")) << stopped.err;
  const int askedFirst = refreshRequests;
  ASSERT_LT(askedFirst, 6);

  const CliProcess::Result second = CliProcess::Run(refresh);
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(refreshRequests, 6) << "the second refresh asks only for what the first did not";
  for (const std::string& target : kZoom5Targets)
    EXPECT_EQ(ReadFile(TileFile(out / "stopped", target)), VersionedTiles::Body(target, 1)) << target;
}

}  // namespace
