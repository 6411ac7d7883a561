#include "VectorTile.h"

#include <libdeflate.h>

#include <memory>

#include "Text.h"
#include "TileBody.h"

namespace {

constexpr uint32_t kLayerField = 3;
constexpr uint32_t kLayerNameField = 1;
enum WireType : uint32_t { kVarint = 0, kFixed64 = 1, kLengthDelimited = 2, kFixed32 = 5 };

bool ReadVarint(std::string_view bytes, std::size_t& at, uint64_t& value) {
  value = 0;
  for (int shift = 0; shift < 64 && at < bytes.size(); shift += 7) {
    const auto byte = static_cast<uint8_t>(bytes[at++]);
    value |= uint64_t{byte & 0x7fu} << shift;
    if (!(byte & 0x80)) return true;
  }
  return false;
}

// One field at at: its number, wire type and, for a length-delimited one,
// its bytes; at moves past it. False for a field that does not hold together.
bool NextField(std::string_view bytes, std::size_t& at, uint32_t& number, uint32_t& wire, std::string_view& value) {
  uint64_t key = 0;
  if (!ReadVarint(bytes, at, key) || key >> 3 == 0 || key >> 3 > 0x1fffffff) return false;
  number = static_cast<uint32_t>(key >> 3);
  wire = static_cast<uint32_t>(key & 7);
  uint64_t size = 0;
  switch (wire) {
    case kVarint: return ReadVarint(bytes, at, size);
    case kFixed64: size = 8; break;
    case kFixed32: size = 4; break;
    case kLengthDelimited:
      if (!ReadVarint(bytes, at, size)) return false;
      break;
    default: return false;  // groups and unknown types are no part of a tile
  }
  if (size > bytes.size() - at) return false;
  value = bytes.substr(at, static_cast<std::size_t>(size));
  at += static_cast<std::size_t>(size);
  return true;
}

// A layer's fields are walked, not read: they must hold together and name the layer.
std::optional<std::string_view> LayerName(std::string_view layer) {
  std::optional<std::string_view> name;
  uint32_t number = 0, wire = 0;
  std::string_view value;
  for (std::size_t at = 0; at < layer.size();) {
    if (!NextField(layer, at, number, wire, value)) return std::nullopt;
    if (number == kLayerNameField && wire == kLengthDelimited) name = value;
  }
  return name;
}

// The layers of a raw tile; false when any top-level field is no layer.
bool WalkLayers(std::string_view tile, std::vector<std::string>* names) {
  uint32_t number = 0, wire = 0;
  std::string_view layer;
  for (std::size_t at = 0; at < tile.size();) {
    if (!NextField(tile, at, number, wire, layer) || number != kLayerField || wire != kLengthDelimited) return false;
    const std::optional<std::string_view> name = LayerName(layer);
    if (!name) return false;
    if (names) names->emplace_back(*name);
  }
  return true;
}

bool LooksLikeText(std::string_view bytes) {
  const std::string_view start = TrimLeft(bytes, " \t\r\n");
  return !start.empty() && (start.front() == '<' || start.front() == '{' || start.front() == '[');
}

struct FreeDecompressor {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

}  // namespace

const char* TaskTileFormatName(TaskTileFormat format) { return format == TaskTileFormat::Mvt ? "mvt" : "raster"; }

std::optional<TaskTileFormat> TaskTileFormatNamed(std::string_view name) {
  const std::string lower = LowerAscii(Trim(name));
  if (lower == "mvt" || lower == "pbf") return TaskTileFormat::Mvt;
  if (lower.empty() || lower == "raster" || lower == "image") return TaskTileFormat::Raster;
  return std::nullopt;
}

bool NamesVectorTiles(std::string_view formatOrAddress) {
  const std::string lower = LowerAscii(formatOrAddress.substr(0, formatOrAddress.find_first_of("?#")));
  return lower == "pbf" || lower == "mvt" || lower.ends_with(".pbf") || lower.ends_with(".mvt");
}

bool IsGzip(std::string_view bytes) { return bytes.starts_with("\x1f\x8b"); }

std::optional<std::string> InflateGzip(std::string_view bytes, int64_t maxBytes) {
  constexpr std::size_t kSmallestMember = 18;  // header, an empty block, the trailer
  if (!IsGzip(bytes) || bytes.size() < kSmallestMember) return std::nullopt;
  // The trailer's size (modulo 2^32) bounds the buffer; a lying one fails the inflate.
  const std::size_t end = bytes.size() - 4;
  uint32_t size = 0;
  for (int i = 3; i >= 0; --i) size = size << 8 | static_cast<uint8_t>(bytes[end + static_cast<std::size_t>(i)]);
  if (int64_t{size} > maxBytes) return std::nullopt;
  thread_local std::unique_ptr<libdeflate_decompressor, FreeDecompressor> decompressor(
      libdeflate_alloc_decompressor());
  if (!decompressor) return std::nullopt;
  std::string out(size, '\0');
  char spare = 0;  // an empty content still needs somewhere to go
  std::size_t in = 0, written = 0;
  const libdeflate_result result =
      libdeflate_gzip_decompress_ex(decompressor.get(), bytes.data(), bytes.size(), size ? out.data() : &spare, size,
                                    &in, &written);
  if (result != LIBDEFLATE_SUCCESS || in != bytes.size() || written != size) return std::nullopt;
  return out;
}

std::optional<std::string_view> VectorTileBodyProblem(std::string_view bytes, int64_t maxBytes) {
  if (bytes.empty()) return std::nullopt;
  if (IsGzip(bytes)) {
    const std::optional<std::string> inner = InflateGzip(bytes, maxBytes);
    if (!inner) return "The vector tile is cut short, damaged or too large: its gzip stream does not inflate whole.";
    if (!WalkLayers(*inner, nullptr)) return "The gzip stream holds no vector tile: its fields are not layers.";
    return std::nullopt;
  }
  if (WalkLayers(bytes, nullptr)) return std::nullopt;
  if (TileImageFormatOf(bytes) != TileImageFormat::None) return "The answer is an image, not a vector tile.";
  if (LooksLikeText(bytes)) return "The answer is a text or web page, not a vector tile.";
  return "The answer is not a vector tile: its fields are not layers.";
}

std::vector<std::string> VectorTileLayerNames(std::string_view bytes, int64_t maxBytes) {
  std::vector<std::string> names;
  std::optional<std::string> inner;
  if (IsGzip(bytes) && !(inner = InflateGzip(bytes, maxBytes))) return names;
  if (!WalkLayers(inner ? std::string_view(*inner) : bytes, &names)) names.clear();
  return names;
}
