#include "InterruptSignal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace {

int pipeFds[2] = {-1, -1};

void OnSigint(int) {
  const int savedErrno = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
  errno = savedErrno;
}

}  // namespace

InterruptSignal::InterruptSignal(std::function<void()> onInterrupt) : onInterrupt_(std::move(onInterrupt)) {
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("Cannot create the signal pipe.");
  notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &InterruptSignal::Drain);

  struct sigaction action {};
  action.sa_handler = OnSigint;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
}

InterruptSignal::~InterruptSignal() {
  ::signal(SIGINT, SIG_DFL);
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);
  pipeFds[0] = pipeFds[1] = -1;
}

void InterruptSignal::Drain() {
  char bytes[16];
  ssize_t n;
  while ((n = ::read(pipeFds[0], bytes, sizeof bytes)) > 0)
    for (ssize_t i = 0; i < n; ++i) onInterrupt_();
}
