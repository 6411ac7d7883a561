#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <string>

#include "Platform.h"

// The Platform operations that need only Qt Core: the 1000 ms timer, the
// blocking hand-over from workers to the GUI thread, the local time and the
// executable's folder. Each front end adds its own messages, dialogs and shell.
class QtCorePlatform : public Platform {
 public:
  QtCorePlatform();
  ~QtCorePlatform() override;

  // What a timer tick runs; errors escaping it reach ShowError.
  void SetTickHandler(std::function<void()> handler);

  void SetTimerEnabled(bool enabled) override;
  bool TimerEnabled() const;
  void RunOnGuiThread(const std::function<void()>& routine) override;
  void PostToGuiThread(std::function<void()> routine) override;
  // Pumps the event loop, user input left waiting.
  void ServeUntil(const std::function<bool()>& done) override;
  std::string NowText() override;
  std::string ExecutableFolder() override;

  // Runs the tick handler now, outside the timer's rhythm.
  void TickNow() { Tick(); }

  // Runs a handler; an error escaping it is shown with ShowError and goes no further.
  // Returns false when it failed.
  bool RunGuarded(const std::function<void()>& handler);

 private:
  void Tick();

  // Lives on the GUI thread; queued calls are delivered through it.
  QObject guiContext_;
  QTimer timer_;
  std::function<void()> tickHandler_;
  bool inTick_ = false;
};
