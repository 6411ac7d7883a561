#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "Ftl.h"
#include "MemoLines.h"
#include "Platform.h"

// What a front end mirrors of the re-download window.
class TForm4View {
 public:
  virtual ~TForm4View() = default;
  virtual void Memo1Appended(const std::string& /*line*/) {}
  // LabelProgress or the run state (Running) changed.
  virtual void ProgressChanged() {}
};

// The re-download window: fetches every entry of a failed-tile list again,
// on the workers' own road (their classifier, repeats, waits and checks).
// Its text area is never cleared; each run's lines follow the earlier ones.
// The saved entries then leave the list, unless the task running in this
// window is still growing that list.
class TForm4 {
 public:
  explicit TForm4(Platform& platform, std::string configPathOverride = {});
  // Stops a run under way and waits for its entry in hand.
  ~TForm4();
  TForm4(const TForm4&) = delete;
  TForm4& operator=(const TForm4&) = delete;

  void SetView(TForm4View* view) { view_ = view; }
  // Whether a list is the one the window's running task still appends to.
  void SetListInUse(std::function<bool(const std::string& listPath)> inUse) { listInUse_ = std::move(inUse); }

  std::string Caption = "Form4";
  static constexpr const char* Button1Caption = "Open ftl files";
  static constexpr const char* StopButtonCaption = "Stop";
  MemoLines Memo1{"Memo1"};
  std::string LabelProgress;  // "3 of 40 entries" while a run goes on; its summary after

  // "Open ftl files": runs the file dialog, then StartRedownload.
  void Button1Click();
  // Fetches the list's entries on a thread of its own, so a wait never
  // freezes the window; lines and progress come through PostToGuiThread.
  // False (and nothing started) while a run is under way.
  bool StartRedownload(const std::string& listPath);
  // "Stop": the run ends after the entry in hand.
  void StopClick();
  bool Running() const { return running_; }

  // The re-download of a list already chosen, on this thread (the command line's redownload).
  RedownloadResult RedownloadList(const std::string& listPath);

 private:
  void AppendLine(const std::string& line);
  void Finished(const RedownloadResult& result, bool rewritten);
  void ShowProgress();

  Platform& platform_;
  std::string configPathOverride_;
  TForm4View* view_ = nullptr;
  std::function<bool(const std::string&)> listInUse_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  // Posted routines run only while the window lives.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  bool running_ = false;
  int64_t entries_ = 0;
  int64_t settled_ = 0;
};
