#include "AreaImport.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "AreaGeoJson.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr const char* kScratchPrefix = "quarnel-area-";

// The folder a killed import left: "quarnel-area-<pid>-XXXXXX" of this user,
// whose process is gone. Anything else in the temporary folder is not ours.
bool IsStaleScratch(const fs::path& folder) {
  const std::string name = folder.filename().string();
  if (!name.starts_with(kScratchPrefix)) return false;
  const std::string rest = name.substr(std::string_view(kScratchPrefix).size());
  const auto dash = rest.find('-');
  if (dash == 0 || dash == std::string::npos || rest.size() != dash + 7) return false;
  long pid = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + dash, pid);
  if (error != std::errc() || end != rest.data() + dash || pid <= 0) return false;
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) return false;
  return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

void SweepStaleScratch(const fs::path& temp) {
  std::error_code error;
  for (fs::directory_iterator it(temp, error), end; !error && it != end; it.increment(error)) {
    std::error_code ignored;
    if (IsStaleScratch(it->path())) fs::remove_all(it->path(), ignored);
  }
}

// A folder of its own for the program's output, gone with this object.
class ScratchOutput {
 public:
  ScratchOutput() {
    const fs::path temp = fs::temp_directory_path();
    SweepStaleScratch(temp);
    std::string pattern = (temp / (kScratchPrefix + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr)
      throw AreaImportError(std::string("Cannot make a temporary folder for the area: ") + std::strerror(errno));
    folder_ = pattern;
  }
  ~ScratchOutput() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  ScratchOutput(const ScratchOutput&) = delete;
  ScratchOutput& operator=(const ScratchOutput&) = delete;
  std::string File() const { return (folder_ / "area.geojson").string(); }

 private:
  fs::path folder_;
};

// While the program runs, a SIGINT, SIGTERM or SIGHUP that would end this
// process at once (a Ctrl+C before the CLI's own handling is set up) ends the
// program instead; the scratch folder is removed, then the signal is raised
// again with its old handling, so the process ends as it would have.
// Signals that someone else handles are left to them.
volatile sig_atomic_t gChild = 0;
volatile sig_atomic_t gCaught = 0;

void KillChild(int signal) {
  gCaught = signal;
  if (gChild > 0) ::kill(static_cast<pid_t>(gChild), SIGKILL);
}

class InterruptGuard {
 public:
  InterruptGuard() {
    gCaught = 0;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
      struct sigaction current {};
      ::sigaction(kSignals[i], nullptr, &current);
      if (current.sa_handler != SIG_DFL) continue;
      struct sigaction action {};
      action.sa_handler = KillChild;
      sigemptyset(&action.sa_mask);
      installed_[i] = ::sigaction(kSignals[i], &action, &old_[i]) == 0;
    }
  }
  ~InterruptGuard() {
    gChild = 0;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
      if (installed_[i]) ::sigaction(kSignals[i], &old_[i], nullptr);
    if (gCaught != 0) ::raise(gCaught);
  }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
  void Watch(pid_t child) {
    gChild = child;
    if (gCaught != 0) ::kill(child, SIGKILL);
  }

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction old_[std::size(kSignals)] {};
  bool installed_[std::size(kSignals)] = {};
};

std::string BufferText(double metres) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, metres).ptr;
  return std::string(text, end);
}

// The program's message, without its name and trailing line ends.
std::string MessageOf(std::string text, const std::string& program) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  const std::string name = fs::path(program).filename().string() + ": ";
  if (text.starts_with(name)) text.erase(0, name.size());
  if (const auto usage = text.find("\nUsage:"); usage != std::string::npos) text.resize(usage);
  return text;
}

}  // namespace

Area ImportAreaFileThrough(const std::string& program, const std::string& file, double bufferMetres) {
  RefuseSpecialFile(file, "The file " + file);
  // Declared first, so that it raises a caught signal only after the folder is gone.
  InterruptGuard interrupt;
  ScratchOutput output;
  // Absolute, so that no file name is taken for an option.
  const std::string input = fs::absolute(file).string();
  const std::string buffer = BufferText(bufferMetres);
  const std::string out = output.File();
  std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>(input.c_str()),
                             const_cast<char*>("--buffer"), const_cast<char*>(buffer.c_str()),
                             const_cast<char*>(out.c_str()), nullptr};

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw AreaImportError(std::string("Cannot run ") + program);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    throw AreaImportError("Cannot run " + program + ": " + std::strerror(spawned));
  }
  interrupt.Watch(pid);

  std::string message;
  char chunk[4096];
  for (ssize_t n; (n = ::read(pipeFds[0], chunk, sizeof chunk)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (message.size() < 65536) message.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }

  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return ReadAreaGeoJson(out);
  const std::string said = MessageOf(message, program);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 2) throw AreaError(said);
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU)
    throw AreaImportError(program + " gave up on " + input + ": reading it took more processor time than allowed");
  throw AreaImportError(program + " failed on " + input + (said.empty() ? std::string() : ": " + said));
}
