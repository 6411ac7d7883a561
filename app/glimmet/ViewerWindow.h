#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "Ftl.h"
#include "LiveTileSource.h"
#include "MapWidget.h"
#include "NetworkSettings.h"
#include "TaskFolderSource.h"
#include "TileHosts.h"

// The map viewer's window: one task's tiles in their place on the live map
// (dimmed, under the task), the task's area or rectangle outlined, a legend
// with the count of each state among the task's own tiles (a task with an
// area counts only those inside it), the clicked tile marked and named with
// its file, address and state, and the re-fetch of the failed and blank
// tiles of a selection (Shift and drag), whose tiles change on the map as
// they arrive. File -> Open chooses another task.
//
// The folder is scanned and the tiles are fetched on background threads;
// their results reach the window as queued calls, so it never waits.
class ViewerWindow : public QMainWindow {
  Q_OBJECT
 public:
  // Asks for a project file to open, starting in `folder`; empty when none is chosen.
  using FileChooser = std::function<QString(QWidget* parent, const QString& folder)>;

  // executableFolder ends with a separator; the configuration and the blank
  // image are found from it unless configPath is given. The live map's tiles
  // are kept in liveCacheFolder, by default the user's cache folder.
  explicit ViewerWindow(std::string executableFolder, std::string configPath = {}, std::string liveCacheFolder = {},
                        QWidget* parent = nullptr);
  ~ViewerWindow() override;

  // Shows the task of a project file; a file that cannot be read, a missing
  // or damaged area file, or a missing folder, is a line in the window.
  void OpenTask(const std::string& projectPath);
  // File -> Open: asks for a project file and opens it.
  void OpenClick();
  void SetFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

  MapWidget* Map() const { return map_; }
  TaskFolderSource* Source() const { return source_.get(); }
  QString Problem() const { return problem_->text(); }
  QString TileInfo() const { return info_->text(); }
  QString CountText(TileState state) const { return counts_[static_cast<std::size_t>(state)]->text(); }
  QString AreaText() const { return areaLine_->text(); }
  LiveTileSource* LiveMap() const { return live_.get(); }
  QAction* LiveMapAction() const { return liveMapAction_; }
  // The colours of the legend's swatches, in TileState order, then the undecodable tiles'.
  static std::vector<QColor> LegendColours();
  QString FetchText() const { return fetchLine_->text(); }
  QPushButton* FetchButton() const { return fetch_; }
  QPushButton* SelectAllButton() const { return selectAll_; }
  bool Fetching() const { return fetchThread_.joinable() && !fetchDone_; }

  // Fetches the failed and blank tiles of the selection again.
  void FetchSelectionAgain();

 signals:
  void ScanFinished();
  void FetchFinished();

 private:
  void BuildWidgets();
  void BuildMenus();
  void ScanDone(const TaskExtent& extent, std::shared_ptr<TaskScan> scan);
  void ShowCounts();
  void ShowTile(TileKey key);
  void Select(const TileRange& topCounted);
  void TileFetched(const FtlEntry& entry);
  void FetchEnded(const RedownloadResult& result);
  void StopThreads();
  std::string AddressOf(int32_t x, int32_t y) const;

  std::string executableFolder_;
  std::string configPath_;
  std::string blankImage_;
  TileHosts hosts_;
  NetworkSettings network_;
  ProxyConfig proxy_;

  MapWidget* map_;
  QLabel* problem_;
  QLabel* areaLine_;
  QLabel* info_;
  QLabel* fetchLine_;
  QPushButton* selectAll_;
  QPushButton* fetch_;
  std::array<QLabel*, kTileStateCount> counts_{};
  QAction* liveMapAction_ = nullptr;
  FileChooser chooseFile_;
  std::string projectPath_;  // the task shown, or last asked for

  std::unique_ptr<LiveTileSource> live_;
  std::unique_ptr<TaskFolderSource> source_;
  TileRange selection_;
  std::optional<TileKey> shownTile_;  // the clicked tile, kept up to date
  std::thread scanThread_;
  std::thread fetchThread_;
  std::atomic<bool> stopFetch_{false};
  bool fetchDone_ = true;
  int generation_ = 0;  // results of an earlier task are dropped
};
