#include "TileImage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include <cpl_vsi.h>
#include <gdal.h>

#include "Files.h"
#include "GdalSession.h"
#include "PngCodec.h"
#include "TileBody.h"
#include "VectorTile.h"

namespace {

constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
uint32_t BigEndian(std::string_view bytes, std::size_t at, int width) {
  uint32_t value = 0;
  for (int i = 0; i < width; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::optional<PixelSize> PngSize(std::string_view bytes) {
  // The first chunk must be IHDR: width and height follow its type.
  if (bytes.size() < 24 || bytes.substr(12, 4) != "IHDR") return std::nullopt;
  return PixelSize{BigEndian(bytes, 16, 4), BigEndian(bytes, 20, 4)};
}

std::optional<PixelSize> JpegSize(std::string_view bytes) {
  std::size_t at = 2;
  while (at + 4 <= bytes.size()) {
    if (static_cast<unsigned char>(bytes[at]) != 0xFF) return std::nullopt;
    const unsigned marker = static_cast<unsigned char>(bytes[at + 1]);
    if (marker == 0xFF) {
      ++at;
      continue;
    }
    if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      at += 2;
      continue;
    }
    const uint32_t length = BigEndian(bytes, at + 2, 2);
    if (length < 2) return std::nullopt;
    const bool startOfFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (startOfFrame) {
      if (at + 9 > bytes.size()) return std::nullopt;
      return PixelSize{BigEndian(bytes, at + 7, 2), BigEndian(bytes, at + 5, 2)};
    }
    if (marker == 0xDA || marker == 0xD9) return std::nullopt;  // scan before any frame
    at += 2 + length;
  }
  return std::nullopt;
}


void ExpandToRgba(const std::vector<uint8_t>& planes, int bands, GDALColorTableH palette, uint8_t* rgba) {
  constexpr std::size_t kPixels = std::size_t{kTilePixels} * kTilePixels;
  for (std::size_t i = 0; i < kPixels; ++i) {
    uint8_t* out = rgba + 4 * i;
    const auto plane = [&](int band) { return planes[static_cast<std::size_t>(band) * kPixels + i]; };
    if (palette) {
      const GDALColorEntry* entry = GDALGetColorEntry(palette, plane(0));
      out[0] = entry ? static_cast<uint8_t>(entry->c1) : 0;
      out[1] = entry ? static_cast<uint8_t>(entry->c2) : 0;
      out[2] = entry ? static_cast<uint8_t>(entry->c3) : 0;
      out[3] = entry ? static_cast<uint8_t>(entry->c4) : 0;
    } else if (bands <= 2) {
      out[0] = out[1] = out[2] = plane(0);
      out[3] = bands == 2 ? plane(1) : 255;
    } else {
      out[0] = plane(0), out[1] = plane(1), out[2] = plane(2);
      out[3] = bands == 4 ? plane(3) : 255;
    }
  }
}

}  // namespace

TileFormat DetectTileFormat(std::string_view bytes) {
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0) return TileFormat::Png;
  if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xD8 && static_cast<unsigned char>(bytes[2]) == 0xFF)
    return TileFormat::Jpeg;
  return TileFormat::Unknown;
}

const char* TileFormatName(TileFormat format) {
  switch (format) {
    case TileFormat::Png: return "png";
    case TileFormat::Jpeg: return "jpg";
    case TileFormat::Mvt: return kVectorTileEnding;
    default: return "";
  }
}

std::optional<PixelSize> DeclaredPixelSize(std::string_view bytes) {
  switch (DetectTileFormat(bytes)) {
    case TileFormat::Png: return PngSize(bytes);
    case TileFormat::Jpeg: return JpegSize(bytes);
    default: return std::nullopt;
  }
}

TileBytes ReadTile(const std::string& path, const std::string& blank) {
  TileBytes tile;
  ReadTile(path, blank, tile);
  return tile;
}

void ReadTile(const std::string& path, const std::string& blank, TileBytes& tile) {
  tile.format = TileFormat::Unknown;
  tile.problem.clear();
  bool missing = false;
  if (!ReadSmallFile(path, tile.bytes, missing, tile.problem)) {
    tile.kind = missing ? TileBytes::Kind::NoData : TileBytes::Kind::Bad;
    tile.bytes.clear();
    return;
  }
  ClassifyTileBytes(blank, tile);
}

void ClassifyTileBytes(const std::string& blank, TileBytes& tile) {
  tile.format = TileFormat::Unknown;
  tile.problem.clear();
  if (!blank.empty() && tile.bytes == blank) {
    tile.kind = TileBytes::Kind::NoData;
    tile.bytes.clear();
    return;
  }
  tile.format = DetectTileFormat(tile.bytes);
  const auto size = DeclaredPixelSize(tile.bytes);
  tile.kind = TileBytes::Kind::Bad;
  if (tile.format == TileFormat::Unknown)
    tile.problem = "neither PNG nor JPEG";
  else if (!size)
    tile.problem = "unreadable image header";
  else if (size->width != kTilePixels || size->height != kTilePixels)
    tile.problem = std::to_string(size->width) + " x " + std::to_string(size->height) + " pixels, not 256 x 256";
  else if (const auto cut = TileBodyProblem(tile.bytes))
    tile.problem = *cut;  // a download cut short: the header is there, the end is not
  else
    tile.kind = TileBytes::Kind::Data;
}

void ClassifyVectorBytes(TileBytes& tile) {
  tile.format = TileFormat::Unknown;
  tile.problem.clear();
  if (tile.bytes.empty()) {
    tile.kind = TileBytes::Kind::NoData;
    return;
  }
  if (const auto problem = VectorTileBodyProblem(tile.bytes, kMostVectorTileBytes)) {
    tile.kind = TileBytes::Kind::Bad;
    tile.problem = *problem;
    return;
  }
  tile.kind = TileBytes::Kind::Data;
  tile.format = TileFormat::Mvt;
}

bool DecodeTileRgba(std::string_view bytes, uint8_t* rgba, std::string& problem, bool* palette) {
  // Most tiles are PNG of a kind the small reader takes, at a fraction of GDAL's cost.
  bool wasPalette = false;
  if (DecodePngRgba(bytes, kTilePixels, rgba, wasPalette)) {
    if (palette) *palette = wasPalette;
    return true;
  }
  if (palette) *palette = false;
  static std::atomic<unsigned> counter{0};
  const std::string name = "/vsimem/quarnel_tile_" + std::to_string(counter++);
  VSILFILE* file = VSIFileFromMemBuffer(name.c_str(), reinterpret_cast<GByte*>(const_cast<char*>(bytes.data())),
                                        bytes.size(), FALSE);
  if (!file) {
    problem = "cannot be read";
    return false;
  }
  VSIFCloseL(file);
  GdalErrorCapture errors;
  const char* const drivers[] = {"PNG", "JPEG", nullptr};
  GDALDatasetH image = GDALOpenEx(name.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, drivers, nullptr, nullptr);
  bool ok = false;
  if (!image) {
    problem = "does not decode";
  } else if (GDALGetRasterXSize(image) != kTilePixels || GDALGetRasterYSize(image) != kTilePixels) {
    problem = "not 256 x 256 pixels";
  } else {
    const int bands = std::min(GDALGetRasterCount(image), 4);
    GDALColorTableH palette = bands == 1 ? GDALGetRasterColorTable(GDALGetRasterBand(image, 1)) : nullptr;
    // Kept per thread: a buffer this large would be mapped and unmapped on every tile.
    thread_local std::vector<uint8_t> planes;
    planes.resize(static_cast<std::size_t>(bands) * kTilePixels * kTilePixels);
    int bandMap[] = {1, 2, 3, 4};
    ok = bands > 0 && GDALDatasetRasterIO(image, GF_Read, 0, 0, kTilePixels, kTilePixels, planes.data(), kTilePixels,
                                          kTilePixels, GDT_Byte, bands, bandMap, 0, 0, 0) == CE_None &&
         !errors.Failed();
    if (ok)
      ExpandToRgba(planes, bands, palette, rgba);
    else
      problem = "does not decode" + (errors.Message().empty() ? std::string() : ": " + errors.Message());
  }
  if (image) GDALClose(image);
  VSIUnlink(name.c_str());
  return ok;
}
