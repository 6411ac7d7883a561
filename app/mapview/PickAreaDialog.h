#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>

#include <memory>

#include "AreaPick.h"
#include "LiveTileSource.h"
#include "MapWidget.h"

// Picking the task's area on the live map: the user drags a rectangle and
// sees its edges, the tiles it takes at the main window's zoom and their
// likely size. OK is offered only for an area the task set-up accepts.
class PickAreaDialog : public QDialog {
  Q_OBJECT
 public:
  // Centred on the entries' rectangle, or the whole world when they hold none.
  PickAreaDialog(LiveTileFetcher::Settings settings, const std::string& cacheFolder, const AreaEntries& entries,
                 int zoom, int32_t mapsType, QWidget* parent = nullptr);

  // The four entries for the picked area; valid once the dialog is accepted.
  AreaEntries Entries() const { return entries_; }
  MapWidget* Map() const { return map_; }
  QString EdgesText() const { return edges_->text(); }
  QString TilesText() const { return tiles_->text(); }
  QDialogButtonBox* Buttons() const { return buttons_; }

 private:
  void AreaChanged(const AreaPick& area);

  int zoom_;
  int32_t mapsType_;
  std::unique_ptr<LiveTileSource> source_;
  MapWidget* map_;
  QLabel* edges_;
  QLabel* tiles_;
  QDialogButtonBox* buttons_;
  AreaEntries entries_;
};
