#include "MosaicClip.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "CombineSource.h"
#include "Mercator.h"
#include "TileImage.h"

namespace {

void Clear(uint8_t* rgba, int64_t first, int64_t last) {
  if (first <= last) std::memset(rgba + 4 * first, 0, static_cast<std::size_t>(4 * (last - first + 1)));
}

}  // namespace

MosaicClip::MosaicClip(const CombineSource& source) : source_(source) {
  const MosaicGeometry geometry = source.Geometry();
  westLongitude_ = geometry.west / kMercatorHalfWorld * 180;
  pixelDegrees_ = geometry.pixel / kMercatorHalfWorld * 180;
  north_ = geometry.north;
  pixelMetres_ = geometry.pixel;
  width_ = geometry.width;
  rowStart_.assign(kTilePixels + 1, 0);

  const Area* area = source.Outline();
  if (!area) {
    const TaskParameters& entries = source.Task().Parameters;
    AddRing({{entries.LeftLongitude, entries.TopLatitude},
             {entries.RightLongitude, entries.TopLatitude},
             {entries.RightLongitude, entries.BottomLatitude},
             {entries.LeftLongitude, entries.BottomLatitude}},
            true);
  } else {
    for (const AreaPolygon& polygon : area->polygons) {
      AddRing(polygon.shell, true);
      for (const AreaRing& hole : polygon.holes) AddRing(hole, false);
    }
    if (!area->lines.empty() || !area->points.empty()) {
      const TaskLayout& task = source.Task();
      whole_ = BuildAreaMask(Area{{}, area->lines, area->points}, source.Zoom(), source.Origin(),
                             TileRect{task.MinX, task.MinY, task.MaxX, task.MaxY});
    }
  }
  std::sort(edges_.begin(), edges_.end(), [](const Edge& a, const Edge& b) { return a.high > b.high; });
}

void MosaicClip::AddRing(const AreaRing& ring, bool shell) {
  const int32_t index = sweep_.AddRing(shell);
  for (std::size_t i = 0; i < ring.size(); ++i) {
    const LonLat& a = ring[i];
    const LonLat& b = ring[(i + 1) % ring.size()];
    if (a.latitude == b.latitude) continue;  // no row of pixels crosses it
    const LonLat& south = a.latitude < b.latitude ? a : b;
    const LonLat& north = a.latitude < b.latitude ? b : a;
    edges_.push_back({south.latitude, north.latitude, south.longitude,
                      (north.longitude - south.longitude) / (north.latitude - south.latitude), index,
                      b.latitude > a.latitude ? 1 : -1});
  }
}

void MosaicClip::StartTileRow(int32_t row) {
  row_ = row;
  const auto centre = [&](int32_t pixelRow) {
    return LatitudeOfMercatorY(north_ - (int64_t{row} * kTilePixels + pixelRow + 0.5) * pixelMetres_);
  };
  const double top = centre(0), bottom = centre(kTilePixels - 1);
  // Edges wholly above this row of tiles are done with; rows only go south.
  std::erase_if(active_, [&](std::size_t e) { return edges_[e].low > top; });
  while (nextEdge_ < edges_.size() && edges_[nextEdge_].high > bottom) {
    if (edges_[nextEdge_].low <= top) active_.push_back(nextEdge_);
    ++nextEdge_;
  }
  spans_.clear();
  for (int32_t pixelRow = 0; pixelRow < kTilePixels; ++pixelRow) {
    CutPixelRow(centre(pixelRow));
    rowStart_[static_cast<std::size_t>(pixelRow) + 1] = spans_.size();
  }
}

// The spans of one row of pixels: where the sweep along the latitude is
// inside some polygon, taken as the pixels whose centres lie there.
void MosaicClip::CutPixelRow(double latitude) {
  for (const std::size_t e : active_) {
    const Edge& edge = edges_[e];
    // Half open, so a vertex on the latitude counts once.
    if (edge.low <= latitude && latitude < edge.high)
      sweep_.Cross(edge.lonAtLow + (latitude - edge.low) * edge.slope, edge.ring, edge.delta);
  }
  // The first column whose centre lies at or east of a longitude.
  const auto column = [&](double longitude) {
    return static_cast<int64_t>(std::ceil((longitude - westLongitude_) / pixelDegrees_ - 0.5));
  };
  for (const auto& [west, east] : sweep_.Sweep()) {
    const int64_t first = std::max<int64_t>(column(west), 0);
    const int64_t last = std::min<int64_t>(column(east) - 1, width_ - 1);
    if (first <= last) spans_.emplace_back(first, last);
  }
}

void MosaicClip::Apply(int32_t column, uint8_t* rgba) const {
  if (whole_) {
    const TileRange range = source_.Range();
    if (whole_->Contains(range.minX + column, source_.TaskRow(range.minY + row_))) return;
  }
  const int64_t left = int64_t{column} * kTilePixels, right = left + kTilePixels - 1;
  for (std::size_t pixelRow = 0; pixelRow < static_cast<std::size_t>(kTilePixels); ++pixelRow) {
    uint8_t* line = rgba + 4 * kTilePixels * pixelRow;
    const auto first = spans_.begin() + static_cast<std::ptrdiff_t>(rowStart_[pixelRow]);
    const auto last = spans_.begin() + static_cast<std::ptrdiff_t>(rowStart_[pixelRow + 1]);
    // The first span that reaches this tile; spans are disjoint and rising.
    auto span = std::lower_bound(first, last, left, [](const auto& s, int64_t x) { return s.second < x; });
    int64_t from = left;  // the first pixel not yet kept or cleared
    for (; span != last && span->first <= right; ++span) {
      Clear(line, from - left, std::min(span->first, right + 1) - 1 - left);
      from = std::max(from, span->second + 1);
    }
    Clear(line, from - left, right - left);
  }
}
