#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The PNG the lower levels read and write, with libdeflate doing the
// inflating and deflating: 8-bit grey, grey with alpha, RGB and RGBA, and
// palettes of 1 to 8 bits with their tRNS alphas. Anything else (16 bits,
// interlacing, grey below 8 bits) is left to the general decoder.

// Decodes a side x side PNG into RGBA, as the general decoder would (a
// colour-key tRNS of grey or RGB is no alpha there either). False when the
// file is not one this reader takes or does not decode; palette tells
// whether it was a palette PNG.
bool DecodePngRgba(std::string_view bytes, uint32_t side, uint8_t* rgba, bool& palette);

// Chosen by measuring lower tiles of both the bench's kinds (RGB with noise,
// map-like palette tiles averaged to RGB): no filter gave the smallest tiles
// and costs nothing (Sub, Up and Paeth gave 20 to 70 % more bytes), and
// libdeflate's level 3 the bytes of libpng's fast setting (0.95 of them on
// the RGB tiles, 1.001 on the map tiles) in less time; level 1 is 40 % faster
// but 6 % larger on the map tiles, level 6 2 % smaller at twice the time.
inline constexpr int kPngFilter = 0;  // None, on every row; palette rows too
inline constexpr int kPngDeflateLevel = 3;
// Tiles averaged from map-like palette tiles: at level 3 their lower levels
// came to 1.001 of libpng's bytes on the bench's, at level 4 to 0.998 in the
// same time, at level 5 to 0.986 in 15 % more.
inline constexpr int kMapPngDeflateLevel = 4;
// Palette PNGs: their indices deflate at level 6 to 0.98 of level 3's bytes
// for a tenth of the time libimagequant takes before it.
inline constexpr int kPalettePngDeflateLevel = 6;

// A square RGBA image as PNG: RGB when every pixel is opaque, else RGBA;
// rows unfiltered (kPngFilter), deflated at level (libdeflate's 1 to 12).
// Throws CombineError when deflating fails.
std::string EncodePngRgba(const uint8_t* rgba, uint32_t side, int level = kPngDeflateLevel);

// A square image of palette indices as an 8-bit palette PNG; colours are
// RGBA, count of them (1 to 256); a tRNS chunk comes when some are not opaque.
std::string EncodePngPalette(const uint8_t* indices, uint32_t side, const uint8_t* colours, int count);
