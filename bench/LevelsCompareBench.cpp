// Checks the levels below zoom BELOW of an MBTiles pixel by pixel, each tile
// decoded by GDAL (not by the combiner's own reader): against its four
// children in the same file, averaged here as the combiner has always
// averaged (each 2 x 2 block's colours weighted by their alpha, the alpha's
// mean rounded; a missing child transparent), or against the same tile of
// a second MBTiles. Prints how many tiles are the same, the largest colour
// distance of any pixel (the largest difference of one channel, alpha
// included, a missing alpha being opaque), the mean distance over all
// pixels, and the bytes of the checked tiles.
//
// usage: quarnel_levels_compare A.mbtiles [B.mbtiles] BELOW
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <cpl_vsi.h>
#include <gdal.h>

namespace {

// side x side RGBA, or empty when the bytes do not decode.
std::vector<uint8_t> Decode(const void* bytes, int size) {
  static int counter = 0;
  const std::string name = "/vsimem/compare_" + std::to_string(counter++);
  VSIFCloseL(VSIFileFromMemBuffer(name.c_str(), static_cast<GByte*>(const_cast<void*>(bytes)), size, FALSE));
  GDALDatasetH image = GDALOpen(name.c_str(), GA_ReadOnly);
  std::vector<uint8_t> rgba;
  if (image) {
    const int side = GDALGetRasterXSize(image), bands = GDALGetRasterCount(image);
    GDALColorTableH palette = bands == 1 ? GDALGetRasterColorTable(GDALGetRasterBand(image, 1)) : nullptr;
    std::vector<uint8_t> planes(std::size_t(bands) * side * side);
    if (GDALDatasetRasterIO(image, GF_Read, 0, 0, side, side, planes.data(), side, side, GDT_Byte, bands, nullptr, 0,
                            0, 0) == CE_None) {
      const std::size_t n = std::size_t(side) * side;
      rgba.resize(4 * n);
      for (std::size_t i = 0; i < n; ++i) {
        uint8_t* out = &rgba[4 * i];
        if (palette) {
          const GDALColorEntry* e = GDALGetColorEntry(palette, planes[i]);
          out[0] = e ? e->c1 : 0, out[1] = e ? e->c2 : 0, out[2] = e ? e->c3 : 0, out[3] = e ? e->c4 : 0;
        } else if (bands <= 2) {
          out[0] = out[1] = out[2] = planes[i];
          out[3] = bands == 2 ? planes[n + i] : 255;
        } else {
          out[0] = planes[i], out[1] = planes[n + i], out[2] = planes[2 * n + i];
          out[3] = bands == 4 ? planes[3 * n + i] : 255;
        }
      }
    }
    GDALClose(image);
  }
  VSIUnlink(name.c_str());
  return rgba;
}

// The tile at zoom, x, tms row averaged from its four children in db; empty when none has data.
std::vector<uint8_t> Averaged(sqlite3* db, int zoom, int x, int row) {
  sqlite3_stmt* child = nullptr;
  sqlite3_prepare_v2(db, "SELECT tile_data FROM tiles WHERE zoom_level = ?1 AND tile_column = ?2 AND tile_row = ?3",
                     -1, &child, nullptr);
  std::vector<uint8_t> out(4 * 256 * 256, 0);
  bool any = false;
  for (int q = 0; q < 4; ++q) {
    const int right = q % 2, up = q / 2;  // tms rows count upwards
    sqlite3_bind_int(child, 1, zoom + 1);
    sqlite3_bind_int(child, 2, 2 * x + right);
    sqlite3_bind_int(child, 3, 2 * row + up);
    if (sqlite3_step(child) == SQLITE_ROW) {
      const auto pixels = Decode(sqlite3_column_blob(child, 0), sqlite3_column_bytes(child, 0));
      any = any || !pixels.empty();
      for (int y = 0; y < 128 && !pixels.empty(); ++y)
        for (int px = 0; px < 128; ++px) {
          const uint8_t* block[4] = {&pixels[4 * (2 * y * 256 + 2 * px)], &pixels[4 * (2 * y * 256 + 2 * px + 1)],
                                     &pixels[4 * ((2 * y + 1) * 256 + 2 * px)],
                                     &pixels[4 * ((2 * y + 1) * 256 + 2 * px + 1)]};
          uint8_t* o = &out[4 * (((1 - up) * 128 + y) * 256 + right * 128 + px)];
          unsigned alpha = 0;
          for (const uint8_t* p : block) alpha += p[3];
          for (int c = 0; c < 3; ++c) {
            unsigned sum = 0;
            for (const uint8_t* p : block) sum += alpha == 1020 ? p[c] : p[c] * unsigned{p[3]};
            o[c] = static_cast<uint8_t>(alpha == 1020 ? (sum + 2) / 4 : alpha ? (sum + alpha / 2) / alpha : 0);
          }
          o[3] = static_cast<uint8_t>((alpha + 2) / 4);
        }
    }
    sqlite3_reset(child);
  }
  sqlite3_finalize(child);
  if (!any) out.clear();
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s A.mbtiles [B.mbtiles] BELOW\n", argv[0]);
    return 2;
  }
  const bool two = argc == 4;
  GDALAllRegister();
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return 1;
  if (two) {
    const std::string attach = std::string("ATTACH '") + argv[2] + "' AS b";
    sqlite3_exec(db, attach.c_str(), nullptr, nullptr, nullptr);
  }
  sqlite3_stmt* rows = nullptr;
  sqlite3_prepare_v2(db,
                     two ? "SELECT a.tile_data, b.tile_data, a.zoom_level, a.tile_column, a.tile_row FROM main.tiles a"
                           " LEFT JOIN b.tiles b USING (zoom_level, tile_column, tile_row) WHERE a.zoom_level < ?1"
                         : "SELECT tile_data, NULL, zoom_level, tile_column, tile_row FROM tiles WHERE zoom_level < ?1",
                     -1, &rows, nullptr);
  sqlite3_bind_int(rows, 1, std::atoi(argv[two ? 3 : 2]));
  long tiles = 0, same = 0, missing = 0, undecoded = 0;
  long long bytes = 0;
  int largest = 0;
  double sum = 0, pixels = 0;
  while (sqlite3_step(rows) == SQLITE_ROW) {
    ++tiles;
    bytes += sqlite3_column_bytes(rows, 0);
    if (two && sqlite3_column_type(rows, 1) == SQLITE_NULL) {
      ++missing;
      continue;
    }
    const auto a = Decode(sqlite3_column_blob(rows, 0), sqlite3_column_bytes(rows, 0));
    const auto b = two ? Decode(sqlite3_column_blob(rows, 1), sqlite3_column_bytes(rows, 1))
                       : Averaged(db, sqlite3_column_int(rows, 2), sqlite3_column_int(rows, 3),
                                  sqlite3_column_int(rows, 4));
    if (a.empty() || a.size() != b.size()) {
      ++undecoded;
      continue;
    }
    int worst = 0;
    for (std::size_t i = 0; i < a.size(); i += 4) {
      int distance = 0;
      for (int c = 0; c < 4; ++c) distance = std::max(distance, std::abs(int(a[i + c]) - int(b[i + c])));
      worst = std::max(worst, distance);
      sum += distance;
    }
    pixels += a.size() / 4;
    largest = std::max(largest, worst);
    same += worst == 0;
  }
  sqlite3_finalize(rows);
  sqlite3_close(db);
  std::printf("tiles=%ld same=%ld missing=%ld undecoded=%ld largest=%d mean=%.3f bytes=%lld\n", tiles, same, missing,
              undecoded, largest, pixels > 0 ? sum / pixels : 0.0, bytes);
  return 0;
}
