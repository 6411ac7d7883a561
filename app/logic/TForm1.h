#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AtomicFile.h"
#include "MemoLines.h"
#include "Platform.h"
#include "RequestPacer.h"
#include "TDownThread.h"
#include "TaskParameters.h"
#include "Unitclasstask.h"

// What a front end mirrors of the main window. The logic calls these after
// it changed its members; the widgets write user edits back into the members
// before they call a handler. All calls come on the GUI thread.
class TForm1View {
 public:
  virtual ~TForm1View() = default;
  // Any plain control value changed (entries, labels, slider, caption, ...).
  virtual void ControlsChanged() {}
  virtual void Memo1Appended(const std::string& /*line*/) {}
  virtual void Memo1Replaced() {}
  virtual void Memo2Appended(const std::string& /*line*/) {}
  virtual void Memo2Replaced() {}
  // Menu entries that show another window; the front end owns those windows.
  virtual void ShowOptionsDialog() {}
  virtual void ShowConverter() {}
  virtual void ShowAboutBox() {}
  virtual void ShowRedownloadWindow() {}
  // A task has closed; the line sums up its run (shown before the closing message).
  virtual void RunSummaryReady(const std::string& /*summary*/) {}
  // Exit1Click has saved a running task's progress; the front end ends now,
  // without waiting for workers (see SaveProgressForExit).
  virtual void ExitRequested() {}
};

// One row of the window's map-type table.
struct MapTypeRow {
  const char* label;
  int32_t lowestZoom;
  int32_t highestZoom;
  int32_t defaultZoom;
};
extern const std::array<MapTypeRow, 9> kMapTypeTable;

// The main window: task entries, Start/Stop, the progress monitor and the
// menus. Everything runs on the GUI thread except the TDownThreadSink calls,
// which hand their effect to the GUI thread and wait for it.
class TForm1 : public TDownThreadSink {
 public:
  static constexpr int32_t kMaxWorkers = 8;
  static constexpr const char* kStartCaption = "Start";
  static constexpr const char* kStopCaption = "Stop";

  // configPathOverride replaces the configuration file's usual place when set.
  explicit TForm1(Platform& platform, std::string configPathOverride = {});
  // Workers still running are asked to stop and then abandoned rather than
  // waited for: they may be blocked waiting on the GUI thread.
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  void SetView(TForm1View* view) { view_ = view; }

  // ---- Controls, as the user sees them.
  std::string Caption = kApplicationCaption;
  std::string EditTaskName = "newtask.qrnl";
  std::vector<std::string> comboMapsTypeItems;
  int32_t comboMapsTypeIndex = -1;  // -1: no valid row selected
  int32_t TrackBar1Min = 0;
  int32_t TrackBar1Max = 10;
  int32_t TrackBar1Position = 0;
  std::string TrackBar1Hint;
  std::string Label8;
  std::string Edit1;   // left longitude
  std::string Edit3;   // right longitude
  std::string Edit2;   // top latitude
  std::string Edit4;   // bottom latitude
  std::string Edit6;   // path to save
  std::string Edit10;  // threads count (read-only entry)
  int32_t UpDown2Min = 1;
  int32_t UpDown2Max = 8;
  std::string LabelTotalxy;
  std::string BitBtn1Caption = kStartCaption;
  MemoLines Memo1{"[log window]"};
  MemoLines Memo2{"[Failed tile inforamtion window]"};
  bool Timer1Enabled = false;

  static constexpr const char* kApplicationCaption = "Quarnel";
  static constexpr const char* StatusBar1Text = "Download map images from OpenStreet Maps.";
  static constexpr const char* Button1Hint = "Click to select path";
  static constexpr const char* Memo1Hint = "Double click to view log in notepad";

  // ---- Window state.
  std::string ConfigPath;
  std::string HelpFilePath;
  std::string HomepageAddress;
  std::string SupportMailAddress;
  std::string DefaultPath;
  std::string DefaultOutputName;
  int32_t DefaultThreadCount = 1;
  std::string VersionText;
  int32_t RunningWorkers = 0;
  int32_t TickCount = 0;
  // Replaces the configuration's Network.MaxRequestsPerSecond at Start (the command line's --max-rate).
  std::optional<int32_t> MaxRequestsPerSecondOverride;

  // ---- Handlers.
  void FormShow();
  void comboMapsTypeChange();
  void TrackBar1Change();
  void Button1Click();
  void BitBtn1Click();
  void Timer1Timer();
  // "Open task ...": runs the file dialog, then LoadProjectFile.
  void LoadParametersfromprojectfilel1Click();
  void Button4Click() { LoadParametersfromprojectfilel1Click(); }
  // The project-file reader for a file already chosen (the command line's --open).
  void LoadProjectFile(const std::string& path);

  // Menus.
  void Exit1Click();
  void Options2Click();
  void ConvertLongitudeorLatitudetodegreen1Click();
  void Viewlogfile1Click();
  void Memo1DblClick() { Viewlogfile1Click(); }
  void Redownloadfailedtiles1Click() {}
  void MapViewer1Click();
  void MapCombiner1Click();
  void dowloadfailedfiles1Click();
  void Usermanual1Click();
  void Homepage1Click();
  void About1Click();

  // Before the front end ends while a task runs: saves the log, the failed-tile
  // list and then the worker positions, without waiting for any worker. Safe
  // while workers are blocked waiting on the GUI thread. Does nothing when no
  // task runs. The front end must then end the process without destroying
  // the workers' sink (std::quick_exit), since workers may still report.
  void SaveProgressForExit();

  // ---- TDownThreadSink: called on worker threads; each waits for the GUI thread.
  void AddLogLine(const std::string& line) override;
  void AddFailedLine(const std::string& line) override;
  void WorkerDone(int32_t threadIndex) override;

  // ---- For the command-line front end.
  bool TaskRunning() const { return BitBtn1Caption != kStartCaption; }
  int64_t TilesOkThisRun() const { return tilesOk_; }
  int64_t TilesFailedThisRun() const { return tilesFailed_; }
  int32_t TotalTiles() const { return task_ ? task_->TotalTiles : 0; }
  // The current task and its parameters; null before the first Start.
  const DownloadTask* Task() const { return task_.get(); }
  const TaskParameters* Parameters() const { return parameters_.get(); }

 private:
  struct SavedFile {
    std::string path;
    uint64_t generation = 0;
    std::size_t lineCount = 0;
    uint64_t bytes = 0;
    bool valid = false;
  };

  void Start();
  void Stop();
  bool ValidateEntries(double& left, double& right, double& top, double& bottom);
  bool TestResume(const std::string& savePath, const std::string& taskFileName) const;
  void StartWorkers();

  void SaveProgress();
  void CloseTask();
  int32_t WorkerSlotsInUse() const;
  std::vector<TilePosition> SnapshotPositions() const;
  void WritePositions(const std::vector<TilePosition>& positions);
  void SaveLogView(Durability durability);
  void SaveFailedView();
  static void SaveView(const MemoLines& view, const std::string& path, Durability durability,
                       SavedFile& saved);

  void AppendMemo1(std::string line);
  void AppendMemo2(std::string line);
  void ReplaceMemo1(std::vector<std::string> lines);
  void ReplaceMemo2(std::vector<std::string> lines);
  void NotifyControls();
  std::string ExecutableFolder();

  Platform& platform_;
  std::string configPathOverride_;
  TForm1View* view_ = nullptr;

  std::unique_ptr<TaskParameters> parameters_;
  std::unique_ptr<DownloadTask> task_;
  std::unique_ptr<RequestPacer> pacer_;  // shared by the workers; replaced only once they are done
  std::array<std::unique_ptr<TDownThread>, kMaxWorkers> workers_;
  SavedFile savedLog_;
  SavedFile savedFailed_;
  int64_t tilesOk_ = 0;
  int64_t tilesFailed_ = 0;
  int32_t workersBanned_ = 0;
  bool exiting_ = false;
};
