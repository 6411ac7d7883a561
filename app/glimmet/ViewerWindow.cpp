#include "ViewerWindow.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMetaObject>
#include <QVBoxLayout>

#include <filesystem>

#include "AppPaths.h"
#include "AtomicFile.h"
#include "IniFile.h"
#include "MapServices.h"
#include "ProxyConfig.h"
#include "SourceCatalogue.h"
#include "TaskConfig.h"

namespace {

const char* StateCaption(TileState state) {
  switch (state) {
    case TileState::Saved: return "Saved";
    case TileState::Blank: return "Blank placeholder";
    case TileState::Failed: return "Failed (listed)";
    case TileState::Missing: break;
  }
  return "Missing";
}

bool Refetchable(TileState state) { return state == TileState::Failed || state == TileState::Blank; }

constexpr const char* kTileInfoPrompt = "Click a tile to see its file, address and state.";
constexpr const char* kFetchCaption = "Fetch failed and blank again";
constexpr const char* kVectorNote = "Vector tiles are not drawn: each tile shows its state only.";

}  // namespace

ViewerWindow::ViewerWindow(std::string executableFolder, std::string configPath, std::string liveCacheFolder,
                           QWidget* parent)
    : QMainWindow(parent), executableFolder_(std::move(executableFolder)), configPath_(std::move(configPath)) {
  setWindowTitle("Map Viewer");
  if (configPath_.empty()) configPath_ = ConfigFilePath(executableFolder_, "");
  const IniFile config(configPath_);
  hosts_ = ReadTileHosts(config);
  network_ = ReadNetworkSettings(config);
  proxy_ = ReadProxyConfig(config);
  try {
    blankImage_ = ReadWholeFile(BlankImagePathIn(executableFolder_));
  } catch (const std::exception&) {
    // Without the placeholder no tile counts as blank.
  }
  const LiveTileFetcher::Settings live = ReadLiveSettings(config);
  if (liveCacheFolder.empty()) liveCacheFolder = LiveTileCacheFolder(live.hosts);
  live_ = std::make_unique<LiveTileSource>(live, liveCacheFolder);
  chooseFile_ = [](QWidget* parent, const QString& folder) {
    return QFileDialog::getOpenFileName(parent, "Open task", folder, "Projects (*.qrnl)");
  };
  BuildWidgets();
  BuildMenus();
  // What combined tile sets record of the server's terms, shown over its tiles.
  map_->SetAttribution(QString::fromStdString(config.ReadString("Hosts", "Attribution", "")));
}

std::vector<QColor> ViewerWindow::LegendColours() {
  std::vector<QColor> colours;
  for (std::size_t i = 0; i < kTileStateCount; ++i)
    colours.push_back(TaskFolderSource::StateColour(static_cast<TileState>(i)));
  colours.push_back(TaskFolderSource::UndecodableColour());
  return colours;
}

void ViewerWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  QAction* open = file->addAction("&Open...", this, &ViewerWindow::OpenClick);
  open->setObjectName("OpenAction");
  open->setShortcut(QKeySequence::Open);
  file->addSeparator();
  QAction* quit = file->addAction("&Quit", this, &QWidget::close);
  quit->setShortcut(QKeySequence::Quit);
  QMenu* view = menuBar()->addMenu("&View");
  liveMapAction_ = view->addAction("&Live map underneath");
  liveMapAction_->setObjectName("LiveMapAction");
  liveMapAction_->setCheckable(true);
  liveMapAction_->setChecked(true);
  connect(liveMapAction_, &QAction::toggled, this, [this](bool on) { map_->SetBackdrop(on ? live_.get() : nullptr); });
}

void ViewerWindow::OpenClick() {
  const QString folder = projectPath_.empty() ? QString() : QFileInfo(QString::fromStdString(projectPath_)).path();
  const QString chosen = chooseFile_(this, folder);
  if (!chosen.isEmpty()) OpenTask(chosen.toStdString());
}

ViewerWindow::~ViewerWindow() { StopThreads(); }

void ViewerWindow::BuildWidgets() {
  auto* central = new QWidget(this);
  auto* columns = new QHBoxLayout(central);
  map_ = new MapWidget(central);
  map_->setObjectName("MapView");
  map_->SetBackdrop(live_.get());
  columns->addWidget(map_, 1);

  auto* panel = new QWidget(central);
  panel->setFixedWidth(280);
  auto* side = new QVBoxLayout(panel);
  problem_ = new QLabel(panel);
  problem_->setObjectName("ProblemLine");
  problem_->setWordWrap(true);
  problem_->setStyleSheet("color: #b00000;");
  side->addWidget(problem_);
  side->addWidget(new QLabel("<b>Tiles</b>", panel));
  for (std::size_t i = 0; i < kTileStateCount; ++i) {
    const auto state = static_cast<TileState>(i);
    auto* row = new QHBoxLayout;
    auto* swatch = new QLabel(panel);
    swatch->setFixedSize(16, 16);
    swatch->setStyleSheet(QString("background: %1; border: 1px solid #606060;")
                              .arg(TaskFolderSource::StateColour(state).name()));
    row->addWidget(swatch);
    row->addWidget(new QLabel(StateCaption(state), panel), 1);
    counts_[i] = new QLabel("0", panel);
    counts_[i]->setObjectName(QString("Count") + TileStateName(state));
    counts_[i]->setAlignment(Qt::AlignRight);
    row->addWidget(counts_[i]);
    side->addLayout(row);
  }
  areaLine_ = new QLabel(panel);
  areaLine_->setObjectName("AreaLine");
  areaLine_->setWordWrap(true);
  side->addWidget(areaLine_);
  auto* line = new QFrame(panel);
  line->setFrameShape(QFrame::HLine);
  side->addWidget(line);
  info_ = new QLabel(kTileInfoPrompt, panel);
  info_->setObjectName("TileInfo");
  info_->setWordWrap(true);
  info_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  side->addWidget(info_);
  side->addWidget(new QLabel("Shift and drag to select tiles.", panel));
  selectAll_ = new QPushButton("Select the whole task", panel);
  fetch_ = new QPushButton(kFetchCaption, panel);
  fetch_->setEnabled(false);
  side->addWidget(selectAll_);
  side->addWidget(fetch_);
  fetchLine_ = new QLabel(panel);
  fetchLine_->setObjectName("FetchLine");
  fetchLine_->setWordWrap(true);
  side->addWidget(fetchLine_);
  side->addStretch(1);
  columns->addWidget(panel);
  setCentralWidget(central);

  connect(map_, &MapWidget::TileClicked, this, [this](TileKey key, Qt::KeyboardModifiers) { ShowTile(key); });
  connect(map_, &MapWidget::RectangleChanged, this, [this](AreaPick area) {
    if (source_) Select(TilesCovering({area.left, area.top}, {area.right, area.bottom}, source_->Extent().zoom));
  });
  connect(selectAll_, &QPushButton::clicked, this, [this] {
    if (source_) Select(TopCountedRange(source_->Extent()));
  });
  connect(fetch_, &QPushButton::clicked, this, &ViewerWindow::FetchSelectionAgain);
}

void ViewerWindow::StopThreads() {
  stopFetch_ = true;
  if (fetchThread_.joinable()) fetchThread_.join();
  if (scanThread_.joinable()) scanThread_.join();
  fetchDone_ = true;
}

void ViewerWindow::OpenTask(const std::string& projectPath) {
  StopThreads();
  ++generation_;
  map_->SetSource(nullptr);
  map_->SetHighlight({});
  map_->SetOutline({});
  map_->SetMarkedTile(std::nullopt);
  projectPath_ = projectPath;
  source_.reset();
  selection_ = {};
  shownTile_.reset();
  // Nothing of the task shown before stays in the panel, even when this one cannot be read.
  setWindowTitle("Map Viewer");
  problem_->clear();
  areaLine_->clear();
  info_->setText(kTileInfoPrompt);
  fetchLine_->clear();
  fetch_->setText(kFetchCaption);
  fetch_->setEnabled(false);
  ShowCounts();
  TaskExtent extent;
  try {
    extent = ReadTaskExtent(projectPath);
  } catch (const std::exception& error) {
    problem_->setText(QString::fromStdString(error.what()));
    emit ScanFinished();
    return;
  }
  setWindowTitle("Map Viewer - " + QFileInfo(QString::fromStdString(projectPath)).fileName());
  map_->SetOutline(OutlineOfTask(extent));
  QStringList notes;
  if (extent.area)
    notes.append(QString("The area holds %1 of the %2 tiles of its rectangle.")
                     .arg(extent.InsideCount())
                     .arg(extent.TileCount()));
  if (extent.vector) notes.append(kVectorNote);
  areaLine_->setText(notes.join('\n'));
  map_->FitTo({extent.left, extent.top}, {extent.right, extent.bottom}, extent.zoom);
  problem_->setText("Reading the tile folder...");
  scanThread_ = std::thread([this, extent, generation = generation_] {
    std::shared_ptr<TaskScan> scan;
    std::string failure;
    try {
      scan = std::make_shared<TaskScan>(ScanTaskFolder(extent, blankImage_));
    } catch (const std::exception& error) {
      failure = error.what();
    }
    QMetaObject::invokeMethod(
        this,
        [this, extent, scan, failure, generation] {
          if (generation != generation_) return;
          if (!scan) {
            problem_->setText(QString::fromStdString("The tile folder cannot be read: " + failure));
            emit ScanFinished();
            return;
          }
          ScanDone(extent, scan);
        },
        Qt::QueuedConnection);
  });
}

void ViewerWindow::ScanDone(const TaskExtent& extent, std::shared_ptr<TaskScan> scan) {
  QStringList problems;
  for (const std::string& problem : scan->problems) problems.append(QString::fromStdString(problem));
  problem_->setText(problems.join('\n'));
  source_ = std::make_unique<TaskFolderSource>(std::move(*scan), QByteArray::fromStdString(blankImage_));
  map_->SetSource(source_.get());
  map_->FitTo({extent.left, extent.top}, {extent.right, extent.bottom}, extent.zoom);
  ShowCounts();
  emit ScanFinished();
}

void ViewerWindow::ShowCounts() {
  for (std::size_t i = 0; i < kTileStateCount; ++i)
    counts_[i]->setText(QString::number(source_ ? source_->States().Count(static_cast<TileState>(i)) : 0));
}

// The task's own source, never what the configuration says now: a task keeps its map.
std::string ViewerWindow::AddressOf(int32_t x, int32_t y) const {
  const TaskExtent& extent = source_->Extent();
  if (!extent.source) return BuildTileUrl(hosts_, extent.mapsType, x, y, extent.zoom);
  TileHosts hosts = hosts_;
  hosts.OpenStreetMap = extent.source->Template;
  return BuildTileUrl(hosts, kOpenStreetMap, x, y, extent.zoom);
}

void ViewerWindow::ShowTile(TileKey key) {
  if (!source_) return;
  shownTile_ = key;
  map_->SetMarkedTile(key);
  const TaskExtent& extent = source_->Extent();
  if (!extent.Inside(key.x, key.y)) {
    info_->setText(QString("Column %1, row %2, zoom %3: not a tile of this task%4")
                       .arg(key.x)
                       .arg(key.y)
                       .arg(key.zoom)
                       .arg(extent.Contains(key.x, key.y) ? " (outside its area)" : ""));
    return;
  }
  const TileState state = source_->States().At(key.x, key.y);
  QString stateText = StateCaption(state);
  if (source_->Undecodable(key.x, key.y)) stateText += " (the file is not an image that can be shown)";
  info_->setText(QString("<b>%1</b><br>%2<br>Column %3, row %4, zoom %5<br>State: %6")
                     .arg(QString::fromStdString(extent.FileName(key.x, key.y)).toHtmlEscaped(),
                          QString::fromStdString(AddressOf(key.x, key.y)).toHtmlEscaped())
                     .arg(key.x)
                     .arg(key.y)
                     .arg(key.zoom)
                     .arg(stateText));
}

void ViewerWindow::Select(const TileRange& topCounted) {
  const TaskExtent& extent = source_->Extent();
  selection_ = Intersection(topCounted, TopCountedRange(extent));
  map_->SetHighlight(selection_);
  int64_t refetchable = 0;
  for (int32_t top = selection_.minY; !selection_.Empty() && top <= selection_.maxY; ++top) {
    const int32_t y = ServiceRow(top, extent.zoom, extent.origin);
    for (int32_t x = selection_.minX; x <= selection_.maxX; ++x) refetchable += Refetchable(source_->States().At(x, y));
  }
  fetch_->setText(QString("Fetch %1 failed and blank again").arg(refetchable));
  fetch_->setEnabled(refetchable > 0 && !Fetching());
}

void ViewerWindow::FetchSelectionAgain() {
  if (!source_ || Fetching()) return;
  const TaskExtent& extent = source_->Extent();
  std::vector<std::string> lines;
  for (int32_t top = selection_.minY; !selection_.Empty() && top <= selection_.maxY; ++top) {
    const int32_t y = ServiceRow(top, extent.zoom, extent.origin);
    for (int32_t x = selection_.minX; x <= selection_.maxX; ++x)
      if (Refetchable(source_->States().At(x, y))) lines.push_back(extent.FilePath(x, y) + "|" + AddressOf(x, y));
  }
  if (lines.empty()) {
    fetchLine_->setText("No failed or blank tile in the selection.");
    return;
  }
  NetworkSettings network = network_;
  if (extent.vector) network.TileFormat = TaskTileFormat::Mvt;
  if (extent.source) {
    TileHosts hosts;
    if (std::optional<std::string> problem = UseStoredSource(*extent.source, configPath_, hosts, network)) {
      fetchLine_->setText(QString::fromStdString(*problem));
      return;
    }
  }
  if (fetchThread_.joinable()) fetchThread_.join();
  stopFetch_ = false;
  fetchDone_ = false;
  fetch_->setEnabled(false);
  fetchLine_->setText(QString("Fetching %1 tiles again...").arg(lines.size()));
  fetchThread_ = std::thread([this, lines = std::move(lines), network = std::move(network), generation = generation_,
                              failedListPath = extent.failedListPath, layout = extent.layout,
                              inOneFile = extent.inOneFile] {
    const auto toWindow = [this, generation](auto call) {
      QMetaObject::invokeMethod(
          this,
          [this, generation, call] {
            if (generation == generation_) call();
          },
          Qt::QueuedConnection);
    };
    RedownloadControl control;
    control.stop = &stopFetch_;
    // A task kept in one file takes its tiles into its store, which must open for writing.
    std::unique_ptr<TaskTiles> store;
    if (inOneFile) {
      try {
        store = OpenTaskTiles(*layout, "", TilesAccess::Write);
        control.store = store->Store();
      } catch (const std::exception& error) {
        RedownloadResult refused;
        refused.errorMessage = error.what();
        toWindow([this, refused] { FetchEnded(refused); });
        return;
      }
    }
    control.entryDone = [&](const FtlEntry& entry) { toWindow([this, entry] { TileFetched(entry); }); };
    RedownloadResult result = RedownloadFtlLines(
        lines, network, proxy_,
        [&](const std::string& line) { toWindow([this, line] { fetchLine_->setText(QString::fromStdString(line)); }); },
        control, "The selection");
    // Saved tiles leave the task's list, so they no longer show as failed nor are fetched again.
    if (!result.savedEntryPaths.empty()) {
      try {
        result.removedFromList = RemoveSettledEntries(failedListPath, result.savedEntryPaths);
      } catch (const std::exception& error) {
        if (!result.errorMessage) result.errorMessage = error.what();
      }
    }
    toWindow([this, result] { FetchEnded(result); });
  });
}

void ViewerWindow::TileFetched(const FtlEntry& entry) {
  if (!source_) return;
  const TaskExtent& extent = source_->Extent();
  const std::string name = std::filesystem::path(entry.path).filename().string();
  const std::optional<TileKey> key = ParseTileFileName(name, extent.mapsType, extent.zoom);
  if (!key) return;
  const bool listedFailed = source_->States().At(key->x, key->y) == TileState::Failed;
  const TaskTiles* tiles = source_->Tiles();
  source_->SetState(key->x, key->y,
                    tiles ? ProbeTile(*tiles, key->x, key->y, listedFailed)
                          : (listedFailed ? TileState::Failed : TileState::Missing));
  ShowCounts();
  if (shownTile_ && shownTile_->x == key->x && shownTile_->y == key->y) ShowTile(*shownTile_);
}

void ViewerWindow::FetchEnded(const RedownloadResult& result) {
  fetchDone_ = true;
  QString text = QString("Fetched again: %1 saved, %2 failed").arg(result.ok).arg(result.failed);
  if (result.skipped) text += QString(", %1 skipped").arg(result.skipped);
  text += ".";
  if (result.banned) text += " The server refused further tiles.";
  if (result.errorMessage) text += " " + QString::fromStdString(*result.errorMessage);
  fetchLine_->setText(text);
  if (source_) Select(selection_);
  emit FetchFinished();
}
