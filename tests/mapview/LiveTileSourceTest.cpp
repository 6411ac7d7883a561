#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>

#include "IniFile.h"
#include "LiveTileSource.h"
#include "MapViewTestSupport.h"
#include "MapWidget.h"
#include "ScriptedServer.h"
#include "TileHttpClient.h"
#include "ProjectVersion.h"

namespace {

LiveTileFetcher::Settings SettingsFor(const ScratchFolder& folder, int port) {
  WriteFile(folder / "config.ini", "[Hosts]\r\nOpenStreetMap=127.0.0.1:" + std::to_string(port) +
                                       "\r\n\r\n[Network]\r\nUserAgent=QuarnelMapTest/1\r\nReadTimeout=30\r\n");
  return ReadLiveSettings(IniFile(folder / "config.ini"));
}

// A widget of 768 x 512 pixels at zoom 3 centred on tile point (4, 4): it
// shows columns 2 to 5 and rows 3 and 4.
void ShowAtZoom3(MapWidget& widget, MapLayerSource& source) {
  widget.resize(768, 512);
  widget.show();
  widget.SetSource(&source);
  widget.SetCenter({4, 4}, 3);
  widget.grab();
}

TEST(LiveTileSource, FetchesOnlyTheTilesInViewOverAtMostTwoConnections) {
  TileHttpClient::GlobalInit();
  ScratchFolder folder("live");
  std::atomic<int> active{0}, most{0};
  std::mutex mutex;
  std::vector<std::string> agents;
  ScriptedServer server([&](const ScriptedRequest& request) {
    const int now = ++active;
    int seen = most;
    while (now > seen && !most.compare_exchange_weak(seen, now)) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let requests overlap if they would
    {
      std::lock_guard lock(mutex);
      agents.push_back(request.Header("User-Agent"));
    }
    --active;
    return Respond::Ok(PngOfColour(Qt::darkCyan, 256).toStdString());
  });
  LiveTileSource source(SettingsFor(folder, server.Port()), folder / "cache");
  MapWidget widget;
  ShowAtZoom3(widget, source);
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.RequestCount() == 8 && source.Queued() == 0; }, 10000));
  QTest::qWait(100);  // nothing else follows
  const std::vector<std::string> asked = server.Targets();
  const std::set<std::string> targets(asked.begin(), asked.end());
  std::set<std::string> expected;
  for (int x = 2; x <= 5; ++x)
    for (int y = 3; y <= 4; ++y) expected.insert("/3/" + std::to_string(x) + "/" + std::to_string(y) + ".png");
  EXPECT_EQ(targets, expected);
  EXPECT_EQ(server.RequestCount(), 8u);
  EXPECT_LE(most.load(), 2);
  EXPECT_LE(server.ConnectionCount(), 2u);
  // Viewing requests name the program whatever [Network] says, as tile policies ask.
  for (const std::string& agent : agents)
    EXPECT_EQ(agent, std::string("Quarnel/") + kProjectVersion + " (+https://quarnel.example.org)");
  ASSERT_TRUE(QTest::qWaitFor([&] { return widget.grab().toImage().pixelColor(10, 200) == QColor(Qt::darkCyan); }, 5000));
  EXPECT_GT(source.DiskCache().Bytes(), 0);
}

TEST(LiveTileSource, AHungServerNeitherBlocksTheViewNorKeepsTilesItHasLeft) {
  TileHttpClient::GlobalInit();
  ScratchFolder folder("live");
  ScriptedServer server([](const ScriptedRequest&) { return Respond::Stall(); });
  auto source = std::make_unique<LiveTileSource>(SettingsFor(folder, server.Port()), folder / "cache");
  MapWidget widget;
  ShowAtZoom3(widget, *source);
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.RequestCount() == 2; }, 5000));
  // Both connections hang; the event loop still runs and the view still pans and paints.
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return ran; }, 1000));
  EXPECT_EQ(source->Queued(), 6u);
  widget.SetCenter({100, 100}, 8);  // 4 x 2 tiles, far from the first view
  widget.grab();
  EXPECT_EQ(source->Queued(), 8u);  // the new view's tiles only
  EXPECT_EQ(server.RequestCount(), 2u);
  widget.SetSource(nullptr);
  source.reset();  // returns although two fetches still hang
  SUCCEED();
}

TEST(LiveTileSource, OfflineShowsCachedTilesAndSaysTheRestCannotBeFetched) {
  TileHttpClient::GlobalInit();
  ScratchFolder folder("live");
  {
    TileDiskCache cache(folder / "cache", 1 << 20);
    cache.Put({2, 3, 3}, PngOfColour(Qt::darkYellow).toStdString());
  }
  LiveTileSource source(SettingsFor(folder, UnusedLocalPort()), folder / "cache");
  MapWidget widget;
  ShowAtZoom3(widget, source);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !source.Note().isEmpty(); }, 10000));
  EXPECT_TRUE(source.Note().startsWith("Tiles cannot be fetched: ")) << source.Note().toStdString();
  // Column 2, row 3 fills the view's top-left 128 x 256 pixels.
  EXPECT_EQ(widget.grab().toImage().pixelColor(60, 150), QColor(Qt::darkYellow));
}

TEST(LiveTileSource, TilesThatFailedAreAskedForAgainAndTheNoticeGoesOnceTheyArrive) {
  TileHttpClient::GlobalInit();
  ScratchFolder folder("live");
  std::atomic<bool> down{true};
  ScriptedServer server([&](const ScriptedRequest&) {
    return down ? Respond::Status(404, "Not Found") : Respond::Ok(PngOfColour(Qt::darkGreen).toStdString());
  });
  LiveTileSource source(SettingsFor(folder, server.Port()), folder / "cache");
  source.SetFirstRetry(std::chrono::milliseconds(200));
  MapWidget widget;
  ShowAtZoom3(widget, source);
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.RequestCount() >= 8 && !source.Note().isEmpty(); }, 10000));
  EXPECT_TRUE(source.Note().startsWith("Tiles cannot be fetched: ")) << source.Note().toStdString();
  // The server comes back; the view is left alone and fills in by itself.
  // (A 404 sent just before may still land and raise the notice once more.)
  down = false;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return widget.grab().toImage().pixelColor(60, 150) == QColor(Qt::darkGreen) && source.Queued() == 0 &&
               source.Note().isEmpty();
      },
      10000))
      << source.Note().toStdString();
}

}  // namespace
