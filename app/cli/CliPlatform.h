#pragma once

#include <functional>
#include <optional>
#include <string>

#include "QtCorePlatform.h"

// The Platform without a display: message boxes and error displays become
// lines on stderr, the file dialog answers with a file named on the command
// line, and nothing is opened or started.
class CliPlatform : public QtCorePlatform {
 public:
  // The next file-open dialog returns this path instead of asking.
  void AnswerNextFileDialog(std::string path) { nextFile_ = std::move(path); }
  // Runs before any text is written to stderr (to clear a progress line).
  void SetBeforeStderr(std::function<void()> hook) { beforeStderr_ = std::move(hook); }

  int MessagesShown() const { return messagesShown_; }
  int ErrorsShown() const { return errorsShown_; }
  const std::string& LastMessage() const { return lastMessage_; }

  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
  std::optional<std::string> OpenFileDialog(const std::string& title, const std::string& filter,
                                            const std::string& startFolder) override;
  std::optional<std::string> BrowseForFolder(const std::string& title) override;
  void ShellOpen(const std::string& target) override;
  void StartProgram(const std::string& path) override;

 private:
  void WriteStderr(const std::string& text);

  std::optional<std::string> nextFile_;
  std::function<void()> beforeStderr_;
  int messagesShown_ = 0;
  int errorsShown_ = 0;
  std::string lastMessage_;
};
