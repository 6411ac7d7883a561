#include "TilePixels.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <libimagequant.h>

#include "CombineError.h"
#include "PngCodec.h"

namespace {

struct JpegFailure {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr info) {
  auto* failure = reinterpret_cast<JpegFailure*>(info->err);
  (*info->err->format_message)(info, failure->message);
  std::longjmp(failure->jump, 1);
}

// libjpeg reports errors by a long jump: only plain data lives in this frame,
// so the jump skips no destructor.
bool CompressJpeg(const uint8_t* rgba, int32_t side, int quality, unsigned char** out, unsigned long* size,
                  char* message) {
  jpeg_compress_struct info;
  JpegFailure failure;
  info.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = &OnJpegError;
  unsigned char rgb[kLargestTileSide * 3];
  if (setjmp(failure.jump)) {
    jpeg_destroy_compress(&info);
    std::memcpy(message, failure.message, sizeof failure.message);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, out, size);
  info.image_width = static_cast<JDIMENSION>(side);
  info.image_height = static_cast<JDIMENSION>(side);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    const uint8_t* line = rgba + std::size_t{info.next_scanline} * side * 4;
    for (int x = 0; x < side; ++x) std::memcpy(rgb + 3 * x, line + 4 * x, 3);
    JSAMPROW row = rgb;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

std::size_t Row(int32_t side) { return static_cast<std::size_t>(side) * 4; }

// The quadrant's first byte in a side x side tile.
uint8_t* Quadrant(uint8_t* tile, int right, int down, int32_t side) {
  const int32_t half = side / 2;
  return tile + (static_cast<std::size_t>(down * half) * side + static_cast<std::size_t>(right * half)) * 4;
}

template <typename T, void (*Free)(T*)>
struct LiqOwned {
  T* p;
  ~LiqOwned() {
    if (p) Free(p);
  }
};

}  // namespace

void HalveTile(const uint8_t* tile, uint8_t* quarter, int32_t side) {
  const int32_t half = side / 2;
  for (int y = 0; y < half; ++y) {
    const uint8_t* top = tile + static_cast<std::size_t>(2 * y) * Row(side);
    const uint8_t* bottom = top + Row(side);
    uint8_t* out = quarter + static_cast<std::size_t>(y) * Row(half);
    for (int x = 0; x < half; ++x, top += 8, bottom += 8, out += 4) {
      const uint8_t* block[4] = {top, top + 4, bottom, bottom + 4};
      const uint32_t alpha = uint32_t{top[3]} + top[7] + bottom[3] + bottom[7];
      if (alpha == 4 * 255) {
        // Opaque, as most tiles are: the weights cancel, a plain rounded mean is the same.
        for (int c = 0; c < 3; ++c)
          out[c] = static_cast<uint8_t>((uint32_t{top[c]} + top[4 + c] + bottom[c] + bottom[4 + c] + 2) / 4);
        out[3] = 255;
        continue;
      }
      uint32_t weighted[3] = {0, 0, 0};
      for (const uint8_t* pixel : block)
        for (int c = 0; c < 3; ++c) weighted[c] += uint32_t{pixel[c]} * pixel[3];
      for (int c = 0; c < 3; ++c) out[c] = alpha ? static_cast<uint8_t>((weighted[c] + alpha / 2) / alpha) : 0;
      out[3] = static_cast<uint8_t>((alpha + 2) / 4);
    }
  }
}

void ClearQuarter(int right, int down, uint8_t* tile, int32_t side) { FillQuarter(0, right, down, tile, side); }

void FillQuarter(uint32_t colour, int right, int down, uint8_t* tile, int32_t side) {
  uint8_t* at = Quadrant(tile, right, down, side);
  for (int y = 0; y < side / 2; ++y, at += Row(side)) FillPixels(colour, at, static_cast<std::size_t>(side / 2));
}

void PlaceQuarter(const uint8_t* quarter, int right, int down, uint8_t* tile, int32_t side) {
  uint8_t* at = Quadrant(tile, right, down, side);
  for (int y = 0; y < side / 2; ++y, at += Row(side))
    std::memcpy(at, quarter + static_cast<std::size_t>(y) * Row(side / 2), Row(side / 2));
}

std::optional<uint32_t> UniformColour(const uint8_t* pixels, std::size_t count) {
  uint32_t first = 0;
  std::memcpy(&first, pixels, 4);
  for (std::size_t i = 1; i < count; ++i)
    if (std::memcmp(pixels + 4 * i, &first, 4) != 0) return std::nullopt;
  return first;
}

void FillPixels(uint32_t colour, uint8_t* pixels, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) std::memcpy(pixels + 4 * i, &colour, 4);
}

uint32_t HalvedColour(uint32_t colour) {
  uint8_t rgba[4];
  std::memcpy(rgba, &colour, 4);
  return rgba[3] == 0 ? 0 : colour;
}

std::string EncodePng(const uint8_t* tile, int32_t side, int level) {
  return EncodePngRgba(tile, static_cast<uint32_t>(side), level);
}

std::string EncodePalettePng(const uint8_t* tile, int32_t side) {
  const LiqOwned<liq_attr, liq_attr_destroy> attr{liq_attr_create()};
  if (!attr.p) throw CombineError("Cannot quantize a tile: out of memory.");
  liq_set_max_colors(attr.p, kPaletteColours);
  liq_set_speed(attr.p, kPaletteSpeed);
  const LiqOwned<liq_image, liq_image_destroy> image{liq_image_create_rgba(attr.p, tile, side, side, 0)};
  liq_result* quantized = nullptr;
  if (!image.p || liq_image_quantize(image.p, attr.p, &quantized) != LIQ_OK)
    throw CombineError("Cannot quantize a tile to 256 colours.");
  const LiqOwned<liq_result, liq_result_destroy> result{quantized};
  // Flat map colours compress far better undithered, and stay as close.
  liq_set_dithering_level(result.p, 0);
  thread_local std::vector<uint8_t> indices;
  indices.resize(static_cast<std::size_t>(side) * side);
  if (liq_write_remapped_image(result.p, image.p, indices.data(), indices.size()) != LIQ_OK)
    throw CombineError("Cannot quantize a tile to 256 colours.");
  const liq_palette* palette = liq_get_palette(result.p);
  uint8_t colours[256 * 4];
  for (unsigned i = 0; i < palette->count; ++i) {
    colours[4 * i] = palette->entries[i].r;
    colours[4 * i + 1] = palette->entries[i].g;
    colours[4 * i + 2] = palette->entries[i].b;
    colours[4 * i + 3] = palette->entries[i].a;
  }
  return EncodePngPalette(indices.data(), static_cast<uint32_t>(side), colours, static_cast<int>(palette->count));
}

std::string EncodeJpeg(const uint8_t* tile, int quality, int32_t side) {
  unsigned char* out = nullptr;
  unsigned long size = 0;
  char message[JMSG_LENGTH_MAX] = "";
  const bool ok = CompressJpeg(tile, side, quality, &out, &size, message);
  std::string bytes = ok ? std::string(reinterpret_cast<const char*>(out), size) : std::string();
  std::free(out);
  if (!ok) throw CombineError(std::string("Cannot encode a JPEG tile: ") + message + ".");
  return bytes;
}
