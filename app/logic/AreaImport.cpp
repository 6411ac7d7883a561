#include "AreaImport.h"

#include <fcntl.h>
#include <spawn.h>
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

// A folder of its own for the program's output, gone with this object.
class ScratchOutput {
 public:
  ScratchOutput() {
    std::string pattern = (fs::temp_directory_path() / "quarnel-area-XXXXXX").string();
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
  throw AreaImportError(program + " failed on " + input + (said.empty() ? std::string() : ": " + said));
}
