#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "MemoLines.h"
#include "Platform.h"
#include "TaskParameters.h"
#include "TileRefresh.h"

// The task a project file holds, through Start's own checks (the
// configuration, the proxy, the tile server, the request headers), with
// nothing created; nullopt after a message: the file cannot serve, a check
// refused, or the task has no tile folder to refresh.
std::optional<TaskParameters> ParametersForRefresh(Platform& platform, const std::string& configPath,
                                                   const std::string& projectPath);

// The refresh of a task of these parameters, as the workers would fetch it.
RefreshRequest RefreshRequestFor(const DownloadTask& task, std::optional<int32_t> olderThanDays,
                                 const std::string& blankImagePath);

// "" (the server's expiry, else 7 days) or a whole number of days from 0;
// false for anything else.
bool ParseOlderThanDays(const std::string& text, std::optional<int32_t>& days);

// What a front end mirrors of the "Refresh tiles..." window.
class RefreshTilesView {
 public:
  virtual ~RefreshTilesView() = default;
  virtual void Memo1Appended(const std::string& /*line*/) {}
  // LabelProgress, the entries or the run state changed.
  virtual void ProgressChanged() {}
};

// "Refresh tiles...": asks the server again for a task's saved tiles
// (TileRefresh.h) on a thread of its own, so a wait never freezes the
// window; its lines and progress come through PostToGuiThread. Stop lets
// each fetcher finish the tile in hand, and the next refresh continues.
class RefreshTilesLogic {
 public:
  explicit RefreshTilesLogic(Platform& platform, std::string configPathOverride = {});
  // Stops a refresh under way and waits for the tiles in hand.
  ~RefreshTilesLogic();
  RefreshTilesLogic(const RefreshTilesLogic&) = delete;
  RefreshTilesLogic& operator=(const RefreshTilesLogic&) = delete;

  void SetView(RefreshTilesView* view) { view_ = view; }

  static constexpr const char* Caption = "Refresh tiles";
  static constexpr const char* StartCaption = "Refresh";
  static constexpr const char* StopCaption = "Stop";

  std::string EditProject;    // the task's project file
  std::string EditOlderThan;  // days; empty: the server's expiry, else 7 days
  std::string LabelProgress;
  MemoLines Memo1;

  // When the window opens: the task last started, unless a task is chosen.
  void FormShow();
  // "...": the file dialog for a project file.
  void ButtonBrowseClick();
  // "Refresh", or "Stop" while one runs.
  void ButtonStartClick();
  bool Running() const { return running_; }
  const char* ButtonCaption() const { return running_ ? StopCaption : StartCaption; }

 private:
  void Start();
  void AppendLine(const std::string& line);
  void Changed();
  std::string ConfigPath();

  Platform& platform_;
  std::string configPathOverride_;
  RefreshTilesView* view_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  // Posted routines run only while the window lives.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  bool running_ = false;
};
