#include "TaskConfig.h"

namespace {

int32_t ReadAtLeast(const IniFile& config, const char* key, int32_t lowest, int32_t defaultValue) {
  const int32_t value = config.ReadInteger("Network", key, defaultValue);
  return value < lowest ? defaultValue : value;
}

}  // namespace

TileHosts ReadTileHosts(const IniFile& config) {
  TileHosts hosts;
  for (std::size_t i = 0; i < TileHosts::kKeys.size(); ++i) {
    std::string& host = hosts.ByKeyIndex(i);
    const std::string value = config.ReadString("Hosts", TileHosts::kKeys[i], "");
    if (!value.empty()) host = value;
  }
  return hosts;
}

NetworkSettings ReadNetworkSettings(const IniFile& config) {
  NetworkSettings settings;
  settings.ConnectTimeout = ReadAtLeast(config, "ConnectTimeout", 1, settings.ConnectTimeout);
  settings.ReadTimeout = ReadAtLeast(config, "ReadTimeout", 1, settings.ReadTimeout);
  settings.RepeatLimit = ReadAtLeast(config, "RepeatLimit", 0, settings.RepeatLimit);
  settings.MaxRequestsPerSecond = ReadAtLeast(config, "MaxRequestsPerSecond", 0, settings.MaxRequestsPerSecond);
  settings.MaxRetryWait = ReadAtLeast(config, "MaxRetryWait", 0, settings.MaxRetryWait);
  settings.MaxTileBytes = ReadAtLeast(config, "MaxTileBytes", 1, static_cast<int32_t>(settings.MaxTileBytes));
  settings.TileTimeout = ReadAtLeast(config, "TileTimeout", 1, settings.TileTimeout);
  settings.StopAfterFailures = ReadAtLeast(config, "StopAfterFailures", 0, settings.StopAfterFailures);
  settings.CheckTileBodies = config.ReadInteger("Network", "CheckTileBodies", 1) != 0;
  settings.CaFile = config.ReadString("Network", "CaFile", "");
  // An unknown name keeps images: the task's own --format or source may still say otherwise.
  settings.TileFormat =
      TaskTileFormatNamed(config.ReadString("Network", "TileFormat", "")).value_or(settings.TileFormat);
  const std::string agent = config.ReadString("Network", "UserAgent", "");
  if (!agent.empty()) settings.UserAgent = agent;
  settings.Headers = config.ReadKeys("Headers");
  return settings;
}
