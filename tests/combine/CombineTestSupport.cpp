#include "CombineTestSupport.h"

#include <cpl_conv.h>
#include <cpl_vsi.h>
#include <gdal.h>

#include <filesystem>
#include <stdexcept>

#include "AreaTask.h"
#include "AtomicFile.h"
#include "MapServices.h"
#include "TaskTiles.h"
#include "TestFiles.h"
#include "TileStore.h"
#include "Unitclasstask.h"

Rgba TileColour(int32_t x, int32_t topRow) {
  return {static_cast<uint8_t>(x * 40 + 20), static_cast<uint8_t>(topRow * 30 + 10),
          static_cast<uint8_t>((x + topRow) * 70), 255};
}

std::string EncodeSolidImage(const Rgba& colour, const std::string& format, int width, int height) {
  GDALAllRegister();
  const bool png = format == "png";
  const int bands = png ? 4 : 3;
  GDALDatasetH memory = GDALCreate(GDALGetDriverByName("MEM"), "", width, height, bands, GDT_Byte, nullptr);
  for (int band = 1; band <= bands; ++band)
    GDALFillRaster(GDALGetRasterBand(memory, band), colour[static_cast<std::size_t>(band - 1)], 0);
  const std::string name = "/vsimem/quarnel_test_image." + format;
  GDALDatasetH encoded =
      GDALCreateCopy(GDALGetDriverByName(png ? "PNG" : "JPEG"), name.c_str(), memory, FALSE, nullptr, nullptr, nullptr);
  GDALClose(memory);
  if (!encoded) throw std::runtime_error("cannot encode a test image");
  GDALClose(encoded);
  vsi_l_offset length = 0;
  GByte* data = VSIGetMemFileBuffer(name.c_str(), &length, TRUE);
  std::string bytes(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
  CPLFree(data);
  return bytes;
}

std::string TaskOnDisk::TilePath(int32_t x, int32_t topRow) const {
  const int32_t row = RowOriginOf(parameters.MapsType) == RowOrigin::FromTop
                          ? topRow
                          : static_cast<int32_t>((int64_t{1} << parameters.Zoom) - 1 - topRow);
  return tileFolder + BuildTileFileName(parameters.MapsType, x, row, parameters.Zoom);
}

namespace {

TaskOnDisk WriteTaskOver(const std::string& folder, const std::string& name, int32_t mapsType, int32_t zoom,
                         double left, double top, double right, double bottom, bool writeTiles,
                         std::shared_ptr<const TaskArea> area) {
  TaskOnDisk on;
  TaskParameters& p = on.parameters;
  p.Area = std::move(area);
  p.LeftLongitude = left;
  p.RightLongitude = right;
  p.TopLatitude = top;
  p.BottomLatitude = bottom;
  p.Zoom = zoom;
  p.MapsType = mapsType;
  p.SavePath = folder;
  p.TaskFileName = name + ".qrnl";
  const DownloadTask task(p);
  task.WriteProjectFile();
  on.projectPath = task.ProjectFilePath();
  on.tileFolder = task.TileFolder;
  on.minX = task.MinX;
  on.maxX = task.MaxX;
  const int64_t last = (int64_t{1} << zoom) - 1;
  const bool fromTop = RowOriginOf(mapsType) == RowOrigin::FromTop;
  on.topMinRow = fromTop ? task.MinY : static_cast<int32_t>(last - task.MaxY);
  on.topMaxRow = fromTop ? task.MaxY : static_cast<int32_t>(last - task.MinY);
  on.west = task.WestLongitude;
  on.east = task.EastLongitude;
  on.north = task.NorthLatitude;
  on.south = task.SouthLatitude;
  on.extension = FindMapService(mapsType)->fileExtension;
  if (writeTiles)
    for (int32_t x = on.minX; x <= on.maxX; ++x)
      for (int32_t row = on.topMinRow; row <= on.topMaxRow; ++row)
        WriteFile(on.TilePath(x, row), EncodeSolidImage(TileColour(x, row), on.extension));
  return on;
}

}  // namespace

TaskOnDisk WriteTask(const std::string& folder, const std::string& name, int32_t mapsType, int32_t zoom,
                     double left, double top, double right, double bottom, bool writeTiles) {
  return WriteTaskOver(folder, name, mapsType, zoom, left, top, right, bottom, writeTiles, nullptr);
}

TaskOnDisk WriteAreaTask(const std::string& folder, const std::string& name, int32_t mapsType, int32_t zoom,
                         const Area& area, bool writeTiles) {
  const AreaBounds bounds = BoundsOf(area);
  return WriteTaskOver(folder, name, mapsType, zoom, bounds.west, bounds.north, bounds.east, bounds.south, writeTiles,
                       TaskAreaOf(std::make_shared<const Area>(area)));
}

std::string BlankImagePath() { return std::string(QUARNEL_SOURCE_DIR) + "/resources/blankimg/blank.png"; }
std::string BlankImageBytes() { return ReadWholeFile(BlankImagePath()); }

void MoveTaskIntoStore(const TaskOnDisk& on) {
  const TaskLayout task(on.parameters);
  const auto folder = OpenFolderTiles(task, BlankImageBytes());
  std::vector<TaskTiles::ToSave> tiles;
  std::string problem;
  folder->ForEach([&](int32_t x, int32_t y, SavedTile) {
    TaskTiles::ToSave tile{x, y, {}, false};
    tile.placeholder = folder->Read(x, y, tile.bytes, problem) == SavedTile::Placeholder;
    tiles.push_back(std::move(tile));
  });
  TileStore::OpenForWriting(TileStorePathFor(on.projectPath)).reset();
  ProjectFile::WriteStorage(on.projectPath, TileStorage::File);
  OpenStoreTiles(task, TileStorePathFor(on.projectPath), TilesAccess::Write)->WriteAll(tiles);
  std::filesystem::remove_all(on.tileFolder);
}

void WriteEveryTile(const TaskOnDisk& task, const std::string& bytes) {
  for (int32_t x = task.minX; x <= task.maxX; ++x)
    for (int32_t y = task.topMinRow; y <= task.topMaxRow; ++y) WriteFile(task.TilePath(x, y), bytes);
}
