#include "TilePixels.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "CombineError.h"

namespace {

constexpr int kSide = 256;

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
bool CompressJpeg(const uint8_t* rgba, int quality, unsigned char** out, unsigned long* size, char* message) {
  jpeg_compress_struct info;
  JpegFailure failure;
  info.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = &OnJpegError;
  unsigned char rgb[kSide * 3];
  if (setjmp(failure.jump)) {
    jpeg_destroy_compress(&info);
    std::memcpy(message, failure.message, sizeof failure.message);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, out, size);
  info.image_width = kSide;
  info.image_height = kSide;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    const uint8_t* line = rgba + std::size_t{info.next_scanline} * kSide * 4;
    for (int x = 0; x < kSide; ++x) std::memcpy(rgb + 3 * x, line + 4 * x, 3);
    JSAMPROW row = rgb;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

bool Opaque(const uint8_t* tile) {
  for (std::size_t i = 3; i < kTileRgbaBytes; i += 4)
    if (tile[i] != 255) return false;
  return true;
}

}  // namespace

void HalveTile(const uint8_t* tile, uint8_t* quarter) {
  for (int y = 0; y < kQuarterPixels; ++y) {
    const uint8_t* top = tile + static_cast<std::size_t>(2 * y) * kSide * 4;
    const uint8_t* bottom = top + kSide * 4;
    uint8_t* out = quarter + static_cast<std::size_t>(y) * kQuarterPixels * 4;
    for (int x = 0; x < kQuarterPixels; ++x, top += 8, bottom += 8, out += 4) {
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

void ClearQuarter(int right, int down, uint8_t* tile) {
  for (int y = 0; y < kQuarterPixels; ++y)
    std::memset(tile + static_cast<std::size_t>((down * kQuarterPixels + y) * kSide + right * kQuarterPixels) * 4, 0,
                kQuarterPixels * 4);
}

void PlaceQuarter(const uint8_t* quarter, int right, int down, uint8_t* tile) {
  for (int y = 0; y < kQuarterPixels; ++y)
    std::memcpy(tile + static_cast<std::size_t>((down * kQuarterPixels + y) * kSide + right * kQuarterPixels) * 4,
                quarter + static_cast<std::size_t>(y) * kQuarterPixels * 4, kQuarterPixels * 4);
}

std::string EncodePng(const uint8_t* tile) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = kSide;
  image.height = kSide;
  image.flags = PNG_IMAGE_FLAG_FAST;
  // Kept per thread: buffers this large would be mapped and unmapped on every tile.
  thread_local std::vector<uint8_t> rgb(std::size_t{3} * kSide * kSide), out;
  const void* pixels = tile;
  if (Opaque(tile)) {
    image.format = PNG_FORMAT_RGB;
    for (std::size_t i = 0; i < std::size_t{kSide} * kSide; ++i) std::memcpy(&rgb[3 * i], tile + 4 * i, 3);
    pixels = rgb.data();
  } else {
    image.format = PNG_FORMAT_RGBA;
  }
  out.resize(PNG_IMAGE_PNG_SIZE_MAX(image));
  png_alloc_size_t size = out.size();
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels, 0, nullptr))
    throw CombineError(std::string("Cannot encode a PNG tile: ") + image.message + ".");
  return std::string(reinterpret_cast<const char*>(out.data()), size);
}

std::string EncodeJpeg(const uint8_t* tile, int quality) {
  unsigned char* out = nullptr;
  unsigned long size = 0;
  char message[JMSG_LENGTH_MAX] = "";
  const bool ok = CompressJpeg(tile, quality, &out, &size, message);
  std::string bytes = ok ? std::string(reinterpret_cast<const char*>(out), size) : std::string();
  std::free(out);
  if (!ok) throw CombineError(std::string("Cannot encode a JPEG tile: ") + message + ".");
  return bytes;
}
