#pragma once

// A Platform for the logic tests: records what the window shows and opens,
// answers dialogs from prepared values, and runs the workers' reports only
// when the test pumps them on its own (the GUI) thread.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Platform.h"

struct DialogCall {
  std::string title;
  std::string filter;
  std::string startFolder;
};

class FakePlatform : public Platform {
 public:
  explicit FakePlatform(std::string executableFolder = "/nonexistent/quarnel/")
      : executableFolder_(std::move(executableFolder)), guiThread_(std::this_thread::get_id()) {}

  // What the window did, in order ("message: ...", "error: ...").
  std::vector<std::string> events;
  std::vector<std::string> messages;
  std::vector<std::string> errors;
  std::vector<std::string> shellOpened;
  std::vector<std::string> programsStarted;
  std::vector<DialogCall> fileDialogs;
  std::vector<std::string> folderDialogs;
  bool timerEnabled = false;
  std::optional<std::string> nextFile;    // answer of the next file-open dialog
  std::optional<std::string> nextFolder;  // answer of the next folder dialog
  std::optional<std::string> nextText;    // answer of the next text question
  std::vector<std::string> textQuestions;
  std::string now = "2024-05-06 07:08:09";
  // Called with each message as it is shown, to look at the window at that moment.
  std::function<void(const std::string&)> onMessage;

  void ShowMessage(const std::string& text) override {
    messages.push_back(text);
    events.push_back("message: " + text);
    if (onMessage) onMessage(text);
  }
  void ShowError(const std::string& text) override {
    errors.push_back(text);
    events.push_back("error: " + text);
  }
  void SetTimerEnabled(bool enabled) override { timerEnabled = enabled; }

  void RunOnGuiThread(const std::function<void()>& routine) override {
    if (std::this_thread::get_id() == guiThread_) {
      routine();
      return;
    }
    auto report = std::make_shared<Report>();
    report->routine = &routine;
    std::unique_lock<std::mutex> lock(mutex_);
    queue_.push_back(report);
    changed_.notify_all();
    changed_.wait(lock, [&] { return report->done; });
  }

  // Queued like a worker's report, but the caller goes on at once.
  void PostToGuiThread(std::function<void()> routine) override {
    auto report = std::make_shared<Report>();
    report->owned = std::move(routine);
    report->routine = &report->owned;
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(report);
    changed_.notify_all();
  }

  // Bytes free on every disk; unset: the real figure.
  std::optional<int64_t> freeDiskBytes;
  int64_t FreeDiskBytes(const std::string& path) override {
    return freeDiskBytes ? *freeDiskBytes : Platform::FreeDiskBytes(path);
  }
  // Answers of AskYesNo, in order; No once they are used up. Questions asked are kept.
  std::deque<bool> answers;
  std::vector<std::string> questions;
  bool AskYesNo(const std::string& question) override {
    questions.push_back(question);
    events.push_back("question: " + question);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::optional<std::string> OpenFileDialog(const std::string& title, const std::string& filter,
                                            const std::string& startFolder) override {
    fileDialogs.push_back({title, filter, startFolder});
    return std::exchange(nextFile, std::nullopt);
  }
  std::optional<std::string> AskForText(const std::string& question, const std::string& /*fileFilter*/) override {
    textQuestions.push_back(question);
    return std::exchange(nextText, std::nullopt);
  }
  std::optional<std::string> BrowseForFolder(const std::string& title) override {
    folderDialogs.push_back(title);
    return std::exchange(nextFolder, std::nullopt);
  }
  void ShellOpen(const std::string& target) override { shellOpened.push_back(target); }
  // When set, ShellOpenFile finds no program for the file.
  bool noProgramForFiles = false;
  void ShellOpenFile(const std::string& path, std::function<void()> noProgram) override {
    shellOpened.push_back(path);
    if (noProgramForFiles) noProgram();
  }
  void StartProgram(const std::string& path, const std::vector<std::string>& arguments) override {
    std::string line = path;
    for (const std::string& word : arguments) line += " " + word;
    programsStarted.push_back(line);
  }
  std::string NowText() override { return now; }
  std::string ExecutableFolder() override { return executableFolder_; }

  void ServeUntil(const std::function<bool()>& done) override { PumpUntil(done); }

  // Runs waiting reports on this thread until done() holds; false when it
  // still does not hold after a generous safety limit (a hung test, not a timing).
  bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::shared_ptr<Report> report;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(2), [&] { return !queue_.empty(); });
        if (queue_.empty()) continue;
        report = queue_.front();
        queue_.pop_front();
      }
      (*report->routine)();
      std::lock_guard<std::mutex> lock(mutex_);
      report->done = true;
      changed_.notify_all();
    }
    return true;
  }

  // Waits, without running anything, until this many reports are waiting.
  bool WaitForPendingReports(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return queue_.size() >= count; });
  }

 private:
  struct Report {
    const std::function<void()>* routine = nullptr;
    std::function<void()> owned;  // a posted routine lives here
    bool done = false;
  };

  std::string executableFolder_;
  std::thread::id guiThread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Report>> queue_;
};
