#pragma once

#include <string>

#include "Ftl.h"
#include "MemoLines.h"
#include "Platform.h"

// What a front end mirrors of the re-download window.
class TForm4View {
 public:
  virtual ~TForm4View() = default;
  virtual void Memo1Appended(const std::string& /*line*/) {}
};

// The re-download window: fetches every entry of a failed-tile list again.
// Its text area is never cleared; each run's lines follow the earlier ones.
class TForm4 {
 public:
  explicit TForm4(Platform& platform, std::string configPathOverride = {});

  void SetView(TForm4View* view) { view_ = view; }

  std::string Caption = "Form4";
  static constexpr const char* Button1Caption = "Open ftl files";
  MemoLines Memo1{"Memo1"};

  // "Open ftl files": runs the file dialog, then RedownloadList.
  void Button1Click();
  // The re-download of a list already chosen (the command line's redownload).
  RedownloadResult RedownloadList(const std::string& listPath);

 private:
  Platform& platform_;
  std::string configPathOverride_;
  TForm4View* view_ = nullptr;
};
