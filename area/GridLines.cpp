#include "GridLines.h"

#include <algorithm>

namespace {
// 2 MB of lines: every row of a rectangle at zoom 18 and below.
constexpr int64_t kMaxCachedLines = (int64_t{1} << 18) + 1;
}  // namespace

GridLines::GridLines(int32_t zoom, RowOrigin origin, int64_t firstCell, int64_t lastCell)
    : zoom_(static_cast<uint8_t>(zoom)), origin_(origin), size_(int64_t{1} << zoom) {
  south_ = RowLine(0);
  north_ = RowLine(size_);
  firstCell = std::max<int64_t>(firstCell, 0);
  lastCell = std::min(lastCell, size_ - 1);
  if (lastCell < firstCell || lastCell - firstCell + 2 > kMaxCachedLines) return;
  std::vector<double> lines;
  lines.reserve(static_cast<std::size_t>(lastCell - firstCell + 2));
  for (int64_t u = firstCell; u <= lastCell + 1; ++u) lines.push_back(RowLine(u));
  firstCached_ = firstCell;
  cached_ = std::move(lines);
}

double GridLines::ColumnLine(int64_t k) const {
  return static_cast<double>(ColumnToLongitude(static_cast<double>(k), zoom_));
}

double GridLines::ColumnMiddle(int64_t k) const {
  return static_cast<double>(ColumnToLongitude(static_cast<double>(k) + 0.5, zoom_));
}

double GridLines::RowLine(int64_t u) const {
  if (u >= firstCached_ && u - firstCached_ < static_cast<int64_t>(cached_.size()))
    return cached_[static_cast<std::size_t>(u - firstCached_)];
  if (origin_ == RowOrigin::FromBottom) return RowToLatitude(static_cast<double>(u), zoom_, origin_);
  return RowToLatitude(static_cast<double>(size_ - u), zoom_, origin_);
}

int64_t GridLines::ColumnAtOrBefore(double longitude) const {
  int64_t k = std::clamp<int64_t>(LongitudeToColumn(longitude, zoom_), 0, size_);
  while (k > 0 && ColumnLine(k) > longitude) --k;
  while (k < size_ && ColumnLine(k + 1) <= longitude) ++k;
  return k;
}

int64_t GridLines::CellAtOrBelow(double latitude) const {
  if (latitude < south_) return -1;
  if (latitude >= north_) return size_;
  if (!cached_.empty() && latitude >= cached_.front() && latitude < cached_.back()) {
    const auto above = std::upper_bound(cached_.begin(), cached_.end(), latitude);
    return firstCached_ + (above - cached_.begin()) - 1;
  }
  int64_t u = LatitudeToRow(latitude, zoom_, origin_);
  if (origin_ == RowOrigin::FromTop) u = size_ - 1 - u;
  u = std::clamp<int64_t>(u, 0, size_ - 1);
  while (u > 0 && RowLine(u) > latitude) --u;
  while (u < size_ - 1 && RowLine(u + 1) <= latitude) ++u;
  return u;
}

int32_t GridLines::ServiceRow(int64_t cell) const {
  return static_cast<int32_t>(origin_ == RowOrigin::FromBottom ? cell : size_ - 1 - cell);
}
