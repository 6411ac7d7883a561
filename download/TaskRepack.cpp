#include "TaskRepack.h"

#include <filesystem>
#include <memory>
#include <vector>

#include "AtomicFile.h"
#include "Files.h"
#include "IniFile.h"
#include "ProjectFile.h"
#include "TaskLock.h"
#include "TaskTiles.h"
#include "TextFormat.h"
#include "TileFreshness.h"
#include "TileStore.h"
#include "Unitclasstask.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBatchTiles = 512;

// The names of the two forms, in place and while being written.
struct Forms {
  std::string folder, store;                  // NAME/ and NAME.mbtiles
  std::string folderBeingMade, storeBeingMade;  // .NAME.repack/ and .NAME.repack.mbtiles
  std::string fresh, freshBeingMade;            // NAME_fresh.txt and .NAME_fresh.txt.repack
  std::string marker;                           // .NAME.repacking: the form a repack is making
};

Forms FormsOf(const TaskLayout& task) {
  const std::string beside = task.Parameters.SavePath + "." + TaskBaseName(task.Parameters.TaskFileName);
  Forms forms;
  forms.folder = task.TileFolder;
  forms.store = TileStorePathFor(task.ProjectFilePath());
  forms.folderBeingMade = beside + ".repack" + kDirSeparator;
  forms.storeBeingMade = beside + ".repack" + kTileStoreEnding;
  forms.fresh = FreshFilePathForTileFolder(task.TileFolder);
  forms.freshBeingMade = beside + kFreshFileSuffix + ".repack";
  forms.marker = beside + ".repacking";
  return forms;
}

bool RemoveStoreFile(const std::string& path) {
  std::error_code ignored;
  for (const char* ending : {"-wal", "-shm", "-journal"}) fs::remove(path + ending, ignored);
  return fs::remove(path, ignored);
}

bool RemoveFolder(const std::string& path) {
  std::error_code error;
  const auto removed = fs::remove_all(path, error);
  if (error) throw RepackError("Cannot remove " + path + ": " + error.message() + ".");
  return removed > 0;
}

std::string WithoutSeparator(std::string path) {
  while (path.size() > 1 && path.back() == kDirSeparator) path.pop_back();
  return path;
}

void Rename(const std::string& from, const std::string& to) {
  std::error_code error;
  fs::rename(WithoutSeparator(from), WithoutSeparator(to), error);
  if (error) throw RepackError("Cannot rename " + from + " to " + to + ": " + error.message() + ".");
}

std::string NameOfForm(bool store) { return store ? "one file" : "a folder"; }

// The task's layout with its tiles in another folder.
TaskLayout InFolder(const TaskLayout& task, const std::string& folder) {
  TaskLayout moved = task;
  moved.TileFolder = folder;
  return moved;
}

class Repack {
 public:
  Repack(const RepackRequest& request, const TaskLayout& task) : request_(request), task_(task), forms_(FormsOf(task)) {}

  RepackResult Run() {
    const bool recordStore = StoredInOneFile(task_.Parameters);
    LockRecordedForm(recordStore);
    result_.removedLeftover = FinishEarlierRepack(recordStore);
    if (recordStore == request_.toStore) {
      result_.alreadyThere = true;
      return result_;
    }
    CheckPlaceIsFree();
    WriteFileAtomic(forms_.marker, request_.toStore ? "file" : "folder");
    std::unique_ptr<TaskTiles> to;
    try {
      to = MakeNewForm();
      CopyTiles(*from_, *to);
      CopyValidators(*from_, *to);
      Check(*from_, *to);
      Stopped();
      // Closed first: all of it in the file itself, and no -wal left under the old name.
      to.reset();
      newFolderLock_.reset();
      if (request_.toStore) {
        Rename(forms_.storeBeingMade, forms_.store);
      } else {
        Rename(forms_.folderBeingMade, forms_.folder);
        if (FileExists(forms_.freshBeingMade)) Rename(forms_.freshBeingMade, forms_.fresh);
      }
      Stopped();
      ProjectFile::WriteStorage(task_.ProjectFilePath(), request_.toStore ? TileStorage::File : TileStorage::Folder);
    } catch (...) {
      // Refused or stopped before the swap: the old form stays the task, alone.
      to.reset();
      newFolderLock_.reset();
      FinishEarlierRepack(!request_.toStore);
      throw;
    }
    from_.reset();
    folderLock_.reset();
    RemoveForm(!request_.toStore);
    std::error_code ignored;
    fs::remove(forms_.marker, ignored);
    return result_;
  }

 private:
  // Downloads and refreshes take the same lock: a store's writer, or the folder's.
  void LockRecordedForm(bool recordStore) {
    try {
      if (recordStore) {
        from_ = OpenStoreTiles(task_, forms_.store, TilesAccess::Write);
        return;
      }
      folderLock_ = std::make_unique<TaskLock>(forms_.folder);
      if (!folderLock_->Held())
        throw RepackError("The task " + task_.ProjectFilePath() + " is " + folderLock_->Refusal() + ".");
      from_ = OpenFolderTiles(task_, request_.blank);
    } catch (const TileStoreError& refusal) {
      throw RepackError(refusal.what());
    }
  }

  // The marker says a repack was at work. Killed before its swap, it left
  // the new form unfinished (or finished but unrecorded); killed after, it
  // left part of the old form.
  bool FinishEarlierRepack(bool recordStore) {
    if (!FileExists(forms_.marker)) return false;
    RemoveStoreFile(forms_.storeBeingMade);
    RemoveFolder(forms_.folderBeingMade);
    std::error_code ignored;
    fs::remove(forms_.freshBeingMade, ignored);
    // Either way, what the record does not name is that repack's.
    RemoveForm(!recordStore);
    fs::remove(forms_.marker, ignored);
    return true;
  }

  // Another file or folder under the new form's name is not the task's to replace.
  void CheckPlaceIsFree() const {
    std::error_code ignored;
    if (request_.toStore) {
      if (PathExists(forms_.store))
        throw RepackError(forms_.store + " is in the way: move it elsewhere, then repack the task.");
    } else if (PathExists(forms_.folder) && !fs::remove(WithoutSeparator(forms_.folder), ignored)) {
      throw RepackError(forms_.folder + " is in the way and not empty: move it elsewhere, then repack the task.");
    }
  }

  // The form the record does not name; NAME_fresh.txt goes with the folder.
  bool RemoveForm(bool store) {
    if (store) return RemoveStoreFile(forms_.store);
    std::error_code ignored;
    const bool fresh = fs::remove(forms_.fresh, ignored);
    return RemoveFolder(forms_.folder) || fresh;
  }

  std::unique_ptr<TaskTiles> MakeNewForm() {
    try {
      if (request_.toStore) {
        TileStore::OpenForWriting(forms_.storeBeingMade, true).reset();  // made with its tables
        return OpenStoreTiles(task_, forms_.storeBeingMade, TilesAccess::Write);
      }
      if (const auto problem = MakeFolders(forms_.folderBeingMade))
        throw RepackError("Cannot make the folder " + forms_.folderBeingMade + ": " + *problem + ".");
      moved_ = std::make_unique<TaskLayout>(InFolder(task_, forms_.folderBeingMade));
      newFolderLock_ = std::make_unique<TaskLock>(forms_.folderBeingMade);
      return OpenFolderTiles(*moved_, request_.blank);
    } catch (const TileStoreError& failure) {
      throw RepackError(failure.what());
    }
  }

  void Stopped() const {
    if (request_.stop && *request_.stop)
      throw RepackError("The repack was stopped; the task stays kept in " + NameOfForm(!request_.toStore) + ".");
  }

  void CopyTiles(const TaskTiles& from, TaskTiles& to) {
    std::vector<TaskTiles::ToSave> batch;
    std::string problem;
    const auto flush = [&] {
      to.WriteAll(batch);
      batch.clear();
      if (request_.progress) request_.progress(result_.tiles + result_.placeholders, task_.TotalTiles);
    };
    from.ForEach([&](int32_t x, int32_t y, SavedTile) {
      Stopped();
      TaskTiles::ToSave tile{x, y, {}, false};
      switch (from.Read(x, y, tile.bytes, problem)) {
        case SavedTile::Data: ++result_.tiles; break;
        case SavedTile::Placeholder:
          tile.placeholder = true;
          ++result_.placeholders;
          break;
        case SavedTile::Unreadable: throw RepackError("Cannot read " + from.NameOf(x, y) + ": " + problem + ".");
        case SavedTile::Missing: return;  // gone since it was listed
      }
      batch.push_back(std::move(tile));
      if (batch.size() >= kBatchTiles) flush();
    });
    flush();
  }

  // What a refresh asks with goes along: NAME_fresh.txt's lines into the
  // store's table (a later line replaces an earlier), or the table into lines.
  void CopyValidators(const TaskTiles& from, TaskTiles& to) {
    if (request_.toStore) {
      if (!FileExists(forms_.fresh)) return;
      std::vector<StoredValidators> batch;
      std::string pending;
      ReadFileInPieces(forms_.fresh, [&](std::string_view piece) {
        pending.append(piece);
        std::size_t start = 0;
        for (std::size_t lf; (lf = pending.find('\n', start)) != std::string::npos; start = lf + 1) {
          const auto line = ParseFreshLine(std::string_view(pending).substr(start, lf - start));
          if (!line || line->kind != FreshLine::Kind::Tile) continue;
          const FreshRecord& r = line->record;
          batch.push_back({task_.Parameters.Zoom, r.x, StoreRow(task_, r.y), r.checked, r.freshness.expires,
                           r.freshness.validators.etag, r.freshness.validators.lastModified});
        }
        pending.erase(0, start);
        if (batch.size() >= kBatchTiles) to.Store()->PutValidators(std::exchange(batch, {}));
      });
      to.Store()->PutValidators(batch);
      return;
    }
    AtomicFileWriter out(forms_.freshBeingMade, Durability::ProcessCrash);
    bool any = false;
    from.Store()->ForEachValidators([&](const StoredValidators& v) {
      if (v.zoom != task_.Parameters.Zoom) return;
      out.Append(FreshRecordLine({v.x, StoreRow(task_, v.y), v.checked, {{v.etag, v.lastModified}, v.expires}}));
      any = true;
    });
    if (any) out.Commit();
  }

  void Check(const TaskTiles& from, const TaskTiles& to) const {
    int64_t listed = 0;
    std::string was, now, problem;
    from.ForEach([&](int32_t x, int32_t y, SavedTile) {
      Stopped();
      const SavedTile before = from.Read(x, y, was, problem);
      if (before == SavedTile::Missing) return;
      ++listed;
      const SavedTile after = to.Read(x, y, now, problem);
      if (after != before || now != was)
        throw RepackError("The check found " + to.NameOf(x, y) + " " +
                          (after == SavedTile::Missing ? "missing" : "not equal to " + from.NameOf(x, y)) +
                          "; the task stays kept in " + NameOfForm(!request_.toStore) + ".");
    });
    int64_t made = 0;
    to.ForEach([&](int32_t, int32_t, SavedTile) { ++made; });
    if (made != listed)
      throw RepackError("The check found " + std::to_string(made) + " tiles where " + std::to_string(listed) +
                        " were copied; the task stays kept in " + NameOfForm(!request_.toStore) + ".");
  }

  const RepackRequest& request_;
  const TaskLayout& task_;
  const Forms forms_;
  std::unique_ptr<TaskTiles> from_;
  std::unique_ptr<TaskLock> folderLock_, newFolderLock_;
  std::unique_ptr<TaskLayout> moved_;
  RepackResult result_;
};

}  // namespace

RepackResult RepackTask(const RepackRequest& request) {
  std::unique_ptr<TaskLayout> task;
  try {
    task = std::make_unique<TaskLayout>(ParametersOf(ProjectFile::Read(request.projectPath)));
  } catch (const ProjectFileError& refusal) {
    throw RepackError(refusal.what());
  } catch (const TaskSetupError& refusal) {
    throw RepackError(request.projectPath + ": " + refusal.what() + ".");
  }
  return Repack(request, *task).Run();
}

std::string RepackSummary(const RepackResult& result, bool toStore) {
  if (result.alreadyThere)
    return "The task is kept in " + NameOfForm(toStore) + " already" +
           (result.removedLeftover ? "; what an earlier repack left of the other form is removed." : ".");
  return "Repacked the task into " + NameOfForm(toStore) + ": " + std::to_string(result.tiles) + " tiles, " +
         std::to_string(result.placeholders) + " placeholders.";
}
