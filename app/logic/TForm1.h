#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BackgroundJob.h"
#include "MemoLines.h"
#include "Platform.h"
#include "ServerEstimate.h"
#include "TaskEntries.h"
#include "TaskRun.h"

struct SourceImport;

// The entries of the main window as one value: what the user typed or chose.
// The front end hands them over when the user acts; the logic hands them back
// only when it set them itself (defaults, an opened task, an area's bounds, a
// slider limit), so that nothing typed is overwritten.
struct TForm1Entries {
  TaskEntries task;  // its area is the window's own (CurrentArea), never the view's
  // "to": the last zoom level of a range, beside the slider; it follows the
  // slider until the user moves it, and never stands below it.
  int32_t zoomTo = 0;
  std::string buffer = "0";  // metres around an area file's lines and points
  friend bool operator==(const TForm1Entries&, const TForm1Entries&) = default;
};

// What the source selector knows of a source (the full source is read again
// when it is used: the file may have changed).
struct SourceListing {
  std::string name;
  int32_t minZoom = 0;
  int32_t maxZoom = 0;
  std::string attribution;  // with the terms' limit, when they forbid bulk downloading
  std::string termsUrl;
};

// Progress of the running task, refreshed every tick; after the close the
// run's summary, until the next Start.
struct TForm1Progress {
  int32_t ProgressBar1Max = 0;
  int32_t ProgressBar1Position = 0;
  std::string LabelProgress;
};

// What the main window shows besides the entries and the logs.
struct TForm1Face {
  std::string Caption;
  std::vector<std::string> comboMapsTypeItems;
  int32_t TrackBar1Min = 0;
  int32_t TrackBar1Max = 10;
  std::string TrackBar1Hint;
  std::string Label8;
  // The task's area (Area... or the picker): its name, or kNoAreaText. While
  // one is set, the four coordinate entries hold its bounds; typing over them
  // goes back to the rectangle.
  std::string LabelArea;
  std::string LabelTotalxy;
  // What the entries would start: the tile count and size, or why Start would refuse.
  std::string LabelEstimate;
  std::string BitBtn1Caption;
  // The source selector: TForm1::kNoSourceText (the configured server), then
  // the sources by name. Under it the chosen source's attribution, its terms
  // link, and what the last Test or "Add source..." said.
  std::vector<std::string> sourceItems;
  std::string LabelSourceAttribution;
  std::string SourceTermsUrl;
  std::string LabelSourceStatus;
  bool ButtonTestSourceEnabled = false;
  bool ButtonAddSourceEnabled = true;
  TForm1Progress progress;
  // Set only in a Draw after the logic changed the entries.
  std::optional<TForm1Entries> entries;
};

// What a front end shows of the main window. The logic calls these on the
// GUI thread after it changed what they show.
class TForm1View {
 public:
  virtual ~TForm1View() = default;
  virtual void Draw(const TForm1Face& /*face*/) {}
  // A tick: only the progress moved.
  virtual void ProgressChanged(const TForm1Progress& /*progress*/) {}
  virtual void Memo1Appended(const std::string& /*line*/, LogLineKind /*kind*/) {}
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
  // Exit1Click has saved a running task's progress; the front end ends now
  // (see SaveProgressForExit).
  virtual void ExitRequested() {}
};

// The main window: task entries, Start/Stop and the menus. A Start builds a
// TaskRun, which owns the running task; the window draws what the run tells
// it. Everything runs serialised with the run (see TaskRun.h's hand-over rule).
class TForm1 : private TaskRunObserver {
 public:
  static constexpr const char* kStartCaption = "Start";
  static constexpr const char* kStopCaption = "Stop";
  // The views keep only their newest lines; the files hold every line.
  static constexpr std::size_t kShownLines = TaskRun::kViewLines;
  // The thread-count arrows' range.
  static constexpr int32_t UpDown2Min = 1;
  static constexpr int32_t UpDown2Max = kMaxWorkers;

  // configPathOverride replaces the configuration file's usual place when set.
  explicit TForm1(Platform& platform, std::string configPathOverride = {}, TaskRunOptions runOptions = {});
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  void SetView(TForm1View* view) { view_ = view; }

  static constexpr const char* kApplicationCaption = "Quarnel";
  static constexpr const char* StatusBar1Text = "Download map images from OpenStreet Maps.";
  static constexpr const char* Button1Hint = "Click to select path";
  // "Save tiles in:": the choice's items, a folder (index 0) or one file (1).
  static constexpr const char* kStorageLabel = "Save tiles in:";
  static constexpr const char* kStorageItems[] = {"a folder", "one file"};
  // The item shown for the entries' storage; nullopt shows the folder.
  static int StorageIndex(const std::optional<TileStorage>& storage) { return storage == TileStorage::File ? 1 : 0; }
  static TileStorage StorageAt(int index) { return index == 1 ? TileStorage::File : TileStorage::Folder; }
  static constexpr const char* Memo1Hint = "Double click to view log in notepad";
  static constexpr const char* kNoAreaText = "the rectangle";
  static constexpr const char* kNoSourceText = "Configured server ([Hosts])";
  static constexpr const char* kAddSourceQuestion =
      "A TileJSON, a WMTS capabilities document, a QGIS connections file, or a tile address copied from a browser:";
  static constexpr const char* kSourceFileFilter =
      "Source documents (*.json *.xml *.txt)|*.json;*.xml;*.txt|All files (*)|*";
  static constexpr const char* kAreaFileFilter =
      "Vector files (*.geojson *.json *.kml *.kmz *.gpx *.shp *.gpkg *.fgb)|"
      "*.geojson;*.json;*.kml;*.kmz;*.gpx;*.shp;*.gpkg;*.fgb|All files (*)|*";

  // ---- What the window shows.
  const TForm1Face& Face() const { return face_; }
  // The entries as the logic last took or set them.
  const TForm1Entries& Entries() const { return entries_; }
  // What a Start would be given: the entries with the window's area.
  TaskEntries StartEntries() const;
  const MemoLines& Memo1() const { return memo1_; }
  const MemoLines& Memo2() const { return memo2_; }
  bool Timer1Enabled() const { return timer1Enabled_; }
  // The configuration file in use (set by FormShow, or by the first Start).
  const std::string& ConfigPath() const { return configPath_; }

  // ---- Handlers. Those given entries take them as the user left them.
  void FormShow();
  void comboMapsTypeChange(const TForm1Entries& entries);
  void TrackBar1Change(const TForm1Entries& entries);
  void ZoomToChange(const TForm1Entries& entries);
  void Button1Click(const TForm1Entries& entries);
  void BitBtn1Click(const TForm1Entries& entries);
  void Timer1Timer();
  // An entry was edited: the estimate follows it.
  void EntriesChanged(const TForm1Entries& entries);
  // "Estimate from the server": the estimate line shows the size of a few
  // sample tiles, fetched in the background, until the entries change.
  void EstimateFromServerClick(const TForm1Entries& entries);
  bool EstimatingFromServer() const { return serverEstimate_.Running(); }
  // Tile sources (TForm1Sources.cpp). A source was chosen: entries.task.source,
  // empty for the configured server. The zoom slider and "to" keep to its range.
  void SourceChange(const TForm1Entries& entries);
  // "Add source...": a file or an address, read in the background; each
  // source it gives joins the user's, and a single one is chosen.
  void AddSourceClick(const TForm1Entries& entries);
  // "Test": one tile of the chosen source, fetched in the background; the
  // status line says what came.
  void TestSourceClick(const TForm1Entries& entries);
  void SourceTermsClick() { platform_.ShellOpen(face_.SourceTermsUrl); }
  bool SourceJobRunning() const { return sourceJob_.Running(); }
  // "Open task ...": runs the file dialog, then LoadProjectFile.
  void LoadParametersfromprojectfilel1Click(const TForm1Entries& entries);
  void Button4Click(const TForm1Entries& entries) { LoadParametersfromprojectfilel1Click(entries); }
  // The project-file reader for a file already chosen.
  void LoadProjectFile(const TForm1Entries& entries, const std::string& path);
  // "Area...": a vector file, its lines and points widened by the buffer's
  // metres, becomes the task's area (imported through quarnel-area-import).
  void AreaButtonClick(const TForm1Entries& entries);
  // The buffer entry was left: a new buffer widens the area file anew
  // (Start does the same for a buffer typed just before it).
  void BufferChanged(const TForm1Entries& entries);
  // Makes area the task's (the picker's OK does too): the coordinate entries
  // become its bounds; name is what LabelArea shows. Null goes back to the rectangle.
  void SetArea(const TForm1Entries& entries, std::shared_ptr<const Area> area, const std::string& name);
  // The area a Start would use: the one set, while the entries hold its bounds.
  std::shared_ptr<const Area> CurrentArea() const;
  // The last level a Start would run: the slider's while "to" follows it.
  int32_t LastZoom() const {
    const int32_t zoom = entries_.task.zoom;
    return entries_.zoomTo == zoomFollowed_ ? zoom : std::max(entries_.zoomTo, zoom);
  }

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
  // task runs. The front end then calls EndRun.
  void SaveProgressForExit();
  // Stops the set-up and the workers and waits for them, serving their
  // reports meanwhile; no next level starts. The destructor calls it too.
  void EndRun();

  // ---- The current run: null before the first Start; kept after its close.
  TaskRun* Run() { return run_.get(); }
  const TaskRun* Run() const { return run_.get(); }
  // Started and not yet closed (preparing its files, running, stopping or exiting).
  bool TaskRunning() const {
    return preparing_ || levelPending_ || (run_ && run_->CurrentState() != TaskRun::State::Idle);
  }
  // Its files are being written; Stop cancels that.
  bool TaskPreparing() const { return preparing_ != nullptr; }
  int32_t RunningWorkers() const { return run_ ? run_->RunningWorkers() : 0; }
  int32_t TickCount() const { return run_ ? run_->Ticks() : 0; }
  int64_t TilesOkThisRun() const { return run_ ? run_->Counts().saved : 0; }
  int64_t TilesFailedThisRun() const { return run_ ? run_->Counts().failed : 0; }
  int32_t TotalTiles() const { return run_ ? run_->Task().TotalTiles : 0; }
  const DownloadTask* Task() const { return run_ ? &run_->Task() : nullptr; }
  const TaskParameters* Parameters() const { return run_ ? &run_->Parameters() : nullptr; }

 private:
  // A Start over a zoom range: one task per level, run one after the other (TForm1Levels.cpp).
  struct LevelRange {
    std::vector<TaskParameters> levels;  // checked at Start, lowest level first
    std::size_t current = 0;
    int64_t total = 0;         // tiles of every level
    int64_t doneEarlier = 0;   // tiles of the levels before the current one
    int64_t failedEarlier = 0;
  };

  void Start();
  void StartRun(std::unique_ptr<TaskRun> run);
  void Prepared(const std::optional<std::string>& error);
  void StartLevels(const TaskEntries& entries);
  void StartLevel();
  void NextLevel();
  // A closed level hands over to the next; false when the range ends here.
  bool LevelClosed(const RunCounts& counts, const std::string& firstError);
  std::string LevelText() const;
  void ShowRangeProgress(const RunCounts& counts);
  void UpdateEstimate();

  // TaskRunObserver
  void LogLoaded(std::vector<std::string> lines) override;
  void FailedLoaded(std::vector<std::string> lines) override;
  void LogLineAdded(const std::string& line, LogLineKind kind) override;
  void FailedLineAdded(const std::string& line) override;
  void TimerOff() override;
  void Closed(const RunCounts& counts, const std::string& firstError) override;

  void Take(const TForm1Entries& entries);
  void SetAreaOf(std::shared_ptr<const Area> area, const std::string& name);
  // Area... with the buffer entry; false (and a message) when it refuses.
  bool ImportArea(std::string file);  // a copy: it may be areaFile_ itself
  // Whether the area file's area was widened by the buffer now typed; if not, it is imported again.
  bool BufferApplied();
  void SelectMapType();
  // The slider's limits: the chosen source's zoom range, else the map type's; the entries kept inside.
  void KeepZoomInRange();
  void FollowSlider();
  // TForm1Sources.cpp
  void ListSources();
  // An opened task keeps its own source: listed as the project file holds it when the folders no longer do.
  void ListTaskSource(const TileSource& source);
  const SourceListing* ChosenSource() const;
  void ShowChosenSource();
  void SourcesImported(const SourceImport& import);
  void SourceTested(const std::string& name, const std::string& sentence);
  void NotifyControls();
  std::string EstimateKey() const;
  void ShowProgress();
  std::string ExecutableFolder();
  // The project file the save folder and task name entries name, when it exists.
  std::optional<std::string> NamedTask() const;
  std::vector<std::string> WindowTaskArguments() const;
  bool OfferedExistingTask();

  Platform& platform_;
  std::string configPathOverride_;
  TForm1View* view_ = nullptr;
  TForm1Face face_;
  TForm1Entries entries_;
  TForm1Entries handed_;  // as the view last handed or was given them
  MemoLines memo1_{kShownLines, {"[log window]"}};
  MemoLines memo2_{kShownLines, {"[Failed tile inforamtion window]"}};
  bool timer1Enabled_ = false;
  std::string configPath_;
  std::string defaultPath_;  // where the file dialogs open
  TaskRunOptions runOptions_;
  std::unique_ptr<TaskRun> run_;
  std::unique_ptr<TaskRun> preparing_;  // the next run while its files are written
  std::unique_ptr<TaskRun> retired_;    // a set-up that failed; freed at the next Start
  ServerEstimate serverEstimate_{platform_};

  std::shared_ptr<const Area> area_;
  TaskEntries areaBounds_;     // the coordinate texts of area_'s bounds
  std::string areaFile_;       // the file of an area set by Area..., else empty
  std::string areaBuffer_;     // the buffer text it was widened by
  int32_t zoomFollowed_ = 0;   // the slider position "to" last followed
  std::optional<LevelRange> levels_;
  bool levelPending_ = false;  // a level closed; the next one starts from the GUI thread's queue
  bool stopRequested_ = false;
  std::string estimateKey_;    // what LabelEstimate was worked out for
  std::string totalKey_;       // what LabelTotalxy counts
  std::shared_ptr<const int> alive_ = std::make_shared<const int>(0);  // for routines queued to later
  std::vector<SourceListing> sources_;  // as the selector lists them
  BackgroundJob sourceJob_{platform_};  // last: gone before anything its routines use
};
