#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A program run by a test: started with posix_spawn, its stdout and stderr
// going to files, ended by itself or by a signal the test sends.

struct ChildResult {
  bool exited = false;    // ended by itself; exitCode is valid
  int exitCode = -1;
  int signal = 0;         // the signal that ended it, when it did not exit
  bool timedOut = false;  // killed by the safety limit
  long maxRssKb = 0;      // peak resident memory of the process (ru_maxrss)
  double seconds = 0;
  std::string out;
  std::string err;

  std::string Describe() const;  // "exit 1" or "signal 9 (safety limit)"
};

class ChildProcess {
 public:
  // outPath and errPath receive the program's stdout and stderr.
  ChildProcess(const std::vector<std::string>& argv, std::string outPath, std::string errPath);
  ~ChildProcess();  // kills and reaps a child still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  double SecondsRunning() const;
  void Signal(int signal);
  // Whether the child has ended; reaps it when it has.
  bool Ended();
  // Waits for the end; past the safety limit the child is killed with SIGKILL.
  ChildResult Wait(std::chrono::seconds safetyLimit);

 private:
  void Reap(int options);

  pid_t pid_ = -1;
  std::string outPath_;
  std::string errPath_;
  std::chrono::steady_clock::time_point started_;
  bool reaped_ = false;
  ChildResult result_;
};

// Starts, waits (with a safety limit) and collects; the output files go in
// scratchFolder, which ends with "/".
ChildResult RunChild(const std::vector<std::string>& argv, const std::string& scratchFolder,
                     std::chrono::seconds safetyLimit);
