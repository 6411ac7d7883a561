#pragma once

#include "IniFile.h"
#include "NetworkSettings.h"
#include "TileHosts.h"

// The task's share of the application configuration, read at every Start.

// Section "Hosts", one key per service (TileHosts::kKeys); a missing or
// empty value keeps the service's public host.
TileHosts ReadTileHosts(const IniFile& config);

// Section "Network": "ConnectTimeout", "ReadTimeout" and "TileTimeout" in
// seconds, "UserAgent", "RepeatLimit", "MaxRequestsPerSecond", "MaxRetryWait",
// "MaxTileBytes", "StopAfterFailures", "CheckTileBodies" (0 turns the image
// check off), "CaFile", "TileFormat" (mvt for vector tiles). A missing, invalid or non-positive number gives the
// default (RepeatLimit, MaxRequestsPerSecond, MaxRetryWait and
// StopAfterFailures may be 0); an empty user agent gives the default.
// Every Name=value line of section "Headers" becomes a request header.
NetworkSettings ReadNetworkSettings(const IniFile& config);
