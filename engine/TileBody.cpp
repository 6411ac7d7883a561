#include "TileBody.h"

#include <cstdint>

namespace {

constexpr std::string_view kPngSignature{"\x89PNG\r\n\x1a\n", 8};
// An empty IEND chunk: length 0, the type, its CRC.
constexpr std::string_view kPngEnd{"\0\0\0\0IEND\xae\x42\x60\x82", 12};
constexpr std::string_view kJpegSignature{"\xff\xd8\xff", 3};
constexpr std::string_view kJpegEnd{"\xff\xd9", 2};

bool LooksLikeText(std::string_view bytes) {
  std::size_t start = 0;
  while (start < bytes.size() && (bytes[start] == ' ' || bytes[start] == '\t' || bytes[start] == '\r' ||
                                  bytes[start] == '\n'))
    ++start;
  if (start == bytes.size()) return true;
  const char first = bytes[start];
  return first == '<' || first == '{' || first == '[';
}

uint32_t LittleEndian32(std::string_view bytes, std::size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Some encoders pad a JPEG after its end marker; padding is no content.
std::string_view WithoutPadding(std::string_view bytes) {
  while (!bytes.empty() && (bytes.back() == '\0' || bytes.back() == '\n' || bytes.back() == '\r' ||
                            bytes.back() == ' '))
    bytes.remove_suffix(1);
  return bytes;
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
  constexpr std::string_view kCutShort = "The image is cut short: its end is missing.";
  switch (TileImageFormatOf(bytes)) {
    case TileImageFormat::Png:
      if (bytes.size() >= kPngSignature.size() + kPngEnd.size() && bytes.ends_with(kPngEnd)) return std::nullopt;
      return kCutShort;
    case TileImageFormat::Jpeg:
      if (WithoutPadding(bytes).size() > kJpegSignature.size() && WithoutPadding(bytes).ends_with(kJpegEnd))
        return std::nullopt;
      return kCutShort;
    case TileImageFormat::Gif:
      if (bytes.ends_with(';')) return std::nullopt;
      return kCutShort;
    case TileImageFormat::WebP:
      // The RIFF length counts everything after its own eight bytes.
      if (LittleEndian32(bytes, 4) <= bytes.size() - 8) return std::nullopt;
      return kCutShort;
    case TileImageFormat::None:
      break;
  }
  if (bytes.empty()) return "The answer is empty, not an image.";
  if (LooksLikeText(bytes)) return "The answer is a text or web page, not an image.";
  return "The answer is not a PNG, JPEG, GIF or WebP image.";
}
