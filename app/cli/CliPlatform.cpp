#include "CliPlatform.h"

#include <unistd.h>

#include <QCoreApplication>

#include <cerrno>
#include <chrono>
#include <thread>

void CliPlatform::RunOnGuiThread(const std::function<void()>& routine) {
  const auto lock = LockGui();
  RunGuarded(routine);
}

void CliPlatform::ServeUntil(const std::function<bool()>& done) {
  while (!done()) {
    QCoreApplication::processEvents();  // a signal among them: a second Ctrl+C still ends at once
    guiMutex_.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    guiMutex_.lock();
  }
}

void CliPlatform::WriteStderr(const std::string& text) {
  if (beforeStderr_) beforeStderr_();
  const std::string line = text + "\n";
  std::size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(STDERR_FILENO, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    written += static_cast<std::size_t>(n);
  }
}

void CliPlatform::ShowMessage(const std::string& text) {
  ++messagesShown_;
  lastMessage_ = text;
  WriteStderr(text);
}

void CliPlatform::ShowError(const std::string& text) {
  ++errorsShown_;
  WriteStderr(text);
}

std::optional<std::string> CliPlatform::OpenFileDialog(const std::string&, const std::string&,
                                                       const std::string&) {
  std::optional<std::string> answer = std::move(nextFile_);
  nextFile_.reset();
  return answer;
}

std::optional<std::string> CliPlatform::BrowseForFolder(const std::string&) { return std::nullopt; }

void CliPlatform::ShellOpen(const std::string&) {}

void CliPlatform::StartProgram(const std::string&, const std::vector<std::string>&) {}
