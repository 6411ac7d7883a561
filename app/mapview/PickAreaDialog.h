#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include <memory>
#include <optional>

#include "AreaPick.h"
#include "LiveTileSource.h"
#include "MapWidget.h"

// Picking the task's area on the live map: a rectangle (Shift and drag, or
// the rectangle tool) or a polygon (the polygon tool). The dialog shows the
// edges, the tiles the area gives at the caller's zoom level or levels and
// their likely size; OK is offered only for an area the task set-up
// accepts. One shape at a time: drawing one clears the other.
//
// For the caller: Picked() after exec() returns Accepted holds the four
// entries, and for a polygon the task's area as well (the entries are then
// its bounding box). A task without a polygon keeps no area.
class PickAreaDialog : public QDialog {
  Q_OBJECT
 public:
  // Centred on the entries' rectangle, or the whole world when they hold none.
  // zooms: the main window's level, or its range of levels.
  PickAreaDialog(LiveTileFetcher::Settings settings, const std::string& cacheFolder, const AreaEntries& entries,
                 ZoomLevels zooms, int32_t mapsType, QWidget* parent = nullptr);

  // Opens on the task's current area instead, for editing, when it is one
  // polygon without holes (what this dialog draws); returns false and
  // changes nothing for any other area.
  bool StartFromArea(const Area& area);

  // What OK hands back; valid once the dialog is accepted.
  PickedArea Picked() const { return picked_.value_or(PickedArea{}); }
  AreaEntries Entries() const { return Picked().entries; }

  MapWidget* Map() const { return map_; }
  QString EdgesText() const { return edges_->text(); }
  QString TilesText() const { return tiles_->text(); }
  QDialogButtonBox* Buttons() const { return buttons_; }
  QToolButton* ToolButton(MapWidget::Tool tool) const;
  QPushButton* ClearButton() const { return clear_; }

 private:
  void RectangleDrawn(const AreaPick& area);
  void PolygonEdited();
  void Judge(const PickCheck& check, const QString& shape);
  void Clear();
  QToolButton* AddTool(const QString& text, const QString& name, MapWidget::Tool tool, QWidget* bar);

  ZoomLevels zooms_;
  int32_t mapsType_;
  std::unique_ptr<LiveTileSource> source_;
  MapWidget* map_;
  QLabel* edges_;
  QLabel* tiles_;
  QPushButton* clear_;
  QDialogButtonBox* buttons_;
  std::vector<std::pair<MapWidget::Tool, QToolButton*>> tools_;
  std::optional<PickedArea> picked_;
};
