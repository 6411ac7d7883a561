#include "QtCorePlatform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QThread>

#include <exception>

QtCorePlatform::QtCorePlatform() {
  timer_.setInterval(1000);
  timer_.setTimerType(Qt::CoarseTimer);
  QObject::connect(&timer_, &QTimer::timeout, &guiContext_, [this] { Tick(); });
}

QtCorePlatform::~QtCorePlatform() = default;

void QtCorePlatform::SetTickHandler(std::function<void()> handler) { tickHandler_ = std::move(handler); }

void QtCorePlatform::SetTimerEnabled(bool enabled) {
  if (enabled)
    timer_.start();
  else
    timer_.stop();
}

bool QtCorePlatform::TimerEnabled() const { return timer_.isActive(); }

void QtCorePlatform::Tick() {
  // A tick that shows a modal box runs a nested event loop in which the
  // timer keeps firing; those ticks are dropped rather than nested.
  if (inTick_ || !tickHandler_) return;
  inTick_ = true;
  RunGuarded(tickHandler_);
  inTick_ = false;
}

void QtCorePlatform::RunOnGuiThread(const std::function<void()>& routine) {
  auto onGuiThread = [this, &routine] { RunGuarded(routine); };
  if (QThread::currentThread() == guiContext_.thread()) {
    onGuiThread();
    return;
  }
  QMetaObject::invokeMethod(&guiContext_, onGuiThread, Qt::BlockingQueuedConnection);
}

void QtCorePlatform::PostToGuiThread(std::function<void()> routine) {
  QMetaObject::invokeMethod(
      &guiContext_, [this, routine = std::move(routine)] { RunGuarded(routine); }, Qt::QueuedConnection);
}

void QtCorePlatform::ServeUntil(const std::function<bool()>& done) {
  QTimer wake;  // no wait outlasts a beat, whatever done() looks at
  wake.start(20);
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeUserInputEvents);
}

bool QtCorePlatform::RunGuarded(const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (const std::exception& e) {
    ShowError(e.what());
  } catch (...) {
    ShowError("Unknown error.");
  }
  return false;
}

std::string QtCorePlatform::NowText() {
  const QDateTime now = QDateTime::currentDateTime();
  const QLocale locale = QLocale::system();
  return (locale.toString(now.date(), QLocale::ShortFormat) + " " +
          locale.toString(now.time(), QLocale::LongFormat))
      .toStdString();
}

std::string QtCorePlatform::ExecutableFolder() {
  return (QCoreApplication::applicationDirPath() + "/").toStdString();
}
