#include "PickAreaDialog.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "ProgressLine.h"

PickAreaDialog::PickAreaDialog(LiveTileFetcher::Settings settings, const std::string& cacheFolder,
                               const AreaEntries& entries, int zoom, int32_t mapsType, QWidget* parent)
    : QDialog(parent), zoom_(zoom), mapsType_(mapsType) {
  setWindowTitle("Pick the area on the map");
  setObjectName("PickAreaDialog");
  resize(900, 680);
  source_ = std::make_unique<LiveTileSource>(std::move(settings), cacheFolder);
  auto* layout = new QVBoxLayout(this);
  auto* hint = new QLabel("Drag a rectangle. Right button or arrow keys move the map, the wheel or + and - zoom.", this);
  layout->addWidget(hint);
  map_ = new MapWidget(this);
  map_->setObjectName("PickMap");
  map_->SetTool(MapWidget::Tool::Rectangle);
  map_->SetSource(source_.get());
  layout->addWidget(map_, 1);
  edges_ = new QLabel(this);
  edges_->setObjectName("PickEdges");
  edges_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  tiles_ = new QLabel(this);
  tiles_->setObjectName("PickTiles");
  layout->addWidget(edges_);
  layout->addWidget(tiles_);
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons_);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(map_, &MapWidget::RectangleChanged, this, &PickAreaDialog::AreaChanged);

  // The view is fitted once the map has its size.
  map_->resize(880, 560);
  if (const std::optional<AreaPick> area = AreaFromEntries(entries)) {
    map_->FitTo({area->left, area->top}, {area->right, area->bottom}, 17);
    map_->SetRectangle(*area);
    AreaChanged(*area);
  } else {
    map_->FitTo({-180, kEntryLatitudeLimit}, {180, -kEntryLatitudeLimit}, 2);
    AreaChanged({});
  }
}

void PickAreaDialog::AreaChanged(const AreaPick& area) {
  const AreaCheck check = CheckArea(area, zoom_, mapsType_);
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(check.entries.has_value());
  if (!check.entries) {
    edges_->setText(QString::fromStdString(check.refusal));
    tiles_->clear();
    return;
  }
  entries_ = *check.entries;
  edges_->setText(QString("Left %1   Right %2   Top %3   Bottom %4")
                      .arg(QString::fromStdString(entries_.left), QString::fromStdString(entries_.right),
                           QString::fromStdString(entries_.top), QString::fromStdString(entries_.bottom)));
  tiles_->setText(QString("%1 tiles at zoom %2, %3")
                      .arg(check.tiles)
                      .arg(zoom_)
                      .arg(QString::fromStdString(SizeEstimateText(check.tiles))));
}
