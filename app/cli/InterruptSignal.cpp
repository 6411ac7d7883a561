#include "InterruptSignal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace {

int pipeFds[2] = {-1, -1};
constexpr int kSignals[] = {SIGINT, SIGTERM};

void OnSignal(int signal) {
  const int savedErrno = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
  errno = savedErrno;
}

}  // namespace

InterruptSignal::InterruptSignal(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("Cannot create the signal pipe.");
  notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &InterruptSignal::Drain);

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kSignals) ::sigaction(signal, &action, nullptr);
}

InterruptSignal::~InterruptSignal() {
  for (int signal : kSignals) ::signal(signal, SIG_DFL);
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);
  pipeFds[0] = pipeFds[1] = -1;
}

void InterruptSignal::Drain() {
  unsigned char bytes[16];
  ssize_t n;
  while ((n = ::read(pipeFds[0], bytes, sizeof bytes)) > 0)
    for (ssize_t i = 0; i < n; ++i) onSignal_(bytes[i]);
}
