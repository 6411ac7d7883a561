#include "TileBody.h"

#include <libdeflate.h>

#include <cstdint>

// Each format's walk reads only lengths, markers and (for PNG) checksums:
// no pixel is decoded. A walk that runs out of bytes calls the image cut
// short, unless the image's end is there after all: then the bytes between
// a good start and a good end are garbage, and the image is damaged.

namespace {

constexpr std::string_view kCutShort = "The image is cut short: its end is missing.";
constexpr std::string_view kDamaged = "The image is damaged: its structure does not hold together.";

constexpr std::string_view kPngSignature{"\x89PNG\r\n\x1a\n", 8};
// An empty IEND chunk: length 0, the type, its CRC.
constexpr std::string_view kPngEnd{"\0\0\0\0IEND\xae\x42\x60\x82", 12};
constexpr std::string_view kJpegSignature{"\xff\xd8\xff", 3};
constexpr std::string_view kJpegEnd{"\xff\xd9", 2};
// No tile is this wide or high; a header that says so is no tile's.
constexpr uint32_t kMostPixelsPerSide = 1u << 15;

enum class Walk { Whole, RanOut, Damaged };

bool LooksLikeText(std::string_view bytes) {
  std::size_t start = 0;
  while (start < bytes.size() && (bytes[start] == ' ' || bytes[start] == '\t' || bytes[start] == '\r' ||
                                  bytes[start] == '\n'))
    ++start;
  if (start == bytes.size()) return true;
  const char first = bytes[start];
  return first == '<' || first == '{' || first == '[';
}

uint8_t Byte(std::string_view bytes, std::size_t at) { return static_cast<uint8_t>(bytes[at]); }

uint32_t BigEndian32(std::string_view bytes, std::size_t at) {
  return uint32_t{Byte(bytes, at)} << 24 | uint32_t{Byte(bytes, at + 1)} << 16 | uint32_t{Byte(bytes, at + 2)} << 8 |
         Byte(bytes, at + 3);
}

uint32_t LittleEndian32(std::string_view bytes, std::size_t at) {
  return uint32_t{Byte(bytes, at + 3)} << 24 | uint32_t{Byte(bytes, at + 2)} << 16 |
         uint32_t{Byte(bytes, at + 1)} << 8 | Byte(bytes, at);
}

bool IsPadding(char c) { return c == '\0' || c == '\n' || c == '\r' || c == ' '; }

// Some encoders pad an image after its end; padding is no content.
std::string_view WithoutPadding(std::string_view bytes) {
  while (!bytes.empty() && IsPadding(bytes.back())) bytes.remove_suffix(1);
  return bytes;
}

bool OnlyPadding(std::string_view rest) { return WithoutPadding(rest).empty(); }

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool SaneHeader(std::string_view bytes, std::size_t data) {
  const uint32_t width = BigEndian32(bytes, data);
  const uint32_t height = BigEndian32(bytes, data + 4);
  const uint8_t depth = Byte(bytes, data + 8);
  const uint8_t colour = Byte(bytes, data + 9);
  if (width == 0 || height == 0 || width > kMostPixelsPerSide || height > kMostPixelsPerSide) return false;
  bool depthFits = false;
  switch (colour) {
    case 0: depthFits = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16; break;
    case 3: depthFits = depth == 1 || depth == 2 || depth == 4 || depth == 8; break;
    case 2:
    case 4:
    case 6: depthFits = depth == 8 || depth == 16; break;
    default: break;
  }
  return depthFits && Byte(bytes, data + 10) == 0 && Byte(bytes, data + 11) == 0 && Byte(bytes, data + 12) <= 1;
}

Walk WalkPng(std::string_view bytes) {
  std::size_t at = kPngSignature.size();
  bool first = true;
  bool palette = false;
  bool pixels = false;
  uint8_t colour = 0;
  for (;;) {
    if (bytes.size() - at < 12) return Walk::RanOut;
    const uint32_t length = BigEndian32(bytes, at);
    const std::string_view type = bytes.substr(at + 4, 4);
    if (length > 0x7fffffffu || !IsLetter(type[0]) || !IsLetter(type[1]) || !IsLetter(type[2]) ||
        !IsLetter(type[3]))
      return Walk::Damaged;
    if (bytes.size() - at - 12 < length) return Walk::RanOut;
    const std::size_t data = at + 8;
    if (libdeflate_crc32(0, bytes.data() + at + 4, length + 4) != BigEndian32(bytes, data + length))
      return Walk::Damaged;
    if (first != (type == "IHDR")) return Walk::Damaged;
    if (first) {
      if (length != 13 || !SaneHeader(bytes, data)) return Walk::Damaged;
      colour = Byte(bytes, data + 9);
      first = false;
    } else if (type == "PLTE") {
      palette = true;
    } else if (type == "IDAT") {
      if (colour == 3 && !palette) return Walk::Damaged;
      pixels = true;
    } else if (type == "IEND") {
      return pixels && OnlyPadding(bytes.substr(data + length + 4)) ? Walk::Whole : Walk::Damaged;
    }
    at = data + length + 4;
  }
}

bool IsFrameHeader(uint8_t marker) {
  return marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
}

// The segments up to the first scan; after it the coded data is not walked
// (a progressive image holds more tables and scans there), only its end.
Walk WalkJpeg(std::string_view bytes) {
  std::size_t at = 2;
  bool frame = false;
  for (;;) {
    if (bytes.size() - at < 2) return Walk::RanOut;
    if (Byte(bytes, at) != 0xff) return Walk::Damaged;
    while (at + 1 < bytes.size() && Byte(bytes, at + 1) == 0xff) ++at;  // fill bytes
    if (bytes.size() - at < 2) return Walk::RanOut;
    const uint8_t marker = Byte(bytes, at + 1);
    at += 2;
    if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) continue;  // no length follows
    if (marker == 0x00 || marker == 0xd8 || marker == 0xd9) return Walk::Damaged;
    if (bytes.size() - at < 2) return Walk::RanOut;
    const std::size_t length = std::size_t{Byte(bytes, at)} << 8 | Byte(bytes, at + 1);
    if (length < 2) return Walk::Damaged;
    if (bytes.size() - at < length) return Walk::RanOut;
    at += length;
    frame = frame || IsFrameHeader(marker);
    if (marker == 0xda) {
      if (!frame) return Walk::Damaged;
      const std::string_view coded = WithoutPadding(bytes.substr(at));
      return coded.ends_with(kJpegEnd) ? Walk::Whole : Walk::RanOut;
    }
  }
}

// Skips sub-blocks up to and including the empty one that ends them.
Walk SkipSubBlocks(std::string_view bytes, std::size_t& at) {
  for (;;) {
    if (at >= bytes.size()) return Walk::RanOut;
    const uint8_t size = Byte(bytes, at++);
    if (size == 0) return Walk::Whole;
    if (bytes.size() - at < size) return Walk::RanOut;
    at += size;
  }
}

std::size_t ColourTableBytes(uint8_t packed) { return packed & 0x80 ? 3u << ((packed & 7) + 1) : 0; }

Walk WalkGif(std::string_view bytes) {
  constexpr std::size_t kScreen = 13;  // the header and the logical screen descriptor
  if (bytes.size() < kScreen) return Walk::RanOut;
  std::size_t at = kScreen + ColourTableBytes(Byte(bytes, 10));
  bool image = false;
  for (;;) {
    if (at >= bytes.size()) return Walk::RanOut;
    const uint8_t block = Byte(bytes, at++);
    if (block == ';') return image && OnlyPadding(bytes.substr(at)) ? Walk::Whole : Walk::Damaged;
    if (block == 0x21) {
      if (at >= bytes.size()) return Walk::RanOut;
      ++at;  // the extension's label
    } else if (block == 0x2c) {
      if (bytes.size() - at < 10) return Walk::RanOut;
      at += 9 + ColourTableBytes(Byte(bytes, at + 8));
      if (at >= bytes.size()) return Walk::RanOut;
      const uint8_t codeSize = Byte(bytes, at++);
      if (codeSize < 1 || codeSize > 11) return Walk::Damaged;
      image = true;
    } else {
      return Walk::Damaged;
    }
    if (const Walk walk = SkipSubBlocks(bytes, at); walk != Walk::Whole) return walk;
  }
}

Walk WalkWebP(std::string_view bytes) {
  // The RIFF length counts everything after its own eight bytes.
  const std::size_t end = std::size_t{LittleEndian32(bytes, 4)} + 8;
  if (end > bytes.size()) return Walk::RanOut;
  if (!OnlyPadding(bytes.substr(end))) return Walk::Damaged;
  std::size_t at = 12;
  for (bool first = true; at < end; first = false) {
    if (end - at < 8) return Walk::Damaged;
    const std::string_view kind = bytes.substr(at, 4);
    if (first && kind != "VP8 " && kind != "VP8L" && kind != "VP8X") return Walk::Damaged;
    const std::size_t size = LittleEndian32(bytes, at + 4);
    if (end - at - 8 < size) return Walk::Damaged;
    at += 8 + size + (size & 1);  // odd chunks are padded to even
  }
  return at >= 20 ? Walk::Whole : Walk::Damaged;
}

bool EndsWithItsEnd(TileImageFormat format, std::string_view bytes) {
  const std::string_view content = WithoutPadding(bytes);
  switch (format) {
    case TileImageFormat::Png: return content.ends_with(kPngEnd);
    case TileImageFormat::Jpeg: return content.ends_with(kJpegEnd);
    case TileImageFormat::Gif: return content.ends_with(';');
    default: return false;
  }
}

}  // namespace

TileImageFormat TileImageFormatOf(std::string_view bytes) {
  if (bytes.starts_with(kPngSignature)) return TileImageFormat::Png;
  if (bytes.starts_with(kJpegSignature)) return TileImageFormat::Jpeg;
  if (bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a")) return TileImageFormat::Gif;
  if (bytes.size() >= 12 && bytes.starts_with("RIFF") && bytes.substr(8, 4) == "WEBP") return TileImageFormat::WebP;
  return TileImageFormat::None;
}

std::optional<std::string_view> TileBodyProblem(std::string_view bytes) {
  const TileImageFormat format = TileImageFormatOf(bytes);
  Walk walk = Walk::Damaged;
  switch (format) {
    case TileImageFormat::Png: walk = WalkPng(bytes); break;
    case TileImageFormat::Jpeg: walk = WalkJpeg(bytes); break;
    case TileImageFormat::Gif: walk = WalkGif(bytes); break;
    case TileImageFormat::WebP: walk = WalkWebP(bytes); break;
    case TileImageFormat::None:
      if (bytes.empty()) return "The answer is empty, not an image.";
      if (LooksLikeText(bytes)) return "The answer is a text or web page, not an image.";
      return "The answer is not a PNG, JPEG, GIF or WebP image.";
  }
  if (walk == Walk::Whole) return std::nullopt;
  if (walk == Walk::RanOut && !EndsWithItsEnd(format, bytes)) return kCutShort;
  return kDamaged;
}

const char* TileImageEnding(TileImageFormat format) {
  switch (format) {
    case TileImageFormat::Png: return "png";
    case TileImageFormat::Jpeg: return "jpg";
    case TileImageFormat::Gif: return "gif";
    case TileImageFormat::WebP: return "webp";
    case TileImageFormat::None: break;
  }
  return nullptr;
}
