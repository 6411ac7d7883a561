#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QPushButton>

#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "Ftl.h"
#include "MapWidget.h"
#include "NetworkSettings.h"
#include "TaskFolderSource.h"
#include "TileHosts.h"

// The map viewer's window: one task's tiles over its extent, the task's
// rectangle, a legend with the count of each state, the clicked tile's name,
// address and state, and the re-fetch of the failed and blank tiles of a
// selection (Shift and drag), whose tiles change on the map as they arrive.
//
// The folder is scanned and the tiles are fetched on background threads;
// their results reach the window as queued calls, so it never waits.
class ViewerWindow : public QMainWindow {
  Q_OBJECT
 public:
  // executableFolder ends with a separator; the configuration and the blank
  // image are found from it unless configPath is given.
  explicit ViewerWindow(std::string executableFolder, std::string configPath = {}, QWidget* parent = nullptr);
  ~ViewerWindow() override;

  // Shows the task of a project file; a file that cannot be read, or a
  // missing folder, is a line in the window.
  void OpenTask(const std::string& projectPath);

  MapWidget* Map() const { return map_; }
  TaskFolderSource* Source() const { return source_.get(); }
  QString Problem() const { return problem_->text(); }
  QString TileInfo() const { return info_->text(); }
  QString CountText(TileState state) const { return counts_[static_cast<std::size_t>(state)]->text(); }
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
  QLabel* info_;
  QLabel* fetchLine_;
  QPushButton* selectAll_;
  QPushButton* fetch_;
  std::array<QLabel*, kTileStateCount> counts_{};

  std::unique_ptr<TaskFolderSource> source_;
  TileRange selection_;
  std::optional<TileKey> shownTile_;  // the clicked tile, kept up to date
  std::thread scanThread_;
  std::thread fetchThread_;
  std::atomic<bool> stopFetch_{false};
  bool fetchDone_ = true;
  int generation_ = 0;  // results of an earlier task are dropped
};
