#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "ProjectFile.h"
#include "TaskTiles.h"
#include "TestFiles.h"
#include "TileStore.h"
#include "Unitclasstask.h"

namespace {

// The same reading and writing, whichever way the task keeps its tiles.
struct Storage {
  const char* name;
  bool store;
  int32_t mapsType;  // 8 counts rows from the top, 5 from the bottom
};

class TaskTilesTest : public ::testing::TestWithParam<Storage> {
 protected:
  TaskTilesTest() {
    TaskParameters p;
    p.LeftLongitude = 10, p.RightLongitude = 20, p.TopLatitude = 50, p.BottomLatitude = 40;
    p.Zoom = 5;
    p.MapsType = GetParam().mapsType;
    p.SavePath = folder_.Path();
    p.TaskFileName = "t.qrnl";
    p.Storage = GetParam().store ? TileStorage::File : TileStorage::Folder;
    task_ = std::make_unique<DownloadTask>(p);
    task_->WriteProjectFile();
    if (GetParam().store) TileStore::OpenForWriting(TileStorePathFor(task_->ProjectFilePath())).reset();
  }
  std::unique_ptr<TaskTiles> Open(TilesAccess access) { return OpenTaskTiles(*task_, kBlank, access); }

  static constexpr const char* kBlank = "blank image";
  ScratchFolder folder_{"tasktiles"};
  std::unique_ptr<DownloadTask> task_;
};

TEST_P(TaskTilesTest, ReadsWhatWasWrittenAndTellsPlaceholdersFromData) {
  const int32_t x = task_->MinX, y1 = task_->MinY, y2 = task_->MinY + 1, y3 = task_->MaxY;
  {
    auto tiles = Open(TilesAccess::Write);
    EXPECT_EQ(tiles->IsStore(), GetParam().store);
    tiles->WriteAll({{x, y1, "\x89PNG one", false}, {x, y2, {}, true}});
    tiles->WritePlaceholder(x, y3);
    tiles->Write(x, y3, "\x89PNG two");  // a fetched tile replaces the placeholder
  }
  const auto tiles = Open(TilesAccess::Read);
  std::string bytes, problem;
  EXPECT_EQ(tiles->Read(x, y1, bytes, problem), SavedTile::Data);
  EXPECT_EQ(bytes, "\x89PNG one");
  EXPECT_EQ(tiles->Read(x, y2, bytes, problem), SavedTile::Placeholder);
  EXPECT_EQ(bytes, "");
  EXPECT_EQ(tiles->Read(x, y3, bytes, problem), SavedTile::Data);
  EXPECT_EQ(bytes, "\x89PNG two");
  EXPECT_EQ(tiles->Read(task_->MaxX, y1, bytes, problem), SavedTile::Missing);
  EXPECT_EQ(tiles->Probe(x, y1), SavedTile::Data);
  EXPECT_EQ(tiles->Probe(x, y2), SavedTile::Placeholder);
  EXPECT_EQ(tiles->Probe(task_->MaxX, y1), SavedTile::Missing);

  std::map<std::pair<int32_t, int32_t>, SavedTile> listed;
  tiles->ForEach([&](int32_t tx, int32_t ty, SavedTile kind) { EXPECT_TRUE(listed.insert({{tx, ty}, kind}).second); });
  EXPECT_EQ(listed, (std::map<std::pair<int32_t, int32_t>, SavedTile>{
                        {{x, y1}, SavedTile::Data}, {{x, y2}, SavedTile::Placeholder}, {{x, y3}, SavedTile::Data}}));
  EXPECT_EQ(tiles->FileOf(x, y1).empty(), GetParam().store);
  EXPECT_EQ(tiles->SavedAt(x, y1).has_value(), !GetParam().store);
  EXPECT_NE(tiles->NameOf(x, y1), tiles->NameOf(x, y2));
}

INSTANTIATE_TEST_SUITE_P(Storages, TaskTilesTest,
                         ::testing::Values(Storage{"Folder", false, 8}, Storage{"Store", true, 8},
                                           Storage{"FolderRowsFromBottom", false, 5},
                                           Storage{"StoreRowsFromBottom", true, 5}),
                         [](const auto& info) { return std::string(info.param.name); });

// The store counts rows from the top, as MBTiles readers expect, whatever the service counts.
TEST(StoreRowTest, TurnsOverOnlyBottomCountedRows) {
  TaskParameters p;
  p.LeftLongitude = 10, p.RightLongitude = 20, p.TopLatitude = 50, p.BottomLatitude = 40;
  p.Zoom = 4;
  p.SavePath = "/nowhere/";
  p.TaskFileName = "t.qrnl";
  p.MapsType = 8;
  EXPECT_EQ(StoreRow(TaskLayout(p), 5), 5);
  p.MapsType = 5;
  EXPECT_EQ(StoreRow(TaskLayout(p), 5), 10);
}

TEST(TaskStorageTest, ARepacksSwitchOverRewritesOnlyTheRecord) {
  ScratchFolder folder("storage");
  TaskParameters p;
  p.LeftLongitude = 10, p.RightLongitude = 20, p.TopLatitude = 50, p.BottomLatitude = 40;
  p.Zoom = 3;
  p.SavePath = folder.Path();
  p.TaskFileName = "t.qrnl";
  const DownloadTask task(p);
  task.WriteProjectFile();
  for (const TileStorage storage : {TileStorage::File, TileStorage::Folder}) {
    ProjectFile::WriteStorage(task.ProjectFilePath(), storage);
    const ProjectFile read = ProjectFile::Read(task.ProjectFilePath());
    EXPECT_EQ(read.Storage, storage);
    EXPECT_EQ(StoredInOneFile(ParametersOf(read)), storage == TileStorage::File);
    EXPECT_EQ(read.Zoom, 3);
  }
}

}  // namespace
