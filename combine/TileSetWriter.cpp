#include <algorithm>
#include <cstdio>
#include <optional>
#include <regex>
#include <set>

#include "LowerLevels.h"
#include "OutputPath.h"
#include "PMTilesFormat.h"
#include "SqliteOutput.h"
#include "TileSet.h"
#include "VectorTile.h"
#include "Writers.h"

namespace {

std::string Decimal(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::unique_ptr<TileSink> MakeSink(OutputKind kind, const std::string& target, uint64_t mostTiles) {
  switch (kind) {
    case OutputKind::MBTiles: return MakeMBTilesSink(target);
    case OutputKind::PMTiles: return MakePMTilesSink(target, mostTiles);
    case OutputKind::GeoPackage: return MakeGeoPackageSink(target);
    case OutputKind::SqliteDb: return MakeSqliteDbSink(target);
    default: return MakeTileTreeSink(target);
  }
}

// How vector tiles reach a sink: MBTiles keeps them gzip-compressed, as its
// readers expect; PMTiles names one compression for all, the first tile's;
// a folder keeps each as the task stored it.
enum class VectorBodies { AsStored, Gzip, LikeFirst };

VectorBodies VectorBodiesFor(OutputKind kind) {
  if (kind == OutputKind::MBTiles) return VectorBodies::Gzip;
  return kind == OutputKind::PMTiles ? VectorBodies::LikeFirst : VectorBodies::AsStored;
}

// Passes tiles on to the sink and counts them by format; vector tiles are
// brought to the sink's compression, and their layer names gathered when asked.
class Feed {
 public:
  explicit Feed(TileSink& sink, VectorBodies bodies = VectorBodies::AsStored, bool gatherLayers = false)
      : sink_(sink), bodies_(bodies), gatherLayers_(gatherLayers) {}
  void Put(const PyramidTile& place, std::string_view bytes, TileFormat format, const std::string& sourceFile) {
    if (first_ == TileFormat::Unknown) first_ = format;
    ++(format == TileFormat::Jpeg ? jpeg_ : png_);
    if (format != TileFormat::Mvt) return sink_.Put(place, bytes, format, sourceFile);
    if (gatherLayers_)
      for (std::string& name : VectorTileLayerNames(bytes, kMostVectorTileBytes))
        if (std::find(layers_.begin(), layers_.end(), name) == layers_.end()) layers_.push_back(std::move(name));
    if (!gzip_) gzip_ = bodies_ == VectorBodies::Gzip || (bodies_ == VectorBodies::LikeFirst && IsGzip(bytes));
    if (bodies_ == VectorBodies::AsStored || *gzip_ == IsGzip(bytes))
      return sink_.Put(place, bytes, format, sourceFile);
    // Checked whole when read: the inflate cannot fail here.
    const std::string changed = *gzip_ ? Gzip(bytes) : InflateGzip(bytes, kMostVectorTileBytes).value_or("");
    sink_.Put(place, changed, format, "");
  }
  TileFormat First() const { return first_; }
  int64_t Png() const { return png_; }
  int64_t Jpeg() const { return jpeg_; }
  bool GzipTiles() const { return gzip_.value_or(false); }
  const std::vector<std::string>& Layers() const { return layers_; }

 private:
  TileSink& sink_;
  const VectorBodies bodies_;
  const bool gatherLayers_;
  TileFormat first_ = TileFormat::Unknown;
  int64_t png_ = 0, jpeg_ = 0;
  std::optional<bool> gzip_;  // the vector tiles' compression, once the first has come
  std::vector<std::string> layers_;
};

// The layers a vector task's TileJSON listed (the first task's that kept them).
std::string StoredVectorLayers(const CombineJob& job) {
  for (const auto& source : job.sources)
    if (const auto& stored = source->Task().Parameters.Source; stored && !stored->VectorLayers.empty())
      return stored->VectorLayers;
  return {};
}

// Every place of the tasks: the last file offered there that has data is
// written; the others are counted as no data or reported as bad.
void PutTaskTiles(CombineJob& job, Feed& feed) {
  job.Stage(CombineStage::Tiles);
  std::vector<const CombineSource*> sources;
  for (const auto& source : job.sources) sources.push_back(source.get());
  const bool vector = !sources.empty() && sources.front()->IsVector();
  const auto classifyImage = [&blank = job.blank](TileBytes& tile) { ClassifyTileBytes(blank, tile); };
  TileReadAhead tiles(vector ? TileReadAhead::Classify(ClassifyVectorBytes) : TileReadAhead::Classify(classifyImage),
                      PlaceWalk(sources));
  std::string path, chosenPath;
  TileSpot spot;
  TileBytes tile, chosen;
  while (tiles.Next(path, spot, tile)) {
    bool found = false, chosenInFile = false;
    for (int32_t taken = 1;; ++taken) {
      if (tile.kind == TileBytes::Kind::Data) {
        std::swap(chosen, tile);
        std::swap(chosenPath, path);
        chosenInFile = spot.inFile;
        found = true;
      } else if (tile.kind == TileBytes::Kind::Bad) {
        job.ReportBad(path, tile.problem);
      }
      job.Step();
      if (taken == spot.candidates) break;
      const PyramidTile place = spot.place;
      if (!tiles.Next(path, spot, tile) || spot.place != place) throw CombineError("The task's tiles ended early.");
    }
    if (found) {
      feed.Put(spot.place, chosen.bytes, chosen.format, chosenInFile ? chosenPath : "");
      ++job.summary.dataTiles;
    } else {
      ++job.summary.noDataTiles;
    }
  }
}

// Lower tiles kept aside by tile id until the tile set takes them in order.
class ScratchTiles {
 public:
  explicit ScratchTiles(const std::string& target) : file_(TemporaryBeside(target)), db_(file_.Path()) {
    db_.Run("CREATE TABLE t (id INTEGER PRIMARY KEY, zoom INT, x INT, y INT, format INT, data BLOB); BEGIN;");
    insert_.emplace(db_, "INSERT INTO t VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
  }
  void Put(const PyramidTile& place, std::string_view bytes, TileFormat format) {
    insert_->Bind(1, static_cast<int64_t>(HilbertTileId(place))).Bind(2, int64_t{place.zoom})
        .Bind(3, int64_t{place.x}).Bind(4, int64_t{place.y}).Bind(5, int64_t{static_cast<int>(format)})
        .BindBlob(6, bytes).Run();
  }
  void Replay(CombineJob& job, Feed& feed) {
    SqliteStatement rows(db_, "SELECT zoom, x, y, format, data FROM t ORDER BY id");
    while (rows.Step()) {
      const PyramidTile place{static_cast<int32_t>(rows.Int(0)), static_cast<int32_t>(rows.Int(1)),
                            static_cast<int32_t>(rows.Int(2))};
      feed.Put(place, rows.Blob(4), static_cast<TileFormat>(rows.Int(3)), "");
      job.Step();
    }
  }

 private:
  TemporaryOutput file_;
  SqliteFile db_;
  std::optional<SqliteStatement> insert_;
};

}  // namespace

TileSetFacts FactsOf(const CombineJob& job) {
  TileSetFacts facts{"", job.attribution, 180, 90, -180, -90, 99, -1, TileFormat::Unknown};
  std::vector<std::string> names;
  for (const auto& source : job.sources) {
    const AreaBounds bounds = source->Bounds();
    facts.west = std::min(facts.west, bounds.west);
    facts.east = std::max(facts.east, bounds.east);
    facts.south = std::min(facts.south, bounds.south);
    facts.north = std::max(facts.north, bounds.north);
    facts.minZoom = std::min(facts.minZoom, source->Zoom());
    facts.maxZoom = std::max(facts.maxZoom, source->Zoom());
    names.push_back(source->Name());
  }
  if (job.request.minZoom) facts.minZoom = std::min(facts.minZoom, *job.request.minZoom);
  facts.tileSize = job.request.tileSize;
  if (facts.tileSize != kTilePixels) {
    // The tasks' own level is not written: 512-pixel tiles begin a level above it.
    facts.maxZoom -= 1;
    facts.minZoom = std::min(facts.minZoom, facts.maxZoom);
  }
  facts.name = TileSetName(names);
  return facts;
}

std::function<void(const TileReadAhead::Visit&)> PlaceWalk(std::vector<const CombineSource*> sources) {
  return [sources = std::move(sources)](const TileReadAhead::Visit& visit) {
    std::set<int32_t> zooms;
    for (const CombineSource* source : sources) zooms.insert(source->Zoom());
    for (const int32_t zoom : zooms) {
      std::vector<const CombineSource*> here;
      for (const CombineSource* source : sources)
        if (source->Zoom() == zoom) here.push_back(source);
      const auto meets = [&](const PyramidTile& place) {
        return std::any_of(here.begin(), here.end(), [&](const CombineSource* s) { return s->Meets(place); });
      };
      std::vector<const CombineSource*> holders;
      ForEachInHilbertOrder(zoom, meets, [&](const PyramidTile& place) {
        holders.clear();
        for (const CombineSource* source : here)
          if (source->Holds(place.x, place.y)) holders.push_back(source);
        for (const CombineSource* source : holders)
          visit(source->OriginAt(place.x, place.y), {place, static_cast<int32_t>(holders.size())});
      });
    }
  };
}

void WriteTileSetOutput(CombineJob& job, OutputKind kind) {
  std::optional<LowerLevels> lower;
  // 512-pixel tiles are all built; the tasks' own tiles are only read for them.
  const bool builtOnly = job.request.tileSize != kTilePixels;
  if (builtOnly)
    lower.emplace(job, job.request.minZoom.value_or(job.sources.front()->Zoom() - 1));
  else if (job.request.minZoom)
    lower.emplace(job, *job.request.minZoom);
  const int64_t lowerPlaces = lower ? lower->Places() : 0;
  if (builtOnly) {
    job.total = 0;
    job.summary.tileSize = job.request.tileSize;
  }
  const auto sink = MakeSink(kind, job.request.outputPath, static_cast<uint64_t>(job.total + lowerPlaces));
  const std::string storedLayers = StoredVectorLayers(job);
  Feed feed(*sink, VectorBodiesFor(kind), storedLayers.empty());
  if (sink->NeedsIdOrder() && lowerPlaces > 0) {
    // Lower levels come first in id order, but are made from the tiles above.
    job.total += lower->Steps() + lowerPlaces;
    ScratchTiles scratch(job.request.outputPath);
    job.Stage(CombineStage::LowerLevels);
    lower->Build([&](const PyramidTile& place, std::string_view bytes, TileFormat format) {
      scratch.Put(place, bytes, format);
    });
    scratch.Replay(job, feed);
    if (!builtOnly) PutTaskTiles(job, feed);
  } else {
    job.total += lower ? lower->Steps() : 0;
    if (!builtOnly) PutTaskTiles(job, feed);
    if (lower) {
      job.Stage(CombineStage::LowerLevels);
      lower->Build([&](const PyramidTile& place, std::string_view bytes, TileFormat format) {
        feed.Put(place, bytes, format, "");
      });
    }
  }
  TileSetFacts facts = FactsOf(job);
  facts.format = feed.First();
  facts.mixedFormats = feed.Png() > 0 && feed.Jpeg() > 0;
  if (facts.format == TileFormat::Mvt) {
    facts.vectorLayers = storedLayers.empty() ? VectorLayersJson(feed.Layers()) : storedLayers;
    facts.gzipTiles = feed.GzipTiles();
  }
  // Only MBTiles has one format for the whole set; the others say it per tile or not at all.
  if (facts.mixedFormats && kind == OutputKind::MBTiles) {
    job.summary.mixedPngTiles = feed.Png();
    job.summary.mixedJpegTiles = feed.Jpeg();
  }
  sink->Finish(facts);
  sink->MoveInto(job.request.outputPath);
  job.ReportWritten();
}

std::string BoundsText(const TileSetFacts& facts) {
  return Decimal(facts.west) + "," + Decimal(facts.south) + "," + Decimal(facts.east) + "," + Decimal(facts.north);
}

std::string CenterText(const TileSetFacts& facts) {
  return Decimal((facts.west + facts.east) / 2) + "," + Decimal((facts.south + facts.north) / 2) + "," +
         std::to_string(facts.minZoom);
}

std::string VectorLayersJson(const std::vector<std::string>& names) {
  std::string json = "[";
  for (const std::string& name : names)
    json += (json.size() > 1 ? "," : "") + ("{\"id\":" + JsonString(name) + ",\"fields\":{}}");
  return json + "]";
}

std::string TileSetName(const std::vector<std::string>& taskNames) {
  static const std::regex level("_z[0-9]+$");
  std::vector<std::string> distinct;
  for (const std::string& name : taskNames) {
    const std::string base = std::regex_replace(name, level, "");
    if (std::find(distinct.begin(), distinct.end(), base) == distinct.end()) distinct.push_back(base);
  }
  std::string joined;
  for (const std::string& name : distinct) joined += (joined.empty() ? "" : ", ") + name;
  return joined;
}
