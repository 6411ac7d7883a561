#pragma once

#include <QApplication>

#include <functional>
#include <string>

// The message loop: an error escaping any event handler is shown with the
// standard error display, the handler is abandoned and the program goes on.
class QuarnelApplication : public QApplication {
  Q_OBJECT
 public:
  QuarnelApplication(int& argc, char** argv);

  void SetErrorDisplay(std::function<void(const std::string&)> display) { errorDisplay_ = std::move(display); }
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  void ShowError(const std::string& text);

  std::function<void(const std::string&)> errorDisplay_;
};
