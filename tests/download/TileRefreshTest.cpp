// A refresh over a task's saved tiles against the scripted server: which
// tiles it asks, which lines NAME_fresh.txt keeps, and what it never saves.

#include "TileRefresh.h"

#include <gtest/gtest.h>

#include <atomic>

#include <map>
#include <mutex>
#include <set>

#include "MapServices.h"
#include "ScriptedServer.h"
#include "TestFiles.h"
#include "TileFreshness.h"
#include "TileSetSelection.h"
#include "TileStore.h"
#include "Files.h"
#include "Unitclasstask.h"

namespace {

using Tiles = std::set<std::pair<int32_t, int32_t>>;
constexpr int64_t kDay = int64_t{86400} * 1000;

class RefreshTest : public ::testing::Test {
 protected:
  RefreshTest() {
    params_.MapsType = kOpenStreetMap;
    params_.SavePath = folder_.Path();
    params_.TaskFileName = "job.qrnl";
    params_.ThreadCount = 2;
    params_.Hosts.OpenStreetMap = "127.0.0.1:" + std::to_string(server_.Port());
    Rectangle(6, 0, 30, 30, 0);
  }

  void Rectangle(int32_t zoom, double left, double right, double top, double bottom) {
    params_.Zoom = zoom;
    params_.LeftLongitude = left, params_.RightLongitude = right;
    params_.TopLatitude = top, params_.BottomLatitude = bottom;
  }
  std::string Target(int32_t x, int32_t y) const {
    return "/" + std::to_string(params_.Zoom) + "/" + std::to_string(x) + "/" + std::to_string(y) + ".png";
  }
  // Saves each tile as the server sends it; those with lines get one checked at `checked`.
  void SaveTiles(const DownloadTask& task, const Tiles& tiles, const Tiles& withLines, int64_t checked,
                 const std::string& extra = "") {
    std::string fresh;
    for (const auto& [x, y] : tiles) WriteFile(task.TileFilePath(x, y), BodyFor(Target(x, y)));
    for (const auto& [x, y] : withLines) fresh += FreshRecordLine({x, y, checked, {{"\"e\"", ""}, 0}});
    WriteFile(FreshFilePathForTileFolder(task.TileFolder), fresh + extra);
  }
  RefreshResult Refresh(const DownloadTask& task, std::optional<int32_t> olderThanDays) {
    RefreshRequest request{&task, {}, olderThanDays, {}};
    RefreshControl control;
    control.line = [this](const std::string& line) { lines_.push_back(line); };
    return RefreshTask(request, control);
  }
  std::set<std::string> Asked(const Tiles& of = {}) const {
    std::lock_guard lock(mutex_);
    std::set<std::string> asked;
    for (const auto& [target, etag] : asked_) asked.insert(target);
    for (const auto& [x, y] : of) asked.erase(Target(x, y));
    return asked;
  }
  // The tiles NAME_fresh.txt holds a line for.
  Tiles Lines(const DownloadTask& task) const {
    Tiles tiles;
    ReadLinesNewestFirst(FreshFilePathForTileFolder(task.TileFolder), [&](std::string_view line) {
      const std::optional<FreshLine> parsed = ParseFreshLine(line);
      if (parsed && parsed->kind == FreshLine::Kind::Tile) tiles.insert({parsed->record.x, parsed->record.y});
    });
    return tiles;
  }

  ScratchFolder folder_{"refresh"};
  TaskParameters params_;
  std::vector<std::string> lines_;
  mutable std::mutex mutex_;
  std::map<std::string, std::string> asked_;  // target -> the If-None-Match it came with
  std::atomic<bool> blocked_{false};  // every answer a page, not an image
  ScriptedServer server_{[this](const ScriptedRequest& request) {
    {
      std::lock_guard lock(mutex_);
      asked_[request.target] = request.Header("If-None-Match");
    }
    if (blocked_) return Respond::Ok("<html>blocked</html>");
    if (request.HasHeader("If-None-Match")) return Respond::Raw(Respond::Text("HTTP/1.1 304 Not Modified", {}, ""));
    return ServeBodyFor(request);
  }};
};

struct AreaCase {
  const char* shape;
  std::optional<int32_t> olderThanDays;
};

class AreaRefreshTest : public RefreshTest, public ::testing::WithParamInterface<AreaCase> {};

// Every saved tile of an area is judged, wherever it lies in the rectangle,
// and every line is kept unless its tile was asked again.
TEST_P(AreaRefreshTest, JudgesEveryTileAndKeepsEveryLine) {
  const TaskTileRange range = TileRangeOf(0, 30, 30, 0, 6, kOpenStreetMap);
  Tiles area;
  for (int32_t x = range.MinX; x <= range.MaxX; ++x) {
    for (int32_t y = range.MinY; y <= range.MaxY; ++y) {
      const bool lastColumns = x >= range.MaxX - 1, checker = (x + y) % 2 == 0;
      if (std::string(GetParam().shape) == "last columns" ? lastColumns : checker) area.insert({x, y});
    }
  }
  ASSERT_LT(area.size(), static_cast<std::size_t>(range.TotalTiles));
  params_.Area = std::make_shared<TileSetArea>(area, "{}");
  const DownloadTask task(params_);
  Tiles withLines, saved = area;
  for (const auto& tile : area)
    if (tile.second % 3 != 0) withLines.insert(tile);
  saved.insert({range.MinX, range.MinY + 1});  // outside the area: not the task's
  SaveTiles(task, saved, withLines, NowMilliseconds() - kDay);

  const RefreshResult result = Refresh(task, GetParam().olderThanDays);
  ASSERT_FALSE(result.error) << *result.error;
  EXPECT_TRUE(result.finished);
  if (GetParam().olderThanDays) {
    EXPECT_EQ(Asked(area), std::set<std::string>{}) << "only the area's tiles";
    EXPECT_EQ(result.counts.Checked(), static_cast<int64_t>(area.size()));
    EXPECT_EQ(Lines(task), area);
  } else {
    EXPECT_EQ(Asked(), std::set<std::string>{}) << "nothing is a week old";
    EXPECT_EQ(Lines(task), withLines);
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, AreaRefreshTest,
                         ::testing::Values(AreaCase{"last columns", 0}, AreaCase{"checker", 0},
                                           AreaCase{"last columns", std::nullopt},
                                           AreaCase{"checker", std::nullopt}));

// A refresh taken up after a stop judges by the age it was started with.
TEST_F(RefreshTest, AContinuedRefreshKeepsItsAge) {
  Rectangle(4, 10, 20, 50, 40);  // tiles (8, 5) and (8, 6)
  const DownloadTask task(params_);
  const Tiles both = {{8, 5}, {8, 6}};
  const int64_t started = NowMilliseconds() - 3600 * 1000;
  for (const auto& [marker, asked] : std::vector<std::pair<std::string, std::size_t>>{
           {RefreshMarkerLine('R', started, 0), 2}, {RefreshMarkerLine('R', started), 0}}) {
    SaveTiles(task, both, both, NowMilliseconds() - 2 * kDay, marker);
    {
      std::lock_guard lock(mutex_);
      asked_.clear();
    }
    const RefreshResult result = Refresh(task, std::nullopt);
    EXPECT_TRUE(result.continued) << marker;
    EXPECT_EQ(Asked().size(), asked) << marker;
  }
}

// A line longer than any writer writes is dropped with one notice, and what
// it holds is never sent back to the server.
TEST_F(RefreshTest, OverlongLinesAreDroppedAndNeverSent) {
  Rectangle(4, 10, 20, 50, 40);
  const DownloadTask task(params_);
  const std::string hugeEtag = "\"" + std::string(9000, 'h') + "\"";
  const std::string lines = "8\t5\t0\t0\t" + hugeEtag + "\t\n" + std::string(300000, 'x') + "\n";
  SaveTiles(task, {{8, 5}, {8, 6}}, {{8, 6}}, 0, lines);
  const RefreshResult result = Refresh(task, 0);
  ASSERT_FALSE(result.error) << *result.error;
  EXPECT_EQ(asked_, (std::map<std::string, std::string>{{"/4/8/5.png", ""}, {"/4/8/6.png", "\"e\""}}));
  EXPECT_EQ(lines_, std::vector<std::string>{"Dropped 2 lines longer than 8 KiB from " +
                                             FreshFilePathForTileFolder(task.TileFolder) + "."});
}

// An answer that is no image never replaces a saved tile, even with the
// check of downloads turned off, and enough of them stop the refresh.
TEST_F(RefreshTest, NoImageEverReplacesASavedTile) {
  Rectangle(5, 10, 20, 50, 40);  // 6 tiles
  params_.ThreadCount = 1;
  params_.Network.CheckTileBodies = false;
  params_.Network.StopAfterFailures = 3;
  const DownloadTask task(params_);
  Tiles tiles;
  for (int32_t x = task.MinX; x <= task.MaxX; ++x)
    for (int32_t y = task.MinY; y <= task.MaxY; ++y) tiles.insert({x, y});
  SaveTiles(task, tiles, {}, 0);
  blocked_ = true;
  const RefreshResult result = Refresh(task, 0);
  EXPECT_EQ(result.counts.replaced, 0);
  EXPECT_EQ(result.counts.failed, 3);
  EXPECT_FALSE(result.finished);
  EXPECT_FALSE(result.stopReason.empty());
  for (const auto& [x, y] : tiles) EXPECT_EQ(ReadFile(task.TileFilePath(x, y)), BodyFor(Target(x, y)));
}

}  // namespace

namespace {

// A task kept in one file: the checks come from and go to the store's
// validators table, a changed tile is written into the store, and no
// NAME_fresh.txt appears.
TEST_F(RefreshTest, ATaskKeptInOneFileIsRefreshedInItsStore) {
  Rectangle(4, 10, 20, 50, 40);  // tiles (8, 5) and (8, 6)
  params_.Storage = TileStorage::File;
  const DownloadTask task(params_);
  const std::string storePath = TileStorePathFor(task.ProjectFilePath());
  {
    auto store = TileStore::OpenForWriting(storePath);
    store->WriteBatch({{4, 8, 5, BodyFor(Target(8, 5))}, {4, 8, 6, "stale"}});
    store->PutValidators({{4, 8, 5, NowMilliseconds() - 8 * kDay, 0, "\"e\"", ""}});
  }
  const RefreshResult result = Refresh(task, std::nullopt);
  ASSERT_FALSE(result.error) << *result.error;
  EXPECT_TRUE(result.finished);
  EXPECT_EQ(result.counts.unchanged, 1);
  EXPECT_EQ(result.counts.replaced, 1);
  {
    std::lock_guard lock(mutex_);
    EXPECT_EQ(asked_[Target(8, 5)], "\"e\"");  // asked with the stored validator
  }
  const auto store = TileStore::OpenReadOnly(storePath);
  EXPECT_EQ(store->ReadTile(4, 8, 6), BodyFor(Target(8, 6)));
  EXPECT_TRUE(store->Validators(4, 8, 6));
  EXPECT_GT(store->Validators(4, 8, 5)->checked, NowMilliseconds() - kDay);
  EXPECT_EQ(store->Metadata("quarnel_refresh_started").value_or(""), "");
  EXPECT_FALSE(FileExists(FreshFilePathForTileFolder(task.TileFolder)));
}

}  // namespace
