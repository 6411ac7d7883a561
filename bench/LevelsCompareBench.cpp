// Compares the levels below zoom BELOW of two MBTiles pixel by pixel, each
// tile decoded by GDAL (not by the combiner's own reader), and prints how
// many tiles are the same, the largest colour distance of any pixel (the
// largest difference of one channel, alpha included, a missing alpha being
// opaque) and the mean distance over all pixels.
//
// usage: quarnel_levels_compare A.mbtiles B.mbtiles BELOW
#include <sqlite3.h>

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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s A.mbtiles B.mbtiles BELOW\n", argv[0]);
    return 2;
  }
  GDALAllRegister();
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return 1;
  const std::string attach = std::string("ATTACH '") + argv[2] + "' AS b";
  sqlite3_exec(db, attach.c_str(), nullptr, nullptr, nullptr);
  sqlite3_stmt* rows = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT a.tile_data, b.tile_data FROM main.tiles a LEFT JOIN b.tiles b USING (zoom_level,"
                     " tile_column, tile_row) WHERE a.zoom_level < ?1",
                     -1, &rows, nullptr);
  sqlite3_bind_int(rows, 1, std::atoi(argv[3]));
  long tiles = 0, same = 0, missing = 0, undecoded = 0;
  int largest = 0;
  double sum = 0, pixels = 0;
  while (sqlite3_step(rows) == SQLITE_ROW) {
    ++tiles;
    if (sqlite3_column_type(rows, 1) == SQLITE_NULL) {
      ++missing;
      continue;
    }
    const auto a = Decode(sqlite3_column_blob(rows, 0), sqlite3_column_bytes(rows, 0));
    const auto b = Decode(sqlite3_column_blob(rows, 1), sqlite3_column_bytes(rows, 1));
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
  std::printf("tiles=%ld same=%ld missing=%ld undecoded=%ld largest=%d mean=%.3f\n", tiles, same, missing, undecoded,
              largest, pixels > 0 ? sum / pixels : 0.0);
  return 0;
}
