#pragma once

#include <vector>

#include "Area.h"
#include "MapGeometry.h"

// An area's outline as a view draws it. Edges are straight in degrees, so
// on the map they bend wherever they are not due north or due east: each
// edge is cut into pieces a few pixels long. Only the part of an edge that
// lies in the view (and a margin) is given, so a deep zoom never hands the
// painter points millions of pixels off screen.

struct ScreenPath {
  std::vector<ScreenPoint> points;  // two or more
};

struct OutlineInView {
  std::vector<ScreenPath> paths;    // rings and lines, cut where they leave the view
  std::vector<ScreenPoint> points;  // the area's points that lie in the view
};

inline constexpr double kOutlinePiecePixels = 6;
inline constexpr double kOutlineMarginPixels = 16;

OutlineInView OutlineOf(const Area& area, const Viewport& view);
// An open line (a polygon still being drawn) the same way.
OutlineInView OutlineOfLine(const std::vector<LonLat>& line, const Viewport& view);
