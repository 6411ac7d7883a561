#include "PngCodec.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "CombineError.h"

namespace {

constexpr unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

uint32_t BigEndian(const unsigned char* at) {
  return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
}

void PutBigEndian(std::string& out, uint32_t value) {
  const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
                         static_cast<char>(value)};
  out.append(bytes, 4);
}

// Each thread keeps its own (de)compressor: making one costs more than a tile.
struct Deflaters {
  std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflate{
      libdeflate_alloc_decompressor(), &libdeflate_free_decompressor};
  struct FreeCompressor {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
  };
  std::array<std::unique_ptr<libdeflate_compressor, FreeCompressor>, 13> deflate{};  // by level, made when first used
  std::vector<uint8_t> raw, packed;
  std::string idat;

  libdeflate_compressor* Compressor(int level) {
    auto& compressor = deflate.at(static_cast<std::size_t>(level));
    if (!compressor) compressor.reset(libdeflate_alloc_compressor(level));
    if (!compressor) throw CombineError("Cannot encode a PNG tile: out of memory.");
    return compressor.get();
  }
};
Deflaters& ThisThread() {
  thread_local Deflaters deflaters;
  return deflaters;
}

uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Undoes the row filters in place; rows are stride bytes after their filter byte.
bool Unfilter(uint8_t* data, uint32_t rows, std::size_t stride, std::size_t bpp) {
  const uint8_t* prior = nullptr;
  for (uint32_t y = 0; y < rows; ++y) {
    const uint8_t filter = data[0];
    uint8_t* row = data + 1;
    switch (filter) {
      case 0: break;
      case 1:
        for (std::size_t i = bpp; i < stride; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
        break;
      case 2:
        if (prior)
          for (std::size_t i = 0; i < stride; ++i) row[i] = static_cast<uint8_t>(row[i] + prior[i]);
        break;
      case 3:
        for (std::size_t i = 0; i < stride; ++i) {
          const int left = i >= bpp ? row[i - bpp] : 0, up = prior ? prior[i] : 0;
          row[i] = static_cast<uint8_t>(row[i] + (left + up) / 2);
        }
        break;
      case 4:
        for (std::size_t i = 0; i < stride; ++i) {
          const int left = i >= bpp ? row[i - bpp] : 0, up = prior ? prior[i] : 0;
          const int corner = prior && i >= bpp ? prior[i - bpp] : 0;
          row[i] = static_cast<uint8_t>(row[i] + Paeth(left, up, corner));
        }
        break;
      default: return false;
    }
    prior = row;
    data += stride + 1;
  }
  return true;
}

void AppendChunk(std::string& out, const char* type, const void* data, std::size_t length) {
  PutBigEndian(out, static_cast<uint32_t>(length));
  const std::size_t start = out.size();
  out.append(type, 4);
  out.append(static_cast<const char*>(data), length);
  PutBigEndian(out, libdeflate_crc32(0, out.data() + start, length + 4));
}

// Signature, IHDR, the extra chunks, IDAT of the filtered rows, IEND.
std::string Assemble(uint32_t side, uint8_t colourType, const std::string& extra, const std::vector<uint8_t>& raw,
                     int level) {
  Deflaters& d = ThisThread();
  libdeflate_compressor* compressor = d.Compressor(level);
  d.packed.resize(libdeflate_zlib_compress_bound(compressor, raw.size()));
  const std::size_t packed = libdeflate_zlib_compress(compressor, raw.data(), raw.size(), d.packed.data(),
                                                      d.packed.size());
  if (packed == 0) throw CombineError("Cannot encode a PNG tile: the compressor failed.");
  std::string out(reinterpret_cast<const char*>(kSignature), sizeof kSignature);
  out.reserve(packed + 128 + extra.size());
  unsigned char header[13] = {};
  for (int i = 0; i < 2; ++i)
    for (int b = 0; b < 4; ++b) header[4 * i + b] = static_cast<unsigned char>(side >> (24 - 8 * b));
  header[8] = 8;
  header[9] = colourType;
  AppendChunk(out, "IHDR", header, sizeof header);
  out += extra;
  AppendChunk(out, "IDAT", d.packed.data(), packed);
  AppendChunk(out, "IEND", "", 0);
  return out;
}

}  // namespace

bool DecodePngRgba(std::string_view bytes, uint32_t side, uint8_t* rgba, bool& palette) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < 33 || std::memcmp(data, kSignature, 8) != 0 || std::memcmp(data + 12, "IHDR", 4) != 0)
    return false;
  const uint32_t width = BigEndian(data + 16), height = BigEndian(data + 20);
  const uint8_t depth = data[24], type = data[25];
  if (width != side || height != side || data[26] != 0 || data[27] != 0 || data[28] != 0) return false;
  int channels = 0;
  switch (type) {
    case 0: channels = depth == 8 ? 1 : 0; break;
    case 2: channels = depth == 8 ? 3 : 0; break;
    case 3: channels = depth == 1 || depth == 2 || depth == 4 || depth == 8 ? 1 : 0; break;
    case 4: channels = depth == 8 ? 2 : 0; break;
    case 6: channels = depth == 8 ? 4 : 0; break;
  }
  if (channels == 0) return false;
  palette = type == 3;

  uint8_t colours[256][4] = {};  // entries past the palette's end are transparent black
  Deflaters& d = ThisThread();
  d.idat.clear();
  std::size_t at = 8;
  bool ended = false;
  while (at + 12 <= bytes.size() && !ended) {
    const uint32_t length = BigEndian(data + at);
    if (length > bytes.size() - at - 12) return false;
    const unsigned char* type4 = data + at + 4;
    const unsigned char* body = data + at + 8;
    if (std::memcmp(type4, "IDAT", 4) == 0) {
      d.idat.append(reinterpret_cast<const char*>(body), length);
    } else if (std::memcmp(type4, "PLTE", 4) == 0 && palette) {
      for (uint32_t i = 0; i < length / 3 && i < 256; ++i) {
        std::memcpy(colours[i], body + 3 * i, 3);
        colours[i][3] = 255;
      }
    } else if (std::memcmp(type4, "tRNS", 4) == 0 && palette) {
      for (uint32_t i = 0; i < length && i < 256; ++i) colours[i][3] = body[i];
    } else if (std::memcmp(type4, "IEND", 4) == 0) {
      ended = true;
    }
    at += std::size_t{length} + 12;
  }
  const std::size_t bitsPerPixel = std::size_t{depth} * channels;
  const std::size_t stride = (side * bitsPerPixel + 7) / 8;
  d.raw.resize((stride + 1) * side);
  std::size_t got = 0;
  if (d.idat.empty() ||
      libdeflate_zlib_decompress(d.inflate.get(), d.idat.data(), d.idat.size(), d.raw.data(), d.raw.size(), &got) !=
          LIBDEFLATE_SUCCESS ||
      got != d.raw.size())
    return false;
  if (!Unfilter(d.raw.data(), side, stride, std::max<std::size_t>(1, bitsPerPixel / 8))) return false;

  for (uint32_t y = 0; y < side; ++y) {
    const uint8_t* row = d.raw.data() + y * (stride + 1) + 1;
    uint8_t* out = rgba + std::size_t{y} * side * 4;
    for (uint32_t x = 0; x < side; ++x, out += 4) {
      switch (type) {
        case 0: out[0] = out[1] = out[2] = row[x], out[3] = 255; break;
        case 4: out[0] = out[1] = out[2] = row[2 * x], out[3] = row[2 * x + 1]; break;
        case 2: std::memcpy(out, row + 3 * x, 3), out[3] = 255; break;
        case 6: std::memcpy(out, row + 4 * x, 4); break;
        default: {
          const std::size_t bit = std::size_t{x} * depth;
          const unsigned index = (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
          std::memcpy(out, colours[index], 4);
        }
      }
    }
  }
  return true;
}

std::string EncodePngRgba(const uint8_t* rgba, uint32_t side, int level) {
  bool opaque = true;
  for (std::size_t i = 3; i < std::size_t{4} * side * side && opaque; i += 4) opaque = rgba[i] == 255;
  const std::size_t stride = (opaque ? 3 : 4) * std::size_t{side};
  std::vector<uint8_t>& raw = ThisThread().raw;
  raw.resize((stride + 1) * side);
  for (uint32_t y = 0; y < side; ++y) {
    uint8_t* row = raw.data() + y * (stride + 1);
    row[0] = kPngFilter;
    const uint8_t* in = rgba + std::size_t{y} * side * 4;
    if (opaque)
      for (uint32_t x = 0; x < side; ++x) std::memcpy(row + 1 + 3 * x, in + 4 * x, 3);
    else
      std::memcpy(row + 1, in, stride);
  }
  return Assemble(side, opaque ? 2 : 6, "", raw, level);
}

std::string EncodePngPalette(const uint8_t* indices, uint32_t side, const uint8_t* colours, int count) {
  std::string extra;
  std::vector<uint8_t> rgb(static_cast<std::size_t>(count) * 3), alpha(static_cast<std::size_t>(count));
  int alphas = 0;  // up to the last entry that is not opaque
  for (int i = 0; i < count; ++i) {
    std::memcpy(&rgb[3 * i], colours + 4 * i, 3);
    alpha[i] = colours[4 * i + 3];
    if (alpha[i] != 255) alphas = i + 1;
  }
  AppendChunk(extra, "PLTE", rgb.data(), rgb.size());
  if (alphas > 0) AppendChunk(extra, "tRNS", alpha.data(), static_cast<std::size_t>(alphas));
  std::vector<uint8_t>& raw = ThisThread().raw;
  raw.resize((side + 1) * side);
  for (uint32_t y = 0; y < side; ++y) {
    raw[y * (side + 1)] = 0;
    std::memcpy(&raw[y * (side + 1) + 1], indices + std::size_t{y} * side, side);
  }
  return Assemble(side, 3, extra, raw, kPalettePngDeflateLevel);
}
