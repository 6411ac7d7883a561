#pragma once

#include <functional>
#include <mutex>
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

  // Without a display nothing has to run on the main thread itself: a
  // worker's routine runs on the worker, under the lock that the main thread
  // holds for its own handlers. Routines still run one at a time and the
  // worker still waits for its own, without two thread switches per line.
  void RunOnGuiThread(const std::function<void()>& routine) override;
  void PostToGuiThread(std::function<void()> routine) override { RunOnGuiThread(routine); }
  // Called under the lock, held once, as a handler holds it: the lock is
  // let go between looks at done(), so the workers can run their routines.
  void ServeUntil(const std::function<bool()>& done) override;
  // What the main thread holds while it runs the window's handlers.
  std::unique_lock<std::recursive_mutex> LockGui() { return std::unique_lock(guiMutex_); }
  // RunGuarded under that lock.
  bool RunLocked(const std::function<void()>& handler) {
    const auto lock = LockGui();
    return RunGuarded(handler);
  }

  // A line on stderr that is neither a message nor an error.
  void WriteStderr(const std::string& text);

  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
  std::optional<std::string> OpenFileDialog(const std::string& title, const std::string& filter,
                                            const std::string& startFolder) override;
  std::optional<std::string> BrowseForFolder(const std::string& title) override;
  void ShellOpen(const std::string& target) override;
  void StartProgram(const std::string& path, const std::vector<std::string>& arguments) override;

 private:
  std::recursive_mutex guiMutex_;
  std::optional<std::string> nextFile_;
  std::function<void()> beforeStderr_;
  int messagesShown_ = 0;
  int errorsShown_ = 0;
  std::string lastMessage_;
};
