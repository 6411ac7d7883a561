#include <gtest/gtest.h>

#include "AtomicFile.h"
#include "MapServices.h"
#include "TaskConfig.h"
#include "TestFiles.h"

namespace {

TEST(TaskConfigTest, MissingConfigurationGivesThePublicHostsAndDefaults) {
  ScratchFolder folder;
  const IniFile config(folder / "config.ini");
  const TileHosts hosts = ReadTileHosts(config);
  EXPECT_EQ(hosts.OpenStreetMap, "tile.openstreetmap.org");
  EXPECT_EQ(BuildTileUrl(hosts, kOpenStreetMap, 8, 5, 4), "http://tile.openstreetmap.org/4/8/5.png");
  const NetworkSettings network = ReadNetworkSettings(config);
  EXPECT_EQ(network.ConnectTimeout, 30);
  EXPECT_EQ(network.ReadTimeout, 60);
  EXPECT_EQ(network.RepeatLimit, 5);
  EXPECT_EQ(network.UserAgent, NetworkSettings::kDefaultUserAgent);
}

TEST(TaskConfigTest, HostsComeFromTheirKeys) {
  ScratchFolder folder;
  WriteFileAtomic(folder / "config.ini",
                  "[Hosts]\r\nopenstreetmap=127.0.0.1:8080\r\nGoogleMap=\r\nVirtualEarthHybrid=h{n}.test\r\n");
  const TileHosts hosts = ReadTileHosts(IniFile(folder / "config.ini"));
  EXPECT_EQ(hosts.OpenStreetMap, "127.0.0.1:8080");
  EXPECT_EQ(hosts.GoogleMap, TileHosts{}.GoogleMap) << "an empty value keeps the default";
  EXPECT_EQ(hosts.VirtualEarthHybrid, "h{n}.test");
  EXPECT_EQ(hosts.VirtualEarthRoad, TileHosts{}.VirtualEarthRoad);
}

TEST(TaskConfigTest, HeadersAreEveryLineOfTheirSectionInOrder) {
  ScratchFolder folder;
  WriteFileAtomic(folder / "config.ini",
                  "[Headers]\r\nReferer = https://maps.example.org/\r\n; a comment\r\nX-Api-Key=k=1\r\nX-Empty=\r\n"
                  "[Network]\r\nUserAgent=me\r\n");
  EXPECT_EQ(ReadNetworkSettings(IniFile(folder / "config.ini")).Headers,
            (RequestHeaders{{"Referer", "https://maps.example.org/"}, {"X-Api-Key", "k=1"}, {"X-Empty", ""}}));
  EXPECT_TRUE(ReadNetworkSettings(IniFile(folder / "none.ini")).Headers.empty());
}

struct NetworkCase {
  const char* section;
  int32_t connect, read, repeat;
  int32_t rate = 0;
  int32_t retryWait = 120;
};

class NetworkSettingsTest : public testing::TestWithParam<NetworkCase> {};

TEST_P(NetworkSettingsTest, InvalidNumbersGiveTheDefault) {
  ScratchFolder folder;
  WriteFileAtomic(folder / "config.ini", GetParam().section);
  const NetworkSettings network = ReadNetworkSettings(IniFile(folder / "config.ini"));
  EXPECT_EQ(network.ConnectTimeout, GetParam().connect);
  EXPECT_EQ(network.ReadTimeout, GetParam().read);
  EXPECT_EQ(network.RepeatLimit, GetParam().repeat);
  EXPECT_EQ(network.MaxRequestsPerSecond, GetParam().rate);
  EXPECT_EQ(network.MaxRetryWait, GetParam().retryWait);
}

INSTANTIATE_TEST_SUITE_P(
    Sections, NetworkSettingsTest,
    testing::Values(NetworkCase{"[Network]\nConnectTimeout=5\nReadTimeout=0x10\nRepeatLimit=0\nMaxRequestsPerSecond=4\n"
                                "MaxRetryWait=0\n",
                                5, 16, 0, 4, 0},
                    NetworkCase{"[Network]\nConnectTimeout=0\nReadTimeout=-3\nRepeatLimit=-1\nMaxRequestsPerSecond=-2\n"
                                "MaxRetryWait=-1\n",
                                30, 60, 5, 0, 120},
                    NetworkCase{"[Network]\nConnectTimeout=ten\nReadTimeout=\nRepeatLimit=99999999999\n", 30, 60, 5},
                    NetworkCase{"[network]\nconnecttimeout=1\nreadtimeout=1\nrepeatlimit=2\n", 1, 1, 2}));

TEST(TaskConfigTest, UserAgentEmptyMeansDefault) {
  ScratchFolder folder;
  WriteFileAtomic(folder / "a.ini", "[Network]\nUserAgent= Quarnel/1.0 \nCaFile=/etc/quarnel/ca.pem\n");
  EXPECT_EQ(ReadNetworkSettings(IniFile(folder / "a.ini")).UserAgent, "Quarnel/1.0");
  EXPECT_EQ(ReadNetworkSettings(IniFile(folder / "a.ini")).CaFile, "/etc/quarnel/ca.pem");
  WriteFileAtomic(folder / "b.ini", "[Network]\nUserAgent=\n");
  EXPECT_EQ(ReadNetworkSettings(IniFile(folder / "b.ini")).UserAgent, NetworkSettings::kDefaultUserAgent);
}

TEST(TaskConfigTest, TileBoundsAndStopRuleKeys) {
  ScratchFolder folder;
  const NetworkSettings defaults = ReadNetworkSettings(IniFile(folder / "none.ini"));
  EXPECT_EQ(defaults.MaxTileBytes, int64_t{16} << 20);
  EXPECT_EQ(defaults.TileTimeout, 120);
  EXPECT_EQ(defaults.StopAfterFailures, 50);
  EXPECT_TRUE(defaults.CheckTileBodies);
  WriteFileAtomic(folder / "a.ini",
                  "[Network]\nMaxTileBytes=1000\nTileTimeout=5\nStopAfterFailures=0\nCheckTileBodies=0\n");
  const NetworkSettings set = ReadNetworkSettings(IniFile(folder / "a.ini"));
  EXPECT_EQ(set.MaxTileBytes, 1000);
  EXPECT_EQ(set.TileTimeout, 5);
  EXPECT_EQ(set.StopAfterFailures, 0) << "0 means never";
  EXPECT_FALSE(set.CheckTileBodies);
  WriteFileAtomic(folder / "b.ini", "[Network]\nMaxTileBytes=0\nTileTimeout=-1\nStopAfterFailures=x\n");
  const NetworkSettings invalid = ReadNetworkSettings(IniFile(folder / "b.ini"));
  EXPECT_EQ(invalid.MaxTileBytes, defaults.MaxTileBytes);
  EXPECT_EQ(invalid.TileTimeout, defaults.TileTimeout);
  EXPECT_EQ(invalid.StopAfterFailures, defaults.StopAfterFailures);
}

}  // namespace
