#include "LiveTileFetcher.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "ScriptedServer.h"
#include "TestFiles.h"
#include "TileHttpClient.h"

namespace {

// The map's live tiles go out with the configured headers, from a template's address.
TEST(LiveTileFetcherTest, AsksWithTheConfiguredHeaders) {
  TileHttpClient::GlobalInit();
  ScriptedServer server;
  ScratchFolder folder("live");
  WriteFile(folder / "config.ini", "[Hosts]\r\nOpenStreetMap=127.0.0.1:" + std::to_string(server.Port()) +
                                       "/{s}/{z}/{x}/{y}.png\r\n[Headers]\r\nX-Api-Key=map-key\r\n");
  std::mutex mutex;
  std::condition_variable arrived;
  bool done = false;
  LiveTileFetcher fetcher(ReadLiveSettings(IniFile(folder / "config.ini")), nullptr, [&](LiveTileFetcher::Outcome) {
    std::lock_guard lock(mutex);
    done = true;
    arrived.notify_all();
  });
  fetcher.Want({{8, 5, 4}});
  std::unique_lock lock(mutex);
  ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(30), [&] { return done; }));
  ASSERT_EQ(server.Targets(), std::vector<std::string>{"/b/4/8/5.png"});
  EXPECT_NE(server.Received(0).find("\r\nX-Api-Key: map-key\r\n"), std::string::npos) << server.Received(0);
}

}  // namespace
