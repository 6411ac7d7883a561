#include "AreaTask.h"

#include "AreaGeoJson.h"
#include "MapServices.h"
#include "Unitclasstask.h"
#include "WorkerSteps.h"

namespace {

TileRect RectOf(const TaskTileRange& range) { return {range.MinX, range.MinY, range.MaxX, range.MaxY}; }

class MaskSelection : public TileSelection {
 public:
  explicit MaskSelection(AreaMask mask) : mask_(std::move(mask)) {}

  int64_t Count() const override { return mask_.TileCount(); }
  bool Contains(int32_t x, int32_t y) const override { return mask_.Contains(x, y); }
  std::optional<int64_t> NextWorkerSeq(int64_t workers, int64_t index, int64_t fromSeq) const override {
    return ::NextWorkerSeq(mask_, workers, index, fromSeq);
  }
  int64_t WorkerTilesThrough(int64_t workers, int64_t index, int64_t seq) const override {
    return WorkerTilesInsideThrough(mask_, workers, index, seq);
  }
  void ForEachRun(const std::function<void(int32_t, int32_t, int32_t)>& visit) const override {
    for (const int32_t x : mask_.Columns())
      for (const RowRun& run : mask_.Runs(x)) visit(x, run.first, run.last);
  }

 private:
  AreaMask mask_;
};

class AreaOfTask : public TaskArea {
 public:
  explicit AreaOfTask(std::shared_ptr<const Area> area) : area_(std::move(area)), text_(AreaGeoJsonText(*area_)) {}

  const std::string& FileText() const override { return text_; }
  std::shared_ptr<const TileSelection> TilesInside(int32_t zoom, RowOrigin origin,
                                                   const TaskTileRange& range) const override {
    try {
      return SelectionOf(BuildAreaMask(*area_, zoom, origin, RectOf(range)));
    } catch (const AreaError& error) {
      throw TaskSetupError(error.what(), error.what());
    }
  }

 private:
  std::shared_ptr<const Area> area_;
  std::string text_;
};

}  // namespace

std::shared_ptr<const TaskArea> TaskAreaOf(std::shared_ptr<const Area> area) {
  return std::make_shared<AreaOfTask>(std::move(area));
}

std::shared_ptr<const TileSelection> SelectionOf(AreaMask mask) {
  return std::make_shared<MaskSelection>(std::move(mask));
}

std::optional<Area> ReadTaskArea(const ProjectFile& project) {
  if (project.AreaFile.empty()) return std::nullopt;
  try {
    return ReadAreaGeoJson(project.AreaPath());
  } catch (const AreaError& error) {
    throw AreaError(std::string(error.what()) + "; the task " + project.path + " cannot be used without it.");
  }
}

AreaMask TaskAreaMask(const ProjectFile& project, const Area& area) {
  const TaskTileRange range =
      TileRangeOf(project.Left, project.Right, project.Top, project.Bottom, project.Zoom, project.MapsType);
  return BuildAreaMask(area, project.Zoom, RowOriginOf(project.MapsType), RectOf(range));
}
