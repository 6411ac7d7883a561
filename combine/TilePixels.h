#pragma once

#include <cstdint>
#include <string>

// The pixel work of lower levels: a tile halved to a quarter, four quarters
// put together, and the result encoded. Pixels are RGBA, row after row;
// a tile is 256 x 256, a quarter 128 x 128.

inline constexpr int32_t kQuarterPixels = 128;
inline constexpr std::size_t kTileRgbaBytes = std::size_t{4} * 256 * 256;
inline constexpr std::size_t kQuarterRgbaBytes = kTileRgbaBytes / 4;

// Each 2 x 2 block becomes one pixel: the colours weighted by their alpha
// (so a transparent pixel lends no colour), the alpha averaged. A block of
// one colour keeps that colour exactly.
void HalveTile(const uint8_t* tile, uint8_t* quarter);

// Copies a quarter into the tile's quadrant (right: 0 or 1, down: 0 or 1).
void PlaceQuarter(const uint8_t* quarter, int right, int down, uint8_t* tile);
// Makes the quadrant transparent: no data.
void ClearQuarter(int right, int down, uint8_t* tile);

// PNG, RGB when every pixel is opaque, else RGBA; encoded for speed.
// Throws CombineError when the encoder fails.
std::string EncodePng(const uint8_t* tile);
// JPEG at the given quality; alpha is dropped (no data comes out black).
std::string EncodeJpeg(const uint8_t* tile, int quality);

// The quality of JPEG tiles the combiner makes.
inline constexpr int kLowerJpegQuality = 90;
