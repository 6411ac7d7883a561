#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>

// SIGINT and SIGTERM delivered into the event loop: the handler only writes
// the signal's number to a pipe, and the notifier runs the callback on the
// GUI thread, where the windows' logic may be touched. One instance per process.
class InterruptSignal : public QObject {
 public:
  explicit InterruptSignal(std::function<void(int signal)> onSignal);
  ~InterruptSignal() override;

 private:
  void Drain();

  std::function<void(int)> onSignal_;
  QSocketNotifier* notifier_ = nullptr;
};
