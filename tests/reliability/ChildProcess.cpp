#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "TestFiles.h"

extern char** environ;

std::string ChildResult::Describe() const {
  if (exited) return "exit " + std::to_string(exitCode);
  return "signal " + std::to_string(signal) + (timedOut ? " (safety limit)" : "");
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, std::string outPath,
                           std::string errPath)
    : outPath_(std::move(outPath)), errPath_(std::move(errPath)) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  // The child starts with default signal handling, whatever the test runner set.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all;
  sigfillset(&all);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  started_ = std::chrono::steady_clock::now();
  const int error = ::posix_spawn(&pid_, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::to_string(error));
}

ChildProcess::~ChildProcess() {
  if (reaped_) return;
  ::kill(pid_, SIGKILL);
  Reap(0);
}

double ChildProcess::SecondsRunning() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
}

void ChildProcess::Signal(int signal) {
  if (!reaped_) ::kill(pid_, signal);
}

void ChildProcess::Reap(int options) {
  int status = 0;
  rusage usage{};
  pid_t got;
  do {
    got = ::wait4(pid_, &status, options, &usage);
  } while (got < 0 && errno == EINTR);
  if (got != pid_) return;
  reaped_ = true;
  result_.seconds = SecondsRunning();
  result_.maxRssKb = usage.ru_maxrss;
  result_.exited = WIFEXITED(status);
  result_.exitCode = result_.exited ? WEXITSTATUS(status) : -1;
  result_.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

bool ChildProcess::Ended() {
  if (!reaped_) Reap(WNOHANG);
  return reaped_;
}

ChildResult ChildProcess::Wait(std::chrono::seconds safetyLimit) {
  const auto deadline = started_ + safetyLimit;
  while (!Ended()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      Reap(0);
      result_.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  result_.out = ReadFile(outPath_);
  result_.err = ReadFile(errPath_);
  return result_;
}

ChildResult RunChild(const std::vector<std::string>& argv, const std::string& scratchFolder,
                     std::chrono::seconds safetyLimit) {
  static std::atomic<int> counter{0};
  const std::string stem = scratchFolder + "child-" + std::to_string(counter++);
  ChildProcess child(argv, stem + ".out", stem + ".err");
  return child.Wait(safetyLimit);
}
