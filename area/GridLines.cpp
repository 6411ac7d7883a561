#include "GridLines.h"

#include <algorithm>

GridLines::GridLines(int32_t zoom, RowOrigin origin)
    : zoom_(static_cast<uint8_t>(zoom)), origin_(origin), size_(int64_t{1} << zoom) {
  south_ = RowLine(0);
  north_ = RowLine(size_);
}

double GridLines::ColumnLine(int64_t k) const {
  return static_cast<double>(ColumnToLongitude(static_cast<double>(k), zoom_));
}

double GridLines::ColumnMiddle(int64_t k) const {
  return static_cast<double>(ColumnToLongitude(static_cast<double>(k) + 0.5, zoom_));
}

double GridLines::RowLine(int64_t u) const {
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

int64_t GridLines::CellOfServiceRow(int32_t row) const {
  return origin_ == RowOrigin::FromBottom ? row : size_ - 1 - row;
}
