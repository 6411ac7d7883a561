#pragma once

#include <array>
#include <string>

// Where each service's tiles come from. A value is a host, optionally with
// ":port" and an "http://" or "https://" prefix (none means "http://"). A
// value that names the tile ("{x}", "{y}", "{z}", "{q}", "{bbox}" ...) is a
// whole address template instead. The placeholders are TileTemplate.h's;
// a host uses "{n}" (the host number, the row mod 4), "{s}" or "{switch:...}".
struct TileHosts {
  // Configuration keys, section "Hosts", in this order.
  static constexpr std::array<const char*, 8> kKeys = {
      "GoogleMap",        "GoogleSatellite",    "YahooStreet",        "YahooSatellite",
      "VirtualEarthRoad", "VirtualEarthAerial", "VirtualEarthHybrid", "OpenStreetMap"};

  std::string GoogleMap = "mt{n}.google.com";
  std::string GoogleSatellite = "khm{n}.google.com";
  std::string YahooStreet = "maps.yimg.com";
  std::string YahooSatellite = "maps.yimg.com";
  std::string VirtualEarthRoad = "r{n}.ortho.tiles.virtualearth.net";
  std::string VirtualEarthAerial = "a{n}.ortho.tiles.virtualearth.net";
  std::string VirtualEarthHybrid = "h{n}.ortho.tiles.virtualearth.net";
  std::string OpenStreetMap = "tile.openstreetmap.org";

  // The value for configuration key index i (0..7), for reading and writing by key.
  std::string& ByKeyIndex(std::size_t i);
  const std::string& ByKeyIndex(std::size_t i) const;
};
