#pragma once

#include <QPointer>
#include <QWidget>

#include "QtCorePlatform.h"

// The Platform on Qt Widgets: message boxes titled with the application's
// title, Qt's file and folder dialogs, and the desktop's "open".
class GuiPlatform : public QtCorePlatform {
 public:
  // Boxes and dialogs are shown over this window once it exists.
  void SetParentWindow(QWidget* window) { parent_ = window; }

  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
  bool AskYesNo(const std::string& question) override;
  std::optional<std::string> OpenFileDialog(const std::string& title, const std::string& filter,
                                            const std::string& startFolder) override;
  std::optional<std::string> BrowseForFolder(const std::string& title) override;
  std::optional<std::string> AskForText(const std::string& question, const std::string& fileFilter) override;
  void ShellOpen(const std::string& target) override;
  void ShellOpenFile(const std::string& path, std::function<void()> noProgram) override;
  void StartProgram(const std::string& path, const std::vector<std::string>& arguments) override;

 private:
  QWidget* DialogParent() const;

  QPointer<QWidget> parent_;
};
