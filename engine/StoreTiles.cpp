#include "TaskTiles.h"
#include "TileSelection.h"
#include "TileStore.h"
#include "Unitclasstask.h"

namespace {

// The tiles as rows of the task's store. The store counts rows from the
// top; a service that counts from the bottom has its rows turned over here.
class StoreTiles : public TaskTiles {
 public:
  StoreTiles(const TaskLayout& task, std::unique_ptr<TileStore> store)
      : task_(task), store_(std::move(store)), zoom_(task.Parameters.Zoom) {}

  bool IsStore() const override { return true; }
  TileStore* Store() const override { return store_.get(); }

  SavedTile Read(int32_t x, int32_t y, std::string& bytes, std::string& problem) const override {
    problem.clear();
    bytes.clear();
    if (std::optional<std::string> stored = store_->ReadTile(zoom_, x, Top(y))) {
      bytes = std::move(*stored);
      return SavedTile::Data;
    }
    return store_->State(zoom_, x, Top(y)) == TileState::Placeholder ? SavedTile::Placeholder : SavedTile::Missing;
  }

  SavedTile Probe(int32_t x, int32_t y) const override {
    switch (store_->State(zoom_, x, Top(y))) {
      case TileState::Data: return SavedTile::Data;
      case TileState::Placeholder: return SavedTile::Placeholder;
      case TileState::None: break;
    }
    return SavedTile::Missing;
  }

  void ForEach(const std::function<void(int32_t, int32_t, SavedTile)>& visit) const override {
    const int32_t a = Top(task_.MinY), b = Top(task_.MaxY);
    store_->ForEachState(zoom_, task_.MinX, task_.MaxX, std::min(a, b), std::max(a, b),
                         [&](int32_t x, int32_t top, TileState state) {
                           const int32_t y = Top(top);  // turning over is its own inverse
                           if (!task_.Inside || task_.Inside->Contains(x, y))
                             visit(x, y, state == TileState::Data ? SavedTile::Data : SavedTile::Placeholder);
                           return true;
                         });
  }

  void Write(int32_t x, int32_t y, std::string_view bytes) override {
    store_->WriteBatch({TileWrite{zoom_, x, Top(y), bytes, false}});
  }

  void WriteAll(const std::vector<ToSave>& tiles) override {
    std::vector<TileWrite> batch;
    batch.reserve(tiles.size());
    for (const ToSave& tile : tiles) batch.push_back({zoom_, tile.x, Top(tile.y), tile.bytes, tile.placeholder});
    store_->WriteBatch(batch);
  }

  void WritePlaceholder(int32_t x, int32_t y) override {
    store_->WriteBatch({TileWrite{zoom_, x, Top(y), {}, true}});
  }

  std::string NameOf(int32_t x, int32_t y) const override {
    return store_->Path() + " tile " + std::to_string(zoom_) + "/" + std::to_string(x) + "/" + std::to_string(Top(y));
  }
  std::string FileOf(int32_t, int32_t) const override { return {}; }
  std::optional<int64_t> SavedAt(int32_t, int32_t) const override { return std::nullopt; }

 private:
  int32_t Top(int32_t y) const { return StoreRow(task_, y); }

  const TaskLayout task_;
  const std::unique_ptr<TileStore> store_;
  const int32_t zoom_;
};

}  // namespace

std::unique_ptr<TaskTiles> OpenStoreTiles(const TaskLayout& task, const std::string& storePath, TilesAccess access) {
  std::unique_ptr<TileStore> store = access == TilesAccess::Write ? TileStore::OpenForWriting(storePath, false)
                                                                  : TileStore::OpenReadOnly(storePath);
  return std::make_unique<StoreTiles>(task, std::move(store));
}
