#include "LiveTileFetcher.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <optional>

#include "ScriptedServer.h"
#include "TestFiles.h"
#include "TileHttpClient.h"

namespace {

// One tile fetched with the settings of this configuration, into cache when given.
LiveTileFetcher::Outcome FetchOne(const std::string& configPath, std::shared_ptr<TileDiskCache> cache,
                                  const TileKey& key) {
  std::mutex mutex;
  std::condition_variable arrived;
  std::optional<LiveTileFetcher::Outcome> outcome;
  LiveTileFetcher fetcher(ReadLiveSettings(IniFile(configPath)), std::move(cache), [&](LiveTileFetcher::Outcome o) {
    std::lock_guard lock(mutex);
    outcome = std::move(o);
    arrived.notify_all();
  });
  fetcher.Want({key});
  std::unique_lock lock(mutex);
  EXPECT_TRUE(arrived.wait_for(lock, std::chrono::seconds(30), [&] { return outcome.has_value(); }));
  return outcome.value_or(LiveTileFetcher::Outcome{});
}

std::string ConfigFor(const ScriptedServer& server, const std::string& more = "") {
  return "[Hosts]\r\nOpenStreetMap=127.0.0.1:" + std::to_string(server.Port()) + "/{s}/{z}/{x}/{y}.png\r\n" + more;
}

// The map's live tiles go out with the configured headers, from a template's address.
TEST(LiveTileFetcherTest, AsksWithTheConfiguredHeaders) {
  TileHttpClient::GlobalInit();
  ScriptedServer server;
  ScratchFolder folder("live");
  WriteFile(folder / "config.ini", ConfigFor(server, "[Headers]\r\nX-Api-Key=map-key\r\n"));
  FetchOne(folder / "config.ini", nullptr, {8, 5, 4});
  ASSERT_EQ(server.Targets(), std::vector<std::string>{"/b/4/8/5.png"});
  EXPECT_NE(server.Received(0).find("\r\nX-Api-Key: map-key\r\n"), std::string::npos) << server.Received(0);
}

// A "blocked" page answered with 200 is no tile: it is neither shown nor
// cached, even where the downloads' body check is switched off.
TEST(LiveTileFetcherTest, CachesOnlyWholeImages) {
  TileHttpClient::GlobalInit();
  const std::string page = "<html><body>Access blocked</body></html>";
  const struct {
    std::string body;
    bool tile;
  } cases[] = {{page, false}, {PngFramed("tile"), true}};
  for (const auto& c : cases) {
    ScriptedServer server([&](const ScriptedRequest&) { return Respond::Ok(c.body); });
    ScratchFolder folder("live-cache");
    WriteFile(folder / "config.ini", ConfigFor(server, "[Network]\r\nCheckTileBodies=0\r\n"));
    auto cache = std::make_shared<TileDiskCache>(folder / "cache", int64_t{1} << 20);
    const LiveTileFetcher::Outcome outcome = FetchOne(folder / "config.ini", cache, {1, 2, 3});
    EXPECT_EQ(outcome.ok, c.tile) << c.body;
    EXPECT_EQ(cache->Contains({1, 2, 3}), c.tile) << c.body;
    if (c.tile) {
      EXPECT_EQ(cache->Get({1, 2, 3}), c.body);
    }
  }
}

}  // namespace
