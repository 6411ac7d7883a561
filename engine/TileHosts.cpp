#include "TileHosts.h"

#include <stdexcept>

std::string& TileHosts::ByKeyIndex(std::size_t i) {
  return const_cast<std::string&>(static_cast<const TileHosts&>(*this).ByKeyIndex(i));
}

const std::string& TileHosts::ByKeyIndex(std::size_t i) const {
  switch (i) {
    case 0: return GoogleMap;
    case 1: return GoogleSatellite;
    case 2: return YahooStreet;
    case 3: return YahooSatellite;
    case 4: return VirtualEarthRoad;
    case 5: return VirtualEarthAerial;
    case 6: return VirtualEarthHybrid;
    case 7: return OpenStreetMap;
  }
  throw std::out_of_range("No tile host key " + std::to_string(i));
}
