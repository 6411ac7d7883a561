// Moving a task between its folder and its store: what each form holds
// afterwards, what a repack refuses, and what it makes of the remains of a
// repack that was killed.

#include "TaskRepack.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "AtomicFile.h"
#include "Files.h"
#include "TaskLock.h"
#include "TaskTiles.h"
#include "TestFiles.h"
#include "TileFreshness.h"
#include "TileStore.h"
#include "Unitclasstask.h"

namespace {

namespace fs = std::filesystem;
using Kept = std::map<std::pair<int32_t, int32_t>, std::string>;  // bytes; "" a placeholder

class TaskRepackTest : public ::testing::Test {
 protected:
  TaskRepackTest() {
    TaskParameters p;
    p.LeftLongitude = 0, p.RightLongitude = 30, p.TopLatitude = 30, p.BottomLatitude = 0;
    p.Zoom = 5;
    p.SavePath = folder_.Path();
    p.TaskFileName = "job.qrnl";
    task_ = std::make_unique<DownloadTask>(p);
    task_->WriteProjectFile();
    const int32_t x = task_->MinX, y = task_->MinY;
    kept_ = {{{x, y}, "\x89PNG sea"}, {{x, y + 1}, "\x89PNG sea"}, {{x + 1, y}, "\x89PNG land"}, {{x + 1, y + 1}, ""}};
    for (const auto& [at, bytes] : kept_)
      WriteFile(task_->TileFilePath(at.first, at.second), bytes.empty() ? blank_ : bytes);
    WriteFile(Fresh(), FreshRecordLine({x, y, 1000, {{"\"old\"", ""}, 0}}) +
                           FreshRecordLine({x, y, 2000, {{"\"new\"", ""}, 5000}}));
  }

  RepackResult Repack(bool toStore, const std::atomic<bool>* stop = nullptr) {
    return RepackTask({task_->ProjectFilePath(), toStore, blank_, stop, {}});
  }
  std::string Fresh() const { return FreshFilePathForTileFolder(task_->TileFolder); }
  std::string Store() const { return TileStorePathFor(task_->ProjectFilePath()); }
  TaskParameters Recorded() const { return ParametersOf(ProjectFile::Read(task_->ProjectFilePath())); }
  // What the task holds, read as every reader reads it.
  Kept Holds() const {
    const TaskLayout layout(Recorded());
    const auto tiles = OpenTaskTiles(layout, blank_);
    Kept held;
    std::string bytes, problem;
    tiles->ForEach([&](int32_t x, int32_t y, SavedTile) {
      held[{x, y}] = tiles->Read(x, y, bytes, problem) == SavedTile::Data ? bytes : "";
    });
    return held;
  }
  // Nothing but the task's own files and its one form of tiles.
  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_.Path())) names.insert(entry.path().filename().string());
    return names;
  }

  ScratchFolder folder_{"repack"};
  const std::string blank_ = ReadWholeFile(QUARNEL_BLANK_IMAGE);
  std::unique_ptr<DownloadTask> task_;
  Kept kept_;
};

TEST_F(TaskRepackTest, TheTilesAndTheirValidatorsGoThereAndBackWhole) {
  const RepackResult into = Repack(true);
  EXPECT_EQ(into.tiles, 3);
  EXPECT_EQ(into.placeholders, 1);
  EXPECT_TRUE(StoredInOneFile(Recorded()));
  EXPECT_EQ(Entries(), (std::set<std::string>{"job.qrnl", "job.mbtiles"}));
  EXPECT_EQ(Holds(), kept_);
  const auto store = TileStore::OpenReadOnly(Store());
  const auto validators = store->Validators(5, task_->MinX, task_->MinY);
  ASSERT_TRUE(validators);
  EXPECT_EQ(validators->etag, "\"new\"");  // the later line wins
  EXPECT_EQ(validators->expires, 5000);

  const RepackResult back = Repack(false);
  EXPECT_EQ(back.tiles, 3);
  EXPECT_FALSE(StoredInOneFile(Recorded()));
  EXPECT_EQ(Entries(), (std::set<std::string>{"job.qrnl", "job", "job_fresh.txt"}));
  EXPECT_EQ(Holds(), kept_);
  EXPECT_EQ(ReadWholeFile(Fresh()), FreshRecordLine({task_->MinX, task_->MinY, 2000, {{"\"new\"", ""}, 5000}}));
}

// Each refusal leaves the task as it was, in its folder, with nothing beside it.
TEST_F(TaskRepackTest, RefusalsLeaveTheTaskAsItWas) {
  const std::set<std::string> before = Entries();
  {
    const TaskLock download(task_->TileFolder);
    EXPECT_THROW(Repack(true), RepackError);
  }
  const std::atomic<bool> stop{true};
  EXPECT_THROW(Repack(true, &stop), RepackError);
  EXPECT_EQ(Entries(), before);
  WriteFile(Store(), "someone else's file");
  EXPECT_THROW(Repack(true), RepackError);
  EXPECT_EQ(ReadWholeFile(Store()), "someone else's file");
  fs::remove(Store());
  EXPECT_EQ(Entries(), before);
  EXPECT_EQ(Holds(), kept_);
  EXPECT_FALSE(StoredInOneFile(Recorded()));
}

// A repack killed before its swap left a store the record does not name; one
// killed after left part of the old folder. The next repack clears either.
TEST_F(TaskRepackTest, WhatAKilledRepackLeftIsClearedByTheNext) {
  const std::string marker = folder_ / ".job.repacking";
  WriteFile(marker, "file");
  TileStore::OpenForWriting(Store())->WriteBatch({{5, task_->MinX, task_->MinY, "half"}});
  EXPECT_EQ(Holds(), kept_);  // the record names the folder: the task is whole there
  const RepackResult redone = Repack(true);
  EXPECT_TRUE(redone.removedLeftover);
  EXPECT_EQ(Holds(), kept_);

  WriteFile(marker, "file");
  MakeFolders(task_->TileFolder);
  WriteFile(task_->TileFilePath(task_->MinX, task_->MinY), "left over");
  const RepackResult again = Repack(true);
  EXPECT_TRUE(again.alreadyThere);
  EXPECT_TRUE(again.removedLeftover);
  EXPECT_EQ(Entries(), (std::set<std::string>{"job.qrnl", "job.mbtiles"}));
  EXPECT_EQ(Holds(), kept_);
}

}  // namespace
