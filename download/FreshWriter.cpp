#include "FreshWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "AtomicFile.h"

FreshWriter::FreshWriter(std::string path) : path_(std::move(path)) {
  thread_ = std::thread([this] { Run(); });
}

// The file is opened for the first lines: a server that sends no validators
// leaves none. A last line that a crash cut short gets its line end first.
bool FreshWriter::Open() {
  fd_.Reset(::open(path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
  if (!fd_) {
    std::lock_guard lock(mutex_);
    if (!problem_) problem_ = "Cannot open file " + path_ + ": " + std::strerror(errno);
    return false;
  }
  struct stat info {};
  char last = '\n';
  if (::fstat(fd_.Get(), &info) == 0 && info.st_size > 0 && ::pread(fd_.Get(), &last, 1, info.st_size - 1) == 1 && last != '\n')
    WriteAll("\n");
  return true;
}

FreshWriter::~FreshWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
  Drain();
  fd_.Reset();
}

void FreshWriter::AddLine(const std::string& line) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    if (problem_ || pending_.size() + line.size() > kMaxPendingBytes) {
      ++dropped_;
      return;
    }
    pending_ += line;
    wake = pending_.size() >= kWakeBytes;
  }
  if (wake) wake_.notify_one();
}

void FreshWriter::Add(const FreshRecord& record) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    const std::size_t before = pending_.size();
    if (!problem_) AppendFreshRecordLine(pending_, record);
    if (problem_ || pending_.size() > kMaxPendingBytes) {
      pending_.resize(before);
      ++dropped_;
      return;
    }
    wake = pending_.size() >= kWakeBytes;
  }
  if (wake) wake_.notify_one();
}

void FreshWriter::Flush() { Drain(); }

int64_t FreshWriter::Dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

std::optional<std::string> FreshWriter::Problem() const {
  std::lock_guard lock(mutex_);
  return problem_;
}

void FreshWriter::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stopping_ || pending_.size() >= kWakeBytes; });
    lock.unlock();
    Drain();
    lock.lock();
  }
}

void FreshWriter::Drain() {
  std::lock_guard order(writeMutex_);
  std::string bytes;
  {
    std::lock_guard lock(mutex_);
    bytes.swap(pending_);
  }
  if (bytes.empty() || (!fd_ && !Open())) return;
  WriteAll(bytes);
}

void FreshWriter::WriteAll(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      std::lock_guard lock(mutex_);
      if (!problem_) problem_ = "Cannot write to " + path_ + ": " + std::strerror(n < 0 ? errno : ENOSPC);
      return;
    }
    done += static_cast<std::size_t>(n);
  }
}
