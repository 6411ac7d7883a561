#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "AreaMask.h"
#include "WindingSweep.h"

class CombineSource;

// Cuts a task's mosaic to its outline, pixel by pixel: a pixel stays when its
// centre lies inside one of the area's polygons (for a task without an area,
// inside the rectangle its entries give), and the others become no data.
// Lines and points kept without a buffer have no inside to cut to, so the
// tiles they pass through stay whole.
//
// The mosaic is cut one row of tiles at a time, as the GeoTIFF writer goes:
// each row of pixels is crossed with the polygon edges that span its
// centres' latitude (the edges beside that row of tiles alone), and the
// stretches where a polygon's shell winds and none of its holes does become
// spans of pixel columns. Only the spans of the row in hand are kept, so
// memory grows with the outline, never with the image.
class MosaicClip {
 public:
  explicit MosaicClip(const CombineSource& source);

  // Works out the spans of the row of tiles at index row from the mosaic's
  // top. Rows must come in rising order.
  void StartTileRow(int32_t row);
  // Clears (to transparent black) the pixels outside in the 256 x 256 RGBA
  // tile at index column from the mosaic's left, in the row last started.
  void Apply(int32_t column, uint8_t* rgba) const;

 private:
  struct Edge {
    double low, high;  // latitudes, low < high
    double lonAtLow, slope;  // the longitude at low, and its change per degree of latitude
    int32_t ring, delta;     // delta: +1 going north, -1 going south
  };
  // A shell opens the next polygon; holes follow their shell.
  void AddRing(const AreaRing& ring, bool shell);
  void CutPixelRow(double latitude);

  const CombineSource& source_;
  double westLongitude_ = 0, pixelDegrees_ = 0;  // the mosaic's west edge, a pixel's width
  double north_ = 0, pixelMetres_ = 0;
  int64_t width_ = 0;
  int32_t row_ = -1;
  std::optional<AreaMask> whole_;  // the tiles a line or point without buffer passes through

  std::vector<Edge> edges_;  // by high, falling
  std::size_t nextEdge_ = 0;
  std::vector<std::size_t> active_;
  WindingSweep sweep_;

  // The pixel columns kept, first and last, of the row of tiles' pixel rows:
  // those of row i are spans_[rowStart_[i]] up to spans_[rowStart_[i + 1]].
  std::vector<std::pair<int64_t, int64_t>> spans_;
  std::vector<std::size_t> rowStart_;
};
