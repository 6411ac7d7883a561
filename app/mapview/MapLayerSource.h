#pragma once

#include <QColor>
#include <QImage>
#include <QObject>
#include <QRectF>
#include <QString>

#include "MapGeometry.h"

// Where the map widget's tiles come from. The widget knows only tile
// coordinates (rows from the top); a source makes the image of a tile at
// once or later, announcing it with Changed().
class MapLayerSource : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;

  // The zoom whose tiles draw a view at viewZoom (a task has one zoom).
  virtual int TileZoom(int viewZoom) const { return viewZoom; }
  // How the service counts rows, for the cursor's read-out.
  virtual RowOrigin Origin() const { return RowOrigin::FromTop; }
  // The tiles the view shows now; the source may drop or cancel the rest.
  // Called before each paint asks for images.
  virtual void Retain(const TileRange& range, int zoom) = 0;
  // The tile's image when it is at hand, else a null image (and Changed()
  // follows once it is).
  virtual QImage Image(int32_t x, int32_t topRow, int zoom) = 0;
  // A colour laid over a tile, showing its state; invalid for none.
  virtual QColor Overlay(int32_t /*x*/, int32_t /*topRow*/, int /*zoom*/) { return {}; }
  // A frame drawn inside a tile's edge, showing its state over any image; invalid for none.
  virtual QColor Border(int32_t /*x*/, int32_t /*topRow*/, int /*zoom*/) { return {}; }
  // What to draw when tiles are too small to see: one pixel per cell and
  // the tile points (at TileZoom) it covers, transparent where the source
  // has nothing. A null image when there is none.
  virtual QImage Coverage(QRectF* /*covers*/) { return {}; }
  // A line for the view when tiles cannot be shown; empty when all is well.
  virtual QString Note() const { return {}; }

 signals:
  void Changed();
};
