// quarnel-cli --area end to end against the scripted server: the tiles asked
// for are exactly those inside, the list and the total agree, a stopped task
// resumes without a tile twice, a zoom range makes one task per level, and
// bad input is refused with nothing written.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>

#include "CliProcess.h"
#include "CliTestSupport.h"
#include "Commonfunc.h"
#include "ScriptedServer.h"

namespace {

using namespace clitest;
namespace fs = std::filesystem;
using Targets = std::multiset<std::string>;

// The open triangle lon > 10, lat > 40, lon + lat < 60.
const char* kTriangle = R"({"type":"Polygon","coordinates":[[[10,40],[20,40],[10,50],[10,40]]]})";

std::string Target(int zoom, int32_t x, int32_t y) {
  return "/" + std::to_string(zoom) + "/" + std::to_string(x) + "/" + std::to_string(y) + ".png";
}

// The tiles whose open square meets the triangle, worked out from the tiles' edges alone.
Targets TrianglesTiles(int zoom) {
  Targets tiles;
  const auto z = static_cast<uint8_t>(zoom);
  for (int32_t x = 0; x < (1 << zoom); ++x) {
    const double west = static_cast<double>(ColumnToLongitude(x, z));
    const double east = static_cast<double>(ColumnToLongitude(x + 1.0, z));
    for (int32_t y = 0; y < (1 << zoom); ++y) {
      const double north = RowToLatitude(y, z, RowOrigin::FromTop);
      const double south = RowToLatitude(y + 1.0, z, RowOrigin::FromTop);
      if (east > 10 && north > 40 && std::max(west, 10.0) + std::max(south, 40.0) < 60) tiles.insert(Target(zoom, x, y));
    }
  }
  return tiles;
}

// The tiles a tile list names, as the server sees their addresses.
Targets ListedTiles(const fs::path& list) {
  Targets tiles;
  const std::vector<std::string> lines = SplitTextLines(ReadFile(list));
  for (std::size_t i = 1; i < lines.size(); ++i) {
    int x = 0, y = 0, zoom = 0;
    if (std::sscanf(lines[i].c_str(), "os_%d_%d_%d.png:", &x, &y, &zoom) == 3) tiles.insert(Target(zoom, x, y));
  }
  return tiles;
}

Targets Requested(const ScriptedServer& server) {
  const std::vector<std::string> targets = server.Targets();
  return {targets.begin(), targets.end()};
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CliAreaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(config, "[Hosts]\r\nOpenStreetMap=127.0.0.1:" + std::to_string(server.Port()) + "\r\n");
    WriteFile(temp / "triangle.geojson", kTriangle);
  }
  std::vector<std::string> Args(const std::string& area, const std::string& zoom, const std::string& task,
                                std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"--config", config.string(), "--area", temp / area, "--zoom", zoom,
                                     "--path",   out.string(),    "--task", task};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  ScratchFolder temp;
  fs::path config = temp / "config.ini";
  fs::path out = temp / "out";
  ScriptedServer server;
};

TEST_F(CliAreaTest, FetchesListsAndCountsExactlyTheTilesInside) {
  const CliProcess::Result run = CliProcess::Run(Args("triangle.geojson", "7", "tri", {"--threads", "3"}));
  ASSERT_EQ(run.status, 0) << run.err;
  const Targets inside = TrianglesTiles(7);
  ASSERT_GT(inside.size(), 5u);
  EXPECT_EQ(Requested(server), inside) << "each tile inside once, none outside";
  EXPECT_EQ(ListedTiles(out / "tri_list.txt"), inside);
  const std::string total = std::to_string(inside.size());
  EXPECT_TRUE(Contains(ReadFile(out / "tri_log.txt"), "Total count of images would be downloaded: " + total + "\r\n"));
  EXPECT_TRUE(Contains(run.err, "Summary: " + total + " saved, 0 failed. Task: " + total + " of " + total));
  const std::string project = ReadFile(out / "tri.qrnl");
  EXPECT_EQ(IniValue(project, "AreaFile"), "tri_area.geojson");
  EXPECT_EQ(IniValue(project, "LeftLongitude") + " " + IniValue(project, "TopLatitude"), "10 50");
  EXPECT_TRUE(fs::is_regular_file(out / "tri_area.geojson"));
}

TEST_F(CliAreaTest, AStoppedTaskResumesWithoutATileTwiceOrOneOutside) {
  std::mutex mutex;
  std::condition_variable opened;
  bool open = false;
  std::atomic<int> requests{0};
  server.SetHandler([&](const ScriptedRequest& request) {
    if (requests++ == 6) {  // a tile in hand when Ctrl+C comes
      std::unique_lock lock(mutex);
      opened.wait(lock, [&] { return open; });
    }
    return ServeBodyFor(request);
  });
  const auto release = [&] {
    std::lock_guard lock(mutex);
    open = true;
    opened.notify_all();
  };

  const std::vector<std::string> args = Args("triangle.geojson", "8", "stop", {"--threads", "2"});
  CliProcess first(args);
  ASSERT_TRUE(Eventually([&] { return server.RequestCount() >= 7; }));
  first.Signal(SIGINT);
  ASSERT_TRUE(first.WaitForStdout("will be terminated by user"));
  release();
  const CliProcess::Result stopped = first.Finish();
  ASSERT_EQ(stopped.status, 130) << stopped.err;
  const std::size_t before = server.RequestCount();
  ASSERT_LT(before, TrianglesTiles(8).size());

  const CliProcess::Result resumed = CliProcess::Run(args);
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_EQ(Requested(server), TrianglesTiles(8));
  EXPECT_TRUE(Contains(ReadFile(out / "stop_log.txt"), "Log continue...")) << "resumed, not started afresh";

  // Without its area file the task is refused, never fetched as its rectangle.
  fs::remove(out / "stop_area.geojson");
  const CliProcess::Result refused =
      CliProcess::Run({"--config", config.string(), "--path", out.string(), "--task", "stop"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(Contains(refused.err, (out / "stop_area.geojson").string() + " is missing")) << refused.err;
  EXPECT_EQ(Requested(server), TrianglesTiles(8));
}

TEST_F(CliAreaTest, AZoomRangeMakesOneTaskPerLevelEachWithItsArea) {
  const CliProcess::Result run = CliProcess::Run(Args("triangle.geojson", "6-7", "tri", {"--threads", "8"}));
  ASSERT_EQ(run.status, 0) << run.err;
  Targets both = TrianglesTiles(6);
  both.merge(TrianglesTiles(7));
  EXPECT_EQ(Requested(server), both);
  for (const char* level : {"tri_z6", "tri_z7"}) {
    EXPECT_EQ(IniValue(ReadFile(out / (std::string(level) + ".qrnl")), "AreaFile"), std::string(level) + "_area.geojson");
    EXPECT_TRUE(fs::is_regular_file(out / (std::string(level) + "_area.geojson"))) << level;
  }
  // The same command resumes every level, a level of fewer tiles than threads too.
  const CliProcess::Result again = CliProcess::Run(Args("triangle.geojson", "6-7", "tri", {"--threads", "8"}));
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(Requested(server), both);
}

TEST_F(CliAreaTest, ARouteInAGpxFileIsWidenedByTheBuffer) {
  WriteFile(temp / "hike.gpx",
            R"(<?xml version="1.0"?><gpx version="1.1" creator="test" xmlns="http://www.topografix.com/GPX/1/1">)"
            R"(<trk><trkseg><trkpt lat="46.00" lon="10.00"/><trkpt lat="46.05" lon="10.10"/>)"
            R"(<trkpt lat="46.02" lon="10.25"/></trkseg></trk></gpx>)");
  ASSERT_EQ(CliProcess::Run(Args("hike.gpx", "14", "line")).status, 0);
  const Targets line = Requested(server);
  EXPECT_EQ(ListedTiles(out / "line_list.txt"), line);
  ASSERT_EQ(CliProcess::Run(Args("hike.gpx", "14", "wide", {"--buffer", "1500"})).status, 0);
  Targets wide = Requested(server);
  for (const std::string& target : line) wide.erase(wide.find(target));
  EXPECT_EQ(ListedTiles(out / "wide_list.txt"), wide);
  EXPECT_GT(wide.size(), line.size() * 2) << "1.5 km on each side of the line";
  EXPECT_TRUE(std::includes(wide.begin(), wide.end(), line.begin(), line.end()));
}

struct Refusal {
  const char* name;
  std::string file;  // written into the scratch folder when text is given
  std::string text;
  std::vector<std::string> more;
  std::string message;  // a part of stderr
};

class CliAreaRefusal : public CliAreaTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(CliAreaRefusal, ExitsWithTwoAndWritesNothing) {
  const Refusal& c = GetParam();
  if (!c.text.empty()) WriteFile(temp / c.file, c.text);
  const CliProcess::Result run = CliProcess::Run(Args(c.file, "8", "bad", c.more));
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_TRUE(Contains(run.err, c.message)) << run.err;
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(server.RequestCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliAreaRefusal,
    ::testing::Values(
        Refusal{"withARectangle", "triangle.geojson", "", {"--left", "3"}, "cannot be combined with --left"},
        Refusal{"negativeBuffer", "triangle.geojson", "", {"--buffer", "-1"}, "must not be negative"},
        Refusal{"bufferNoNumber", "triangle.geojson", "", {"--buffer", "1km"}, "is not a number of metres"},
        Refusal{"missingFile", "none.gpx", "", {}, "none.gpx"},
        Refusal{"notAVectorFile", "notes.kml", "these are notes", {}, "notes.kml"},
        Refusal{"noGeometry", "empty.geojson", R"({"type":"FeatureCollection","features":[]})", {}, "empty.geojson"},
        Refusal{"acrossTheAntimeridian", "wide.geojson", R"({"type":"LineString","coordinates":[[170,10],[-170,10]]})",
                {}, "180"},
        Refusal{"beyondTheMap", "pole.geojson",
                R"({"type":"Polygon","coordinates":[[[0,86],[10,86],[10,89],[0,89],[0,86]]]})", {}, "pole.geojson"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliAreaArguments, BufferNeedsAnArea) {
  const CliProcess::Result run = CliProcess::Run({"--buffer", "10", "--task", "x"});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err, "--buffer widens the lines and points of an --area")) << run.err;
}

}  // namespace
