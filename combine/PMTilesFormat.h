#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "JsonValue.h"  // JsonString for the metadata

// The byte layout of a PMTiles (version 3) archive, as data: the 127-byte
// header and the directories. Little-endian throughout; a directory is its
// entry count, then every entry's tile id (as the step from the one
// before), run length, length and offset (0 when it follows the entry
// before without a gap, else offset + 1), all as varints, compressed as
// the header says.

struct PMTilesEntry {
  uint64_t tileId = 0;
  uint64_t offset = 0;  // in the tile data section, or in the leaf section for a leaf
  uint32_t length = 0;
  uint32_t runLength = 1;  // 0: the entry points at a leaf directory
};

enum class PMTilesTileType : uint8_t { Mvt = 1, Png = 2, Jpeg = 3 };

struct PMTilesHeader {
  uint64_t rootOffset = 0, rootLength = 0;
  uint64_t metadataOffset = 0, metadataLength = 0;
  uint64_t leavesOffset = 0, leavesLength = 0;
  uint64_t dataOffset = 0, dataLength = 0;
  uint64_t addressedTiles = 0, tileEntries = 0, tileContents = 0;
  bool clustered = true;
  PMTilesTileType tileType = PMTilesTileType::Png;
  bool gzipTiles = false;  // the tiles' own compression: gzip, else none
  uint8_t minZoom = 0, maxZoom = 0, centerZoom = 0;
  double west = 0, south = 0, east = 0, north = 0;  // degrees
  double centerLongitude = 0, centerLatitude = 0;
};

inline constexpr std::size_t kPMTilesHeaderBytes = 127;
// Readers fetch this much first: the header and the root directory must fit.
inline constexpr std::size_t kPMTilesFirstFetch = 16384;

// Internal compression gzip; tile compression gzip or none, as the header says.
std::string PMTilesHeaderBytes(const PMTilesHeader& header);
// Uncompressed.
std::string PMTilesDirectoryBytes(const std::vector<PMTilesEntry>& entries);
// gzip, as the header's internal compression names. Throws CombineError.
std::string Gzip(std::string_view bytes);
