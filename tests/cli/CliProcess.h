#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// quarnel-cli (or another program) as a child process with its stdout and
// stderr captured.
// The limits are guards against a hung child, not measurements.
class CliProcess {
 public:
  struct Result {
    int status = -1;  // the exit status, or 128 + signal when killed
    std::string out;
    std::string err;
  };

  explicit CliProcess(const std::vector<std::string>& args);  // QUARNEL_CLI
  CliProcess(const std::string& program, const std::vector<std::string>& args);
  ~CliProcess();  // a child still running is killed
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  // Reads output until stdout holds `text`; false when the child ended or the limit passed first.
  bool WaitForStdout(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(30));
  void Signal(int signal);
  pid_t Pid() const { return pid_; }
  // Reads to the end of both streams and waits for the child.
  Result Finish(std::chrono::seconds limit = std::chrono::seconds(60));

  static Result Run(const std::vector<std::string>& args) { return CliProcess(args).Finish(); }

 private:
  // Reads what is available within `waitMs`; false once both streams are closed.
  bool Pump(int waitMs);

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  Result result_;
  bool finished_ = false;
};

// Polls `condition` every few milliseconds until it holds or the guard passes.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::seconds limit = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    struct timespec pause {0, 2'000'000};
    ::nanosleep(&pause, nullptr);
  }
  return true;
}
