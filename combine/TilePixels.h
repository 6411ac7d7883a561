#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "PngCodec.h"

// The pixel work of lower levels: a tile halved to a quarter, four quarters
// put together, and the result encoded. Pixels are RGBA, row after row; a
// tile is side x side (256, or 512 for high-density sets), a quarter half
// that. A colour is one pixel's four bytes as they lie in memory.

inline constexpr int32_t kQuarterPixels = 128;
inline constexpr int32_t kLargestTileSide = 512;
inline constexpr std::size_t kTileRgbaBytes = std::size_t{4} * 256 * 256;
inline constexpr std::size_t kQuarterRgbaBytes = kTileRgbaBytes / 4;

// Each 2 x 2 block becomes one pixel: the colours weighted by their alpha
// (so a transparent pixel lends no colour), the alpha averaged. A block of
// one colour keeps that colour exactly, unless it is transparent: then it
// becomes transparent black (HalvedColour).
void HalveTile(const uint8_t* tile, uint8_t* quarter, int32_t side = 256);
uint32_t HalvedColour(uint32_t colour);

// Copies a quarter into the tile's quadrant (right: 0 or 1, down: 0 or 1).
void PlaceQuarter(const uint8_t* quarter, int right, int down, uint8_t* tile, int32_t side = 256);
// Makes the quadrant transparent: no data.
void ClearQuarter(int right, int down, uint8_t* tile, int32_t side = 256);
// Paints the quadrant one colour.
void FillQuarter(uint32_t colour, int right, int down, uint8_t* tile, int32_t side = 256);

// The colour of every one of count pixels, when they share one.
std::optional<uint32_t> UniformColour(const uint8_t* pixels, std::size_t count);
void FillPixels(uint32_t colour, uint8_t* pixels, std::size_t count);

// PNG, RGB when every pixel is opaque, else RGBA; encoded for speed.
// Throws CombineError when the encoder fails.
std::string EncodePng(const uint8_t* tile, int32_t side = 256, int level = kPngDeflateLevel);
// An 8-bit palette PNG of at most kPaletteColours, quantized by libimagequant.
std::string EncodePalettePng(const uint8_t* tile, int32_t side = 256);
// JPEG at the given quality; alpha is dropped (no data comes out black).
std::string EncodeJpeg(const uint8_t* tile, int quality, int32_t side = 256);

// The quality of JPEG tiles the combiner makes.
inline constexpr int kLowerJpegQuality = 90;
// libimagequant's speed (1 best to 10 fastest) for palette tiles: on the
// bench's map tiles 8 and 10 gave the same bytes, 10 in 7 ms a tile where
// its default took 33 ms for 0.5 % fewer bytes.
inline constexpr int kPaletteSpeed = 10;
// The colours of a palette tile. Averaged map tiles hold more, but on the
// bench's 128 gave 0.40 of the RGB lower levels' bytes where 256 gave 0.46,
// a colour 0.7 further off on average (of 255), and quantize 20 % faster.
inline constexpr int kPaletteColours = 128;
