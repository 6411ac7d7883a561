#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>

// SIGINT delivered into the event loop: the handler only writes a byte to a
// pipe, and the notifier runs the callback on the GUI thread, where the
// windows' logic may be touched. One instance per process.
class InterruptSignal : public QObject {
 public:
  explicit InterruptSignal(std::function<void()> onInterrupt);
  ~InterruptSignal() override;

 private:
  void Drain();

  std::function<void()> onInterrupt_;
  QSocketNotifier* notifier_ = nullptr;
};
