#include "CliProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

CliProcess::CliProcess(const std::vector<std::string>& args) : CliProcess(QUARNEL_CLI, args) {}

CliProcess::CliProcess(const std::string& programPath, const std::vector<std::string>& args) {
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  std::vector<char*> argv;
  std::string program = programPath;
  argv.push_back(program.data());
  std::vector<std::string> copies = args;
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  outFd_ = out[0];
  errFd_ = err[0];
}

CliProcess::~CliProcess() {
  if (!finished_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (outFd_ >= 0) ::close(outFd_);
  if (errFd_ >= 0) ::close(errFd_);
}

bool CliProcess::Pump(int waitMs) {
  pollfd fds[2];
  nfds_t count = 0;
  std::string* sinks[2];
  int* owners[2];
  if (outFd_ >= 0) {
    fds[count] = {outFd_, POLLIN, 0};
    sinks[count] = &result_.out;
    owners[count++] = &outFd_;
  }
  if (errFd_ >= 0) {
    fds[count] = {errFd_, POLLIN, 0};
    sinks[count] = &result_.err;
    owners[count++] = &errFd_;
  }
  if (count == 0) return false;
  if (::poll(fds, count, waitMs) < 0 && errno != EINTR) return false;
  for (nfds_t i = 0; i < count; ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buffer[65536];
    const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
    if (n > 0) {
      sinks[i]->append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      ::close(*owners[i]);
      *owners[i] = -1;
    }
  }
  return outFd_ >= 0 || errFd_ >= 0;
}

bool CliProcess::WaitForStdout(const std::string& text, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (result_.out.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline || !Pump(50)) return result_.out.find(text) != std::string::npos;
  }
  return true;
}

void CliProcess::Signal(int signal) { ::kill(pid_, signal); }

CliProcess::Result CliProcess::Finish(std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (Pump(50)) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      break;
    }
  }
  int status = 0;
  ::waitpid(pid_, &status, 0);
  finished_ = true;
  result_.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result_;
}
