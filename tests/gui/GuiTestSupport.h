#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>
#include <string>

#include "TestFiles.h"

struct SeenMessageBox {
  QString title;
  QString text;
  bool seen = false;
};

// Runs an action that shows a modal message box; the box is read and closed
// as soon as it is up, so the test never waits on a user.
inline SeenMessageBox RunExpectingMessageBox(const std::function<void()>& action) {
  SeenMessageBox seen;
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      seen = {box->windowTitle(), box->text(), true};
      box->done(QMessageBox::Ok);
    }
  });
  poll.start();
  action();
  poll.stop();
  return seen;
}
