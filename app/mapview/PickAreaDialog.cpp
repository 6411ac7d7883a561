#include "PickAreaDialog.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {

const char* kNothingPicked = "Draw a rectangle or a polygon on the map";

}  // namespace

PickAreaDialog::PickAreaDialog(LiveTileFetcher::Settings settings, const std::string& cacheFolder,
                               const AreaEntries& entries, ZoomLevels zooms, int32_t mapsType, QWidget* parent)
    : QDialog(parent), zooms_(zooms), mapsType_(mapsType) {
  setWindowTitle("Pick the area on the map");
  setObjectName("PickAreaDialog");
  resize(900, 700);
  source_ = std::make_unique<LiveTileSource>(std::move(settings), cacheFolder);
  auto* layout = new QVBoxLayout(this);
  auto* hint = new QLabel(
      "Drag to move the map; the wheel or + and - zoom. Shift and drag, or the rectangle tool, draws a rectangle. "
      "With the polygon tool, click the corners and double-click the last (or click the first) to close it; drag "
      "a corner to move it, Backspace removes the last.",
      this);
  hint->setWordWrap(true);
  layout->addWidget(hint);

  auto* bar = new QWidget(this);
  auto* barLayout = new QHBoxLayout(bar);
  barLayout->setContentsMargins(0, 0, 0, 0);
  auto* group = new QButtonGroup(this);
  for (QToolButton* button : {AddTool("Move the map", "PickToolPan", MapWidget::Tool::Pan, bar),
                              AddTool("Rectangle", "PickToolRectangle", MapWidget::Tool::Rectangle, bar),
                              AddTool("Polygon", "PickToolPolygon", MapWidget::Tool::Polygon, bar)}) {
    group->addButton(button);
    barLayout->addWidget(button);
  }
  clear_ = new QPushButton("Clear", bar);
  clear_->setObjectName("PickClear");
  barLayout->addWidget(clear_);
  barLayout->addStretch(1);
  layout->addWidget(bar);

  map_ = new MapWidget(this);
  map_->setObjectName("PickMap");
  map_->SetSource(source_.get());
  layout->addWidget(map_, 1);
  edges_ = new QLabel(this);
  edges_->setObjectName("PickEdges");
  edges_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  tiles_ = new QLabel(this);
  tiles_->setObjectName("PickTiles");
  tiles_->setWordWrap(true);
  layout->addWidget(edges_);
  layout->addWidget(tiles_);
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons_);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(map_, &MapWidget::RectangleChanged, this, &PickAreaDialog::RectangleDrawn);
  connect(map_, &MapWidget::PolygonChanged, this, &PickAreaDialog::PolygonEdited);
  connect(clear_, &QPushButton::clicked, this, &PickAreaDialog::Clear);

  // The view is fitted once the map has its size.
  map_->resize(880, 540);
  if (const std::optional<AreaPick> area = AreaFromEntries(entries)) {
    map_->FitTo({area->left, area->top}, {area->right, area->bottom}, 17);
    map_->SetRectangle(*area);
    RectangleDrawn(*area);
  } else {
    map_->FitTo({-180, kEntryLatitudeLimit}, {180, -kEntryLatitudeLimit}, 2);
    Clear();
  }
}

QToolButton* PickAreaDialog::AddTool(const QString& text, const QString& name, MapWidget::Tool tool, QWidget* bar) {
  auto* button = new QToolButton(bar);
  button->setText(text);
  button->setObjectName(name);
  button->setCheckable(true);
  button->setChecked(tool == MapWidget::Tool::Pan);
  connect(button, &QToolButton::toggled, this, [this, tool](bool on) {
    if (on) map_->SetTool(tool);
  });
  tools_.emplace_back(tool, button);
  return button;
}

QToolButton* PickAreaDialog::ToolButton(MapWidget::Tool tool) const {
  for (const auto& [which, button] : tools_)
    if (which == tool) return button;
  return nullptr;
}

bool PickAreaDialog::StartFromArea(const Area& area) {
  if (area.polygons.size() != 1 || !area.polygons[0].holes.empty() || !area.lines.empty() || !area.points.empty() ||
      area.polygons[0].shell.size() < PolygonSketch::kMinCorners)
    return false;
  PolygonSketch polygon;
  for (const LonLat& corner : area.polygons[0].shell) polygon.Add({corner.longitude, corner.latitude});
  polygon.Close();
  map_->SetPolygon(std::move(polygon));
  const AreaBounds bounds = BoundsOf(area);
  map_->FitTo({bounds.west, bounds.north}, {bounds.east, bounds.south}, 17);
  PolygonEdited();
  return true;
}

void PickAreaDialog::RectangleDrawn(const AreaPick& area) {
  if (!map_->Polygon().Empty()) map_->SetPolygon({});
  Judge(CheckRectanglePick(area, zooms_, mapsType_), {});
}

void PickAreaDialog::PolygonEdited() {
  const PolygonSketch& polygon = map_->Polygon();
  if (polygon.Empty()) {
    Clear();
    return;
  }
  map_->SetRectangle(std::nullopt);
  const QString corners = QString("Polygon of %1 corners").arg(polygon.Corners().size());
  if (!polygon.Closed()) {
    picked_.reset();
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(false);
    edges_->setText(corners + ": click the next corner; double-click the last, or click the first, to close it");
    tiles_->clear();
    return;
  }
  Judge(CheckPolygonPick(polygon.Corners(), zooms_, mapsType_), corners + " within ");
}

void PickAreaDialog::Judge(const PickCheck& check, const QString& shape) {
  picked_ = check.picked;
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(picked_.has_value());
  if (!picked_) {
    edges_->setText(QString::fromStdString(check.refusal));
    tiles_->clear();
    return;
  }
  const AreaEntries& entries = picked_->entries;
  edges_->setText(shape + QString("Left %1   Right %2   Top %3   Bottom %4")
                              .arg(QString::fromStdString(entries.left), QString::fromStdString(entries.right),
                                   QString::fromStdString(entries.top), QString::fromStdString(entries.bottom)));
  tiles_->setText(QString::fromStdString(PickTilesText(check)));
}

void PickAreaDialog::Clear() {
  map_->SetRectangle(std::nullopt);
  map_->SetPolygon({});
  picked_.reset();
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(false);
  edges_->setText(kNothingPicked);
  tiles_->clear();
}
