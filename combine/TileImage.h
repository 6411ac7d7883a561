#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Commonfunc.h"

// A tile file as the combiner sees it: no data (missing or the blank
// placeholder), data, or bad (not a whole PNG or JPEG, not 256 x 256, or
// not a regular file).

// Mvt comes only from a vector task's tiles (ClassifyVectorBytes), never from detection.
enum class TileFormat { Png, Jpeg, Unknown, Mvt };
TileFormat DetectTileFormat(std::string_view bytes);
const char* TileFormatName(TileFormat format);  // "png", "jpg", "", "pbf"

struct PixelSize {
  uint32_t width = 0, height = 0;
};
// The size the header declares, read without decoding; nullopt when the
// header cannot be read.
std::optional<PixelSize> DeclaredPixelSize(std::string_view bytes);

struct TileBytes {
  enum class Kind { NoData, Data, Bad };
  Kind kind = Kind::NoData;
  TileFormat format = TileFormat::Unknown;
  std::string bytes;
  std::string problem;          // for Bad
  std::vector<uint8_t> pixels;  // what a read-ahead's prepare step made of the bytes
};

// Reads and classifies one tile file. blank is the placeholder's bytes.
TileBytes ReadTile(const std::string& path, const std::string& blank);
// The same into tile, reusing its buffer.
void ReadTile(const std::string& path, const std::string& blank, TileBytes& tile);
// The most a vector tile may inflate to in a combine.
inline constexpr int64_t kMostVectorTileBytes = int64_t{64} << 20;
// Classify the bytes a reader put in tile.bytes: an image task's, told from
// the blank placeholder, and a vector task's (an empty one, the server's or
// a failed tile's placeholder, is no data; a whole vector tile data).
void ClassifyTileBytes(const std::string& blank, TileBytes& tile);
void ClassifyVectorBytes(TileBytes& tile);

// Decodes a tile already classified as Data into 256 x 256 RGBA, pixel after
// pixel. False, with problem set, when the bytes do not decode. palette,
// when given, tells whether the tile was a palette PNG.
bool DecodeTileRgba(std::string_view bytes, uint8_t* rgba, std::string& problem, bool* palette = nullptr);
