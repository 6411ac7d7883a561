#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

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

// Why a host value or address template gives no address that can be
// fetched, as a phrase that follows the value in a message ("holds a
// blank"); nullopt when its form is sound. A scheme other than http:// or
// https:// is UnfetchedScheme's, not this one's. Placeholders count as part of
// the host, each item of a "{switch:...}" checked as host text.
std::optional<std::string> TileAddressFormProblem(std::string_view value);

// The scheme a value names other than http or https ("ftp"), or nullopt.
std::optional<std::string> UnfetchedScheme(std::string_view value);
